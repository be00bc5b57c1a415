#include "zembra/keys/key_upkeep.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>

#include "platform/core/files.h"
#include "platform/core/text.h"
#include "zembra/engine/engine.h"
#include "zembra/engine/key_ring_repair.h"
#include "zembra/engine/operation_loop.h"
#include "zembra/operations/messages.h"

namespace {

// A revocation certificate is a few hundred bytes; anything much larger is not one.
constexpr std::size_t kRevocationLimit = std::size_t{64} * 1024;
// Seconds an expiry is aimed early, for the time gpg takes to start.
constexpr std::int64_t kExpirySlack = 300;

const char* FingerprintOf(gpgme_key_t key) {
  if (key->fpr) return key->fpr;
  return key->subkeys && key->subkeys->fpr ? key->subkeys->fpr : "";
}

// Answers gpg's key-edit prompts for one owner-trust change and nothing else: any other
// question stops the edit, so nothing but the trust can change.
struct TrustDialogue {
  const char* value = "1";  // "1" to "5", as gpg's trust menu numbers them
  bool asked = false;
  std::string unexpected;

  static gpgme_error_t Answer(void* opaque, const char* keyword, const char* args, int fd) {
    auto* self = static_cast<TrustDialogue*>(opaque);
    if (fd < 0 || keyword == nullptr) return 0;  // a status line, not a question
    const std::string_view prompt = args ? args : "";
    std::string_view reply;
    if (prompt == "keyedit.prompt") {
      reply = self->asked ? "quit" : "trust";
      self->asked = true;
    } else if (prompt == "edit_ownertrust.value") {
      reply = self->value;
    } else if (prompt == "edit_ownertrust.set_ultimate.okay" || prompt == "keyedit.save.okay") {
      reply = "y";
    } else {
      self->unexpected = prompt;
      return gpg_error(GPG_ERR_UNEXPECTED);
    }
    const std::string line = std::string(reply) + "\n";
    if (gpgme_io_writen(fd, line.data(), line.size()) != 0) return gpg_error_from_syserror();
    return 0;
  }
};

}  // namespace

Outcome ChangePassphrase(gpgme_ctx_t ctx, gpgme_key_t key) {
  Outcome outcome;
  LogRes(IDS_CHANGING_PASSPHRASE, FingerprintOf(key));
  if (outcome.Check(RunOperation(ctx, [&] { return gpgme_op_passwd_start(ctx, key, 0); })))
    outcome.Done();
  return outcome;
}

std::int64_t EndOfDay(int year, int month, int day) {
  const std::chrono::sys_days date{std::chrono::year{year} /
                                   std::chrono::month{static_cast<unsigned>(month)} /
                                   std::chrono::day{static_cast<unsigned>(day)}};
  return std::chrono::duration_cast<std::chrono::seconds>(date.time_since_epoch()).count() + 86399;
}

Outcome ChangeExpiry(gpgme_ctx_t ctx, gpgme_key_t key, std::int64_t expires, std::int64_t now) {
  Outcome outcome;
  const std::string when =
      expires == 0 ? std::string(LoadMessage(IDS_EXPIRY_NEVER)) : FormatDate(expires);
  if (expires != 0 && expires <= now) return outcome.End(IDS_EXPIRY_NOT_FUTURE, when);
  LogRes(IDS_CHANGING_EXPIRY, FingerprintOf(key), when);
  // gpg counts the seconds from its own start, a moment after now; aimed a few minutes early,
  // the expiry still falls on the day chosen (EndOfDay aims at its last second).
  std::int64_t ahead = expires == 0 ? 0 : expires - now;
  if (ahead > 2 * kExpirySlack) ahead -= kExpirySlack;
  const auto seconds = static_cast<unsigned long>(ahead);
  // The primary key first, then every subkey that is still usable, so that the key does not
  // lose its encryption subkey at the old date.
  if (!outcome.Check(RunOperation(
          ctx, [&] { return gpgme_op_setexpire_start(ctx, key, seconds, nullptr, 0); })))
    return outcome;
  bool usableSubkey = false;
  for (gpgme_subkey_t sub = key->subkeys ? key->subkeys->next : nullptr; sub; sub = sub->next)
    usableSubkey = usableSubkey || (!sub->revoked && !sub->expired);
  if (usableSubkey && !outcome.Check(RunOperation(ctx, [&] {
        return gpgme_op_setexpire_start(ctx, key, seconds, "*", 0);
      })))
    return outcome;
  outcome.Done();
  return outcome;
}

const char* OwnerTrustName(OwnerTrust trust) {
  switch (trust) {
    case OwnerTrust::Unknown: return "unknown";
    case OwnerTrust::None: return "none";
    case OwnerTrust::Marginal: return "marginal";
    case OwnerTrust::Full: return "full";
    case OwnerTrust::Ultimate: return "ultimate";
  }
  return "unknown";
}

Outcome SetOwnerTrust(gpgme_ctx_t ctx, gpgme_key_t key, OwnerTrust trust) {
  static const char* const kValues[] = {"1", "2", "3", "4", "5"};
  Outcome outcome;
  LogRes(IDS_SETTING_OWNER_TRUST, FingerprintOf(key), OwnerTrustName(trust));
  TrustDialogue dialogue;
  dialogue.value = kValues[static_cast<int>(trust)];
  gpgme_data_t raw = nullptr;
  if (!outcome.Check(gpgme_data_new(&raw))) return outcome;
  GpgmeDataObject out(raw);
  const gpgme_error_t err = RunOperation(ctx, [&] {
    return gpgme_op_interact_start(ctx, key, 0, &TrustDialogue::Answer, &dialogue, out.get());
  });
  if (!dialogue.unexpected.empty()) return outcome.End(IDS_UNEXPECTED_PROMPT, dialogue.unexpected);
  if (outcome.Check(err)) outcome.Done();
  return outcome;
}

Outcome FindRevocationCertificate(gpgme_ctx_t ctx, gpgme_key_t key) {
  Outcome outcome;
  const std::string fingerprint = FingerprintOf(key);
  const std::string kept = KeyHomeOf(ctx) + "/openpgp-revocs.d/" + fingerprint + ".rev";
  if (!IsRegularFileNoFollow(kept) || !IsReadable(kept))
    return outcome.End(IDS_NO_REVOCATION_CERTIFICATE, fingerprint);
  outcome.output = kept;
  return outcome;
}

Outcome ExportRevocationCertificate(gpgme_ctx_t ctx, gpgme_key_t key, const std::string& path) {
  Outcome outcome = FindRevocationCertificate(ctx, key);
  if (!outcome.ok()) return outcome;
  const std::string fingerprint = FingerprintOf(key);
  const std::optional<std::string> certificate = ReadStartOf(outcome.output, kRevocationLimit);
  outcome.output.clear();
  if (!certificate || certificate->empty())
    return outcome.End(IDS_NO_REVOCATION_CERTIFICATE, fingerprint);
  LogRes(IDS_EXPORTING_REVOCATION, fingerprint, DisplayText(path));
  // Whoever holds the certificate can revoke the key: it is the owner's alone from the start.
  CommittedOutput output(path, OutputPermissions::OwnerOnly);
  if (!output.Open())
    return outcome.End(IDS_CANNOT_CREATE_OUTPUT, DisplayText(path), std::strerror(errno));
  if (WriteFd(output.fd(), certificate->data(), certificate->size()) < 0 || !output.Commit())
    return outcome.End(IDS_CANNOT_CREATE_OUTPUT, DisplayText(path), std::strerror(errno));
  outcome.output = path;
  outcome.Done();
  return outcome;
}

CKeyHandle ReloadKey(gpgme_ctx_t ctx, gpgme_key_t key) {
  gpgme_key_t fresh = nullptr;
  Outcome outcome;
  if (!outcome.Check(gpgme_get_key(ctx, FingerprintOf(key), &fresh, 0))) return {};
  return CKeyHandle::Adopt(fresh);
}
