#include "zembra/operations/signature_report.h"

#include <memory>

#include "platform/core/log.h"
#include "platform/core/text.h"
#include "zembra/operations/messages.h"

namespace {

struct KeyDeleter {
  void operator()(gpgme_key_t key) const { gpgme_key_unref(key); }
};

// The first user id of the signer's key, or "" when the key ring does not hold it.
std::string SignerName(gpgme_ctx_t ctx, const std::string& fpr) {
  if (fpr.empty()) return {};
  gpgme_key_t raw = nullptr;
  if (gpgme_get_key(ctx, fpr.c_str(), &raw, 0) != 0 || raw == nullptr) return {};
  std::unique_ptr<std::remove_pointer_t<gpgme_key_t>, KeyDeleter> key(raw);
  if (key->uids == nullptr || key->uids->uid == nullptr) return {};
  return DisplayText(key->uids->uid);
}

bool Certified(const SignatureCheck& check) {
  return (check.summary & GPGME_SIGSUM_VALID) != 0 || check.validity >= GPGME_VALIDITY_FULL;
}

void ReportOne(gpgme_ctx_t ctx, const SignatureCheck& check) {
  const gpgme_err_code_t code = gpgme_err_code(check.status);
  if (code == GPG_ERR_NO_PUBKEY) {
    LogRes(IDS_SIG_UNKNOWN_KEY, check.fpr);
    return;
  }
  std::string name = SignerName(ctx, check.fpr);
  if (name.empty()) name = check.fpr;
  if (code == GPG_ERR_BAD_SIGNATURE || (check.summary & GPGME_SIGSUM_RED) != 0) {
    LogRes(IDS_SIG_BAD, name);
  } else if (code == GPG_ERR_CERT_REVOKED || (check.summary & GPGME_SIGSUM_KEY_REVOKED) != 0) {
    LogRes(IDS_SIG_KEY_REVOKED, name);
  } else if (code == GPG_ERR_KEY_EXPIRED || (check.summary & GPGME_SIGSUM_KEY_EXPIRED) != 0) {
    LogRes(IDS_SIG_KEY_EXPIRED, name);
  } else if (code == GPG_ERR_SIG_EXPIRED || (check.summary & GPGME_SIGSUM_SIG_EXPIRED) != 0) {
    LogRes(IDS_SIG_EXPIRED, name);
  } else if (code != GPG_ERR_NO_ERROR) {
    LogRes(IDS_SIG_UNCHECKED, name, gpgme_strerror(check.status));
  } else if (Certified(check)) {
    LogRes(IDS_SIG_GOOD, name);
  } else {
    LogRes(IDS_SIG_GOOD_NOT_CERTIFIED, name);
  }
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const SignatureCheck& check) {
  return os << "{fpr " << check.fpr << ", status " << gpgme_strerror(check.status) << ", summary 0x"
            << std::hex << check.summary << std::dec << ", validity " << check.validity << "}";
}

std::vector<SignatureCheck> SignaturesOf(gpgme_ctx_t ctx) {
  std::vector<SignatureCheck> checks;
  gpgme_verify_result_t result = gpgme_op_verify_result(ctx);
  if (result == nullptr) return checks;
  for (gpgme_signature_t sig = result->signatures; sig != nullptr; sig = sig->next) {
    checks.push_back({sig->fpr ? sig->fpr : "", sig->status, static_cast<unsigned>(sig->summary),
                      sig->validity});
  }
  return checks;
}

bool IsGood(const SignatureCheck& check) {
  constexpr unsigned kSpoiled = GPGME_SIGSUM_RED | GPGME_SIGSUM_KEY_REVOKED |
                                GPGME_SIGSUM_KEY_EXPIRED | GPGME_SIGSUM_SIG_EXPIRED |
                                GPGME_SIGSUM_KEY_MISSING;
  return gpgme_err_code(check.status) == GPG_ERR_NO_ERROR && (check.summary & kSpoiled) == 0;
}

Outcome ReportSignatures(gpgme_ctx_t ctx, const std::vector<SignatureCheck>& checks) {
  Outcome report;
  if (checks.empty()) return report.End(IDS_NO_SIGNATURE);
  bool allGood = true;
  for (const SignatureCheck& check : checks) {
    ReportOne(ctx, check);
    if (!IsGood(check)) allGood = false;
  }
  if (!allGood) report.End(IDS_NOT_ALL_GOOD);
  return report;
}
