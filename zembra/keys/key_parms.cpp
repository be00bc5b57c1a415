#include "zembra/keys/key_parms.h"

#include <string_view>

#include "platform/core/format.h"
#include "zembra/operations/messages.h"

namespace {

bool HoldsLineBreak(std::string_view value) {
  return value.find_first_of(std::string_view("\n\r\0", 3)) != std::string_view::npos;
}

std::string_view TypeOrDefault(const std::string& type) {
  return type.empty() ? std::string_view("default") : std::string_view(type);
}

std::string Block(const KeyParms& p) {
  std::string block =
      FormatText("<GnupgKeyParms format=\"internal\">\nKey-Type: %s\n", TypeOrDefault(p.keyType));
  block += p.keyCurve.empty() ? FormatText("Key-Length: %d\n", p.keyLength)
                              : FormatText("Key-Curve: %s\n", p.keyCurve);
  block += FormatText("Subkey-Type: %s\n", TypeOrDefault(p.subkeyType));
  block += p.subkeyCurve.empty() ? FormatText("Subkey-Length: %d\n", p.subkeyLength)
                                 : FormatText("Subkey-Curve: %s\n", p.subkeyCurve);
  block += FormatText("Name-Real: %s\nName-Email: %s\n", p.name, p.email);
  if (!p.comment.empty()) block += FormatText("Name-Comment: \"%s\"\n", p.comment);
  block += FormatText("Expire-Date: %s\n", p.expiry);
  block += p.passphrase.empty() ? std::string("%no-protection\n")
                                : FormatText("Passphrase: %s\n", p.passphrase);
  block += "</GnupgKeyParms>\n";
  return block;
}

int FieldNameId(KeyField field) {
  switch (field) {
    case KeyField::Name: return IDS_FIELD_NAME;
    case KeyField::Email: return IDS_FIELD_EMAIL;
    case KeyField::Comment: return IDS_FIELD_COMMENT;
    case KeyField::Passphrase: return IDS_FIELD_PASSPHRASE;
    case KeyField::None: break;
  }
  return 0;
}

}  // namespace

KeyAlgorithm KeyAlgorithmOfEntry(int entry) {
  return entry >= 0 && entry < kKeyAlgorithmCount ? static_cast<KeyAlgorithm>(entry)
                                                  : KeyAlgorithm::Dsa;
}

bool FixesKeySize(KeyAlgorithm algorithm) {
  return algorithm != KeyAlgorithm::Rsa && algorithm != KeyAlgorithm::Dsa;
}

void SetKeyAlgorithm(KeyParms& parms, KeyAlgorithm algorithm, int keyLength) {
  parms.keyCurve.clear();
  parms.subkeyCurve.clear();
  switch (algorithm) {
    case KeyAlgorithm::Rsa:
    case KeyAlgorithm::Dsa:
      parms.keyType = algorithm == KeyAlgorithm::Rsa ? "RSA" : "DSA";
      parms.subkeyType = "default";
      parms.keyLength = parms.subkeyLength = keyLength;
      break;
    case KeyAlgorithm::Curve25519:
      parms.keyType = "EdDSA";
      parms.keyCurve = "ed25519";
      parms.subkeyType = "ECDH";
      parms.subkeyCurve = "cv25519";
      parms.keyLength = parms.subkeyLength = 0;
      break;
    case KeyAlgorithm::Rsa3072:
    case KeyAlgorithm::Rsa4096:
      // Named, not "default": a fixed choice does not follow the engine's default subkey.
      parms.keyType = parms.subkeyType = "RSA";
      parms.keyLength = parms.subkeyLength = algorithm == KeyAlgorithm::Rsa3072 ? 3072 : 4096;
      break;
  }
}

KeyParmsBlock BuildKeyParms(const KeyParms& parms) {
  KeyParmsBlock result;
  const std::pair<KeyField, const std::string*> fields[] = {
      {KeyField::Name, &parms.name},
      {KeyField::Email, &parms.email},
      {KeyField::Comment, &parms.comment},
      {KeyField::Passphrase, &parms.passphrase},
  };
  for (const auto& [field, value] : fields) {
    if (HoldsLineBreak(*value)) {
      result.refusal = KeyParmsBlock::Refusal::LineBreak;
      result.field = field;
      return result;
    }
  }
  std::string block = Block(parms);
  if (block.size() + 1 <= kKeyParmsSize) {
    result.text = std::move(block);
    return result;
  }
  // Name the field with which it stops fitting: fill the fields in again one by one, in the
  // order they stand in the block.
  KeyParms partial = parms;
  partial.name.clear();
  partial.email.clear();
  partial.comment.clear();
  partial.passphrase.clear();
  result.refusal = KeyParmsBlock::Refusal::TooLong;
  result.field = KeyField::Passphrase;
  for (const auto& [field, value] : fields) {
    switch (field) {
      case KeyField::Name: partial.name = *value; break;
      case KeyField::Email: partial.email = *value; break;
      case KeyField::Comment: partial.comment = *value; break;
      case KeyField::Passphrase: partial.passphrase = *value; break;
      case KeyField::None: break;
    }
    if (Block(partial).size() + 1 > kKeyParmsSize) {
      result.field = field;
      break;
    }
  }
  return result;
}

std::string KeyParmsRefusalText(const KeyParmsBlock& block) {
  if (block.ok()) return {};
  const int id = block.refusal == KeyParmsBlock::Refusal::LineBreak ? IDS_FIELD_LINE_BREAK
                                                                    : IDS_FIELD_TOO_LONG;
  return FormatText(LoadMessage(id), LoadMessage(FieldNameId(block.field)));
}

std::ostream& operator<<(std::ostream& os, const KeyParmsBlock& block) {
  if (block.ok()) return os << "block of " << block.text.size() << " bytes:\n" << block.text;
  static const char* const names[] = {"none", "Name", "E-mail", "Comment", "Passphrase"};
  return os << (block.refusal == KeyParmsBlock::Refusal::LineBreak ? "line break in "
                                                                   : "too long at ")
            << names[static_cast<int>(block.field)];
}
