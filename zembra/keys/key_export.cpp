#include "zembra/keys/key_export.h"

#include <cerrno>
#include <cstring>

#include "platform/core/files.h"
#include "platform/core/log.h"
#include "platform/core/text.h"
#include "zembra/engine/engine.h"
#include "zembra/engine/file_stream.h"
#include "zembra/engine/operation_loop.h"
#include "zembra/operations/messages.h"

std::ostream& operator<<(std::ostream& os, const ExportOutcome& outcome) {
  os << static_cast<const Outcome&>(outcome);
  return outcome.opened ? os : os << " not opened";
}

ExportOutcome ExportKeys(gpgme_ctx_t ctx, const std::string& path, gpgme_key_t* keys, bool secret,
                         bool binary) {
  ExportOutcome outcome;
  // Secret key material is the owner's alone from the file's creation on, whatever it replaces.
  CommittedOutput output(path,
                         secret ? OutputPermissions::OwnerOnly : OutputPermissions::Inherited);
  if (!output.Open()) {
    outcome.End(IDS_CANNOT_CREATE_OUTPUT, DisplayText(path), std::strerror(errno));
    return outcome;
  }
  outcome.opened = true;
  OutputStream stream{output.fd()};
  GpgmeDataObject data;
  if (!outcome.Check(MakeOutputData(data, stream))) return outcome;

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
    outcome.End(IDS_ENGINE_STOPPED, DisplayText(path));
    return outcome;
  }
  if (!outcome.Check(err)) return outcome;
  data.reset();
  if (!output.Commit()) {
    outcome.End(IDS_ERROR, std::strerror(errno));
    return outcome;
  }
  outcome.output = path;
  outcome.Done();
  return outcome;
}
