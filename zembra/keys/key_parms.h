// GnuPG's key generation parameter block, built from what the user typed. GnuPG refuses a
// parameter without a value, so an empty passphrase asks for an unprotected key with the
// control statement "%no-protection" in place of the "Passphrase:" line. Every value is one
// line of the block, so a value that holds a line break would add parameters of its own (another
// passphrase, another expiry); such values, and values that do not fit the block, are refused
// with the field that caused it, and no block is made.
#pragma once

#include <ostream>
#include <string>

// The block's size limit, terminating NUL included.
constexpr std::size_t kKeyParmsSize = 2048;

// The values of the block; texts are UTF-8.
struct KeyParms {
  std::string keyType;  // "RSA", "DSA", "EdDSA"; empty: "default"
  int keyLength = 0;
  std::string keyCurve;    // an elliptic curve key: its curve, written instead of the length
  std::string subkeyType;  // empty: "default"
  int subkeyLength = 0;
  std::string subkeyCurve;  // as keyCurve
  std::string name;
  std::string email;
  std::string comment;     // optional: no Name-Comment line when empty
  std::string expiry;      // "0" or "YYYYMMDDThhmmss"
  std::string passphrase;  // empty: the key is not protected ("%no-protection")
};

// The entries of the create dialog's algorithm box, in their order: the first two take the
// length box's size, the others fix their own. Curve25519 is GnuPG 2.2's "future-default": an
// EdDSA key on Ed25519 for signing with an ECDH subkey on Curve25519 for encryption.
enum class KeyAlgorithm { Rsa, Dsa, Curve25519, Rsa3072, Rsa4096 };
inline constexpr int kKeyAlgorithmCount = 5;

// The algorithm of the box's entry; an index of no entry (typed text) gives DSA.
KeyAlgorithm KeyAlgorithmOfEntry(int entry);
// True when the algorithm fixes its key size, so that the length box does not apply.
bool FixesKeySize(KeyAlgorithm algorithm);
// Sets the types and the lengths or curves of the primary key and the subkey; keyLength is the
// length box's size, used by the algorithms that do not fix their own.
void SetKeyAlgorithm(KeyParms& parms, KeyAlgorithm algorithm, int keyLength);

// The user's fields, in the order they are checked and named.
enum class KeyField { None, Name, Email, Comment, Passphrase };

struct KeyParmsBlock {
  enum class Refusal { None, LineBreak, TooLong };
  std::string text;  // the block; empty when refused
  Refusal refusal = Refusal::None;
  KeyField field = KeyField::None;  // the field refused

  bool ok() const { return refusal == Refusal::None; }
};
std::ostream& operator<<(std::ostream& os, const KeyParmsBlock& block);

// The block, line by line, each line ended by a line feed; or the refusal: the first field that
// holds a line feed, carriage return or NUL, else the first field (in block order) with which
// the block no longer fits kKeyParmsSize bytes.
KeyParmsBlock BuildKeyParms(const KeyParms& parms);

// The user's refusal message for a block that was refused (UTF-8, for a message box).
std::string KeyParmsRefusalText(const KeyParmsBlock& block);
