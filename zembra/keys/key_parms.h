// GnuPG's key generation parameter block, built from what the user typed. Every value is one
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
  std::string keyType;  // "RSA", "DSA"; empty: "default"
  int keyLength = 0;
  std::string subkeyType;  // empty: "default"
  int subkeyLength = 0;
  std::string name;
  std::string email;
  std::string comment;  // optional: no Name-Comment line when empty
  std::string expiry;   // "0" or "YYYYMMDDThhmmss"
  std::string passphrase;
};

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
