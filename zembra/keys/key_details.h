// What the details of one key show, read from the engine into plain values that outlive the
// context: the whole fingerprint, every user ID and every subkey, the owner trust and whether
// the secret part is in the key ring.
#pragma once

#include <gpgme.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

struct UserIdDetails {
  std::string text;  // UTF-8; bytes that are not UTF-8 became U+FFFD
  int validity = 0;  // GPGME validity, 0 to 5
  bool revoked = false;
  bool invalid = false;
};

struct SubkeyDetails {
  std::string keyId;        // 16 hex digits
  std::string algorithm;    // the engine's name ("RSA", "EdDSA", "ECDH"), with the curve if any
  unsigned int length = 0;  // bits
  bool canSign = false;
  bool canCertify = false;
  bool canEncrypt = false;
  bool canAuthenticate = false;
  std::int64_t created = 0;
  std::int64_t expires = 0;  // 0: never
  bool revoked = false;
  bool expired = false;
  bool secret = false;  // its secret part is in the key ring
};

struct KeyDetails {
  bool found = false;       // false: the key ring has no such key (the lookup's failure is logged)
  std::string fingerprint;  // 40 hex digits (64 for a v5 key)
  std::vector<UserIdDetails> userIds;
  std::vector<SubkeyDetails> subkeys;  // the primary key first
  int ownerTrust = 0;                  // GPGME validity value
  bool hasSecret = false;              // the primary key's secret part is in the key ring
};
std::ostream& operator<<(std::ostream& os, const KeyDetails& details);

// Looks the key up by its fingerprint in the context's key ring, public and secret parts. A
// failed lookup is logged ("Error: ...") and gives found false.
KeyDetails ReadKeyDetails(gpgme_ctx_t ctx, const std::string& fingerprint);

// The fingerprint in groups of four digits, separated by one space.
std::string GroupedFingerprint(std::string_view fingerprint);

// The subkey's usage as the user reads it ("Sign, Certify"), from the message table.
std::string UsageText(const SubkeyDetails& subkey);
// The subkey's expiry date, or the text for one that never expires.
std::string ExpiryDateText(const SubkeyDetails& subkey);
// "revoked", "expired" (both when both), or empty for a subkey in force.
std::string SubkeyStateText(const SubkeyDetails& subkey);
