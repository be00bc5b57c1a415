#include "zembra/keys/key_details.h"

#include <memory>
#include <type_traits>

#include "platform/core/text.h"
#include "zembra/engine/check_result.h"
#include "zembra/keys/key_list.h"
#include "zembra/operations/messages.h"

namespace {

struct KeyRelease {
  void operator()(gpgme_key_t key) const { gpgme_key_unref(key); }
};
using KeyRef = std::unique_ptr<std::remove_pointer_t<gpgme_key_t>, KeyRelease>;

std::string AlgorithmName(gpgme_subkey_t subkey) {
  const char* name = gpgme_pubkey_algo_name(subkey->pubkey_algo);
  std::string text = name != nullptr ? name : "?";
  if (subkey->curve != nullptr && subkey->curve[0] != '\0')
    text += std::string(" (") + subkey->curve + ")";
  return text;
}

void AppendJoined(std::string& text, std::string_view part) {
  if (!text.empty()) text += ", ";
  text += part;
}

}  // namespace

KeyDetails ReadKeyDetails(gpgme_ctx_t ctx, const std::string& fingerprint) {
  KeyDetails details;
  gpgme_key_t raw = nullptr;
  if (!CheckResult(gpgme_get_key(ctx, fingerprint.c_str(), &raw, 0))) return details;
  const KeyRef key(raw);
  // The public listing does not say which secret parts are at hand; a key without any is no
  // error here, only a public key.
  gpgme_key_t rawSecret = nullptr;
  const KeyRef secret(gpgme_get_key(ctx, fingerprint.c_str(), &rawSecret, 1) == 0 ? rawSecret
                                                                                  : nullptr);
  details.found = true;
  details.fingerprint = key->fpr != nullptr ? key->fpr : "";
  details.ownerTrust = key->owner_trust;
  details.hasSecret = secret != nullptr && secret->secret;
  for (gpgme_user_id_t uid = key->uids; uid != nullptr; uid = uid->next) {
    details.userIds.push_back({.text = ReplaceInvalidUtf8(uid->uid != nullptr ? uid->uid : ""),
                               .validity = uid->validity,
                               .revoked = uid->revoked != 0,
                               .invalid = uid->invalid != 0});
  }
  gpgme_subkey_t secretSubkey = secret != nullptr ? secret->subkeys : nullptr;
  for (gpgme_subkey_t subkey = key->subkeys; subkey != nullptr; subkey = subkey->next) {
    // Both listings give the subkeys in the same order; the fingerprint confirms the pairing.
    bool hasSecretPart = false;
    for (gpgme_subkey_t s = secretSubkey; s != nullptr; s = s->next) {
      if (s->fpr != nullptr && subkey->fpr != nullptr && std::string_view(s->fpr) == subkey->fpr) {
        hasSecretPart = s->secret != 0;
        break;
      }
    }
    details.subkeys.push_back({.keyId = subkey->keyid != nullptr ? subkey->keyid : "",
                               .algorithm = AlgorithmName(subkey),
                               .length = subkey->length,
                               .canSign = subkey->can_sign != 0,
                               .canCertify = subkey->can_certify != 0,
                               .canEncrypt = subkey->can_encrypt != 0,
                               .canAuthenticate = subkey->can_authenticate != 0,
                               .created = subkey->timestamp,
                               .expires = subkey->expires,
                               .revoked = subkey->revoked != 0,
                               .expired = subkey->expired != 0,
                               .secret = hasSecretPart});
  }
  return details;
}

std::string GroupedFingerprint(std::string_view fingerprint) {
  std::string grouped;
  for (std::size_t i = 0; i < fingerprint.size(); i += 4) {
    if (!grouped.empty()) grouped += ' ';
    grouped += fingerprint.substr(i, 4);
  }
  return grouped;
}

std::string UsageText(const SubkeyDetails& subkey) {
  std::string text;
  if (subkey.canSign) AppendJoined(text, LoadMessage(IDS_USAGE_SIGN));
  if (subkey.canCertify) AppendJoined(text, LoadMessage(IDS_USAGE_CERTIFY));
  if (subkey.canEncrypt) AppendJoined(text, LoadMessage(IDS_USAGE_ENCRYPT));
  if (subkey.canAuthenticate) AppendJoined(text, LoadMessage(IDS_USAGE_AUTHENTICATE));
  return text;
}

std::string ExpiryDateText(const SubkeyDetails& subkey) {
  return subkey.expires == 0 ? std::string(LoadMessage(IDS_NEVER_EXPIRES))
                             : FormatDate(subkey.expires);
}

std::string SubkeyStateText(const SubkeyDetails& subkey) {
  std::string text;
  if (subkey.revoked) AppendJoined(text, LoadMessage(IDS_SUBKEY_REVOKED));
  if (subkey.expired) AppendJoined(text, LoadMessage(IDS_SUBKEY_EXPIRED));
  return text;
}

std::ostream& operator<<(std::ostream& os, const KeyDetails& details) {
  if (!details.found) return os << "no key";
  os << "key " << details.fingerprint << " trust " << details.ownerTrust
     << (details.hasSecret ? " secret" : " public only");
  for (const UserIdDetails& uid : details.userIds)
    os << "\n  uid [" << uid.validity << (uid.revoked ? " revoked" : "") << "] " << uid.text;
  for (const SubkeyDetails& sub : details.subkeys) {
    os << "\n  sub " << sub.keyId << ' ' << sub.algorithm << ' ' << sub.length << ' '
       << UsageText(sub) << ' ' << FormatDate(sub.created) << ' ' << ExpiryDateText(sub) << ' '
       << SubkeyStateText(sub) << (sub.secret ? " secret" : "");
  }
  return os;
}
