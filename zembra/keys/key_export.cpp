#include "zembra/keys/key_export.h"

#include <cerrno>
#include <cstring>

#include "platform/core/files.h"
#include "platform/core/log.h"
#include "platform/core/text.h"
#include "zembra/engine/check_result.h"
#include "zembra/engine/engine.h"
#include "zembra/engine/file_stream.h"
#include "zembra/engine/operation_loop.h"
#include "zembra/operations/messages.h"

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kRadio = kChild | BS_AUTORADIOBUTTON | WS_TABSTOP;

DialogTemplate MakeExportOptionsTemplate() {
  DialogTemplate t;
  t.id = IDD_EXPORT_OPTIONS;
  t.cx = 231;
  t.cy = 41;
  t.font = "Microsoft Sans Serif";
  t.pointSize = 9;
  t.style = DS_SETFONT | DS_3DLOOK | DS_CONTROL | WS_CHILD | WS_VISIBLE;
  t.controls = {
      {IDC_STATIC, ControlKind::GroupBox, "Export", 7, 2, 105, 36, kChild | WS_GROUP},
      {IDC_EXPORT_PUBLIC, ControlKind::RadioButton, "Public keys", 14, 12, 90, 10,
       kRadio | WS_GROUP},
      {IDC_EXPORT_SECRET, ControlKind::RadioButton, "Secret keys", 14, 24, 90, 10, kRadio},
      {IDC_STATIC, ControlKind::GroupBox, "Format", 119, 2, 105, 36, kChild | WS_GROUP},
      {IDC_FORMAT_ASCII, ControlKind::RadioButton, "ASCII", 126, 12, 90, 10, kRadio | WS_GROUP},
      {IDC_FORMAT_BINARY, ControlKind::RadioButton, "Binary", 126, 24, 90, 10, kRadio},
  };
  return t;
}

}  // namespace

const DialogTemplate& ExportOptionsTemplate() {
  static const DialogTemplate dialogTemplate = MakeExportOptionsTemplate();
  return dialogTemplate;
}

std::ostream& operator<<(std::ostream& os, const ExportOutcome& outcome) {
  switch (outcome.result) {
    case ExportOutcome::Result::NotOpened: return os << "not opened: " << outcome.path;
    case ExportOutcome::Result::Failed: return os << "failed: " << outcome.path;
    case ExportOutcome::Result::Written: return os << "written: " << outcome.path;
  }
  return os;
}

ExportOutcome ExportKeys(gpgme_ctx_t ctx, const std::string& path, gpgme_key_t* keys, bool secret,
                         bool binary) {
  ExportOutcome outcome;
  outcome.path = path;
  // Secret key material is the owner's alone from the file's creation on, whatever it replaces.
  CommittedOutput output(path,
                         secret ? OutputPermissions::OwnerOnly : OutputPermissions::Inherited);
  if (!output.Open()) {
    LogRes(IDS_CANNOT_CREATE_OUTPUT, DisplayText(path), std::strerror(errno));
    return outcome;
  }
  outcome.result = ExportOutcome::Result::Failed;
  OutputStream stream{output.fd()};
  GpgmeDataObject data;
  if (!CheckResult(MakeOutputData(data, stream))) return outcome;

  gpgme_set_armor(ctx, binary ? 0 : 1);
  LogRes(IDS_EXPORTING_KEYS, DisplayText(path));
  // gpg ends an export with its counts; a gpg that died before them wrote a cut export.
  const EndStatusWatch refusal(ctx, "EXPORT_RES");
  gpgme_error_t err = RunOperation(
      ctx,
      [&] {
        return gpgme_op_export_keys_start(ctx, keys, secret ? GPGME_EXPORT_MODE_SECRET : 0,
                                          data.get());
      },
      "EXPORT_RES");
  if (err == 0) err = refusal.engineError();
  if (gpgme_err_code(err) == GPG_ERR_UNFINISHED) {
    LogRes(IDS_ENGINE_STOPPED, DisplayText(path));
    return outcome;
  }
  if (!CheckResult(err)) return outcome;
  data.reset();
  if (!output.Commit()) {
    LogRes(IDS_ERROR, std::strerror(errno));
    return outcome;
  }
  outcome.result = ExportOutcome::Result::Written;
  LogRes(IDS_DONE);
  return outcome;
}
