#include "zembra/keys/key_import.h"

#include "platform/core/files.h"
#include "platform/core/log.h"
#include "platform/core/text.h"
#include "zembra/engine/engine.h"
#include "zembra/engine/file_stream.h"
#include "zembra/engine/key_ring_repair.h"
#include "zembra/engine/operation_loop.h"
#include "zembra/operations/messages.h"
#include "zembra/operations/output_file.h"

std::ostream& operator<<(std::ostream& os, const ImportOutcome& outcome) {
  os << static_cast<const Outcome&>(outcome);
  if (!outcome.opened) return os << " not opened";
  if (!outcome.ok()) return os << " refused by the engine";
  return os << " considered " << outcome.considered << ", imported " << outcome.imported
            << ", unchanged " << outcome.unchanged;
}

ImportOutcome ImportKeyFile(gpgme_ctx_t ctx, const std::string& path,
                            const ProgressSink& progress) {
  ImportOutcome outcome;
  UniqueFd input = OpenInput(path, outcome);
  if (!input.valid()) return outcome;
  outcome.opened = true;
  FileStream stream = MakeFileStream(input.get(), progress);
  GpgmeDataObject data;
  if (!outcome.Check(MakeInputData(data, stream))) return outcome;

  LogRes(IDS_IMPORTING_KEYS, DisplayText(path));
  // The counts come last; without them the engine stopped somewhere in the file.
  gpgme_error_t keyRingError = 0;
  // A cancel ends the key file there: gpg keeps what it took and counts it.
  const gpgme_error_t err = RunOperation(
      ctx, [&] { return gpgme_op_import_start(ctx, data.get()); }, "IMPORT_RES", &keyRingError,
      [&] { stream.ended = true; });
  if (IsOperationCancelled(err)) {
    gpgme_import_result_t result = gpgme_op_import_result(ctx);
    outcome.imported = result ? result->imported : 0;
    outcome.End(IDS_IMPORT_CANCELLED, outcome.imported);
    return outcome;
  }
  // A key file that changed while it was read gave the engine a mixture of its old and new
  // content; what the engine took before the end is not known.
  if (stream.changed) {
    outcome.End(IDS_KEY_FILE_CHANGED, DisplayText(path));
    return outcome;
  }
  if (gpgme_err_code(err) == GPG_ERR_UNFINISHED) {
    outcome.End(IDS_IMPORT_STOPPED, DisplayText(path));
    return outcome;
  }
  if (!outcome.Check(err)) return outcome;
  gpgme_import_result_t result = gpgme_op_import_result(ctx);
  // gpg reports the import of nothing it then did as a result like any other.
  if (keyRingError != 0 && (!result || result->considered == 0)) {
    outcome.End(IDS_KEY_RING_UNUSABLE, DisplayText(KeyHomeOf(ctx)), gpgme_strerror(keyRingError));
    return outcome;
  }
  if (result) {
    outcome.considered = result->considered;
    outcome.imported = result->imported;
    outcome.unchanged = result->unchanged;
  }
  LogRes(IDS_IMPORT_COUNTS, outcome.considered, outcome.imported);
  if (outcome.unchanged != 0) LogRes(IDS_IMPORT_UNCHANGED, outcome.unchanged);
  return outcome;
}
