#include <iterator>

#include "platform/core/log.h"
#include "zembra/operations/messages.h"

namespace {

struct Message {
  int id;
  std::string_view text;
};

// The message table: texts exactly as the product shows them, line ends included. 9109 has
// no text.
constexpr Message kMessages[] = {
    {IDS_KEYS_PROMPT, "Please choose key(s) and press `%ls` button to proceed %d files (%ls%ls)\n"},
    {IDS_DELETE_KEY_CONFIRM, "You are going to delete a key.\nAre you sure?"},
    {IDS_DELETE_KEYS_CONFIRM, "You are going to delete %d keys.\nAre you sure?"},
    {IDS_COLUMN_DESCRIPTION, "Description"},
    {IDS_MISSING_EMAIL, "- E-mail\n"},
    {IDS_COLUMN_EXTENSION, "Extension"},
    {IDS_MISSING_FIELDS, "One or more required fields are not filled:\n"},
    {IDS_FILE_EXISTS, "File already exists: \"%s\"\n"},
    {IDS_INVALID_RECIPIENT, "Invalid recipient encountered: %hs\n"},
    {IDS_INVALID_SIGNER, "Invalid signer found: %hs\n"},
    {IDS_IMPORT_COUNTS, "Considered keys: %d\r\nImported keys: %d\n"},
    {IDS_IMPORT_UNCHANGED, "Unchanged keys: %d\n"},
    {IDS_DECRYPTING_FILE, "Decrypting \"%s\"...\n"},
    {IDS_DECRYPTING_CLIPBOARD, "Decrypting clipboard contents..."},
    {IDS_DONE, "Done.\n"},
    {IDS_ENCRYPTING_FILE, "Encrypting \"%s\"...\n"},
    {IDS_ENCRYPTING_CLIPBOARD, "Encrypting clipboard contents..."},
    {IDS_ERROR, "Error: %hs\n"},
    {IDS_EXPORTING_KEYS, "Exporting key(s) to \"%s\"\n"},
    {IDS_IMPORTING_KEYS, "Importing keys from \"%s\"\n"},
    {IDS_SIGNING_FILE, "Signing \"%s\"...\n"},
    {IDS_SIGNING_CLIPBOARD, "Signing clipboard contents..."},
    {IDS_VERIFYING_FILE, "Verifying \"%s\"...\n"},
    {IDS_VERIFYING_CLIPBOARD, "Verifying clipboard contents..."},
    {IDS_MISSING_NAME, "- Name\n"},
    {IDS_NO_CLIPBOARD_TEXT, "No suitable data (TEXT) found in the clipboard.\n"},
    {IDS_MISSING_PASSPHRASE, "- Passphrase\n"},
    {IDS_PRODUCT_NAME, "Zembra"},
    {IDS_MENU_DECRYPT, "Decrypt with Zembra"},
    {IDS_MENU_ENCRYPT, "Encrypt with Zembra"},
    {IDS_MENU_IMPORT_KEY, "Import Key"},
    {IDS_MENU_IMPORT_KEYS, "Import Keys"},
    {IDS_HELP_ENCRYPT_DECRYPT, "Encrypt/decrypt file(s) with Zembra"},
    {IDS_HELP_DECRYPT, "Decrypt file(s) with Zembra"},
    {IDS_HELP_ENCRYPT, "Encrypt file(s) with Zembra"},
    {IDS_HELP_IMPORT, "Import key(s) into Zembra"},
    {IDS_MENU_ZEMBRA, "Zembra..."},
    {IDS_TOO_MANY_FILES, "Error: Too many files selected or too long file name/path.\n"},
    {IDS_UNSUPPORTED_ALGORITHM, "Unsupported algorithm: %hs\n"},
    {IDS_CANNOT_CREATE_OUTPUT, "Error: cannot create \"%s\": %hs\n"},
    {IDS_CANNOT_OPEN_INPUT, "Error: cannot open \"%s\": %hs\n"},
    {IDS_INPUT_NOT_REGULAR, "Error: cannot open \"%s\": not a regular file\n"},
    {IDS_INPUT_CHANGED, "Error: \"%s\" changed while it was read; nothing was written\n"},
    {IDS_ENGINE_STOPPED, "Error: the engine stopped before \"%s\" was done; nothing was written\n"},
    {IDS_IMPORT_STOPPED,
     "Error: the engine stopped while importing \"%s\"; some of its keys may have been imported\n"},
    {IDS_KEY_FILE_CHANGED, "Error: \"%s\" changed while it was read; the import stopped there\n"},
    {IDS_KEY_RING_COMPLETED,
     "The key ring in \"%s\" was left half-updated by a gpg that stopped; its last change is now "
     "in place\n"},
    {IDS_KEY_RING_NOT_COMPLETED,
     "Error: the key ring in \"%s\" was left half-updated by a gpg that stopped and cannot be "
     "completed: %hs; its earlier state is in \"%s\"\n"},
    {IDS_KEY_RING_UNUSABLE,
     "Error: the key ring in \"%s\" cannot be opened: %hs; no key was imported\n"},
    {IDS_SIG_GOOD, "Good signature from \"%s\"\n"},
    {IDS_SIG_GOOD_NOT_CERTIFIED, "Good signature from \"%s\", but the key is not certified\n"},
    {IDS_SIG_BAD, "BAD signature from \"%s\"\n"},
    {IDS_SIG_UNKNOWN_KEY, "Signature by unknown key %hs\n"},
    {IDS_SIG_KEY_EXPIRED, "Signature from \"%s\", but the key has expired\n"},
    {IDS_SIG_EXPIRED, "Expired signature from \"%s\"\n"},
    {IDS_SIG_KEY_REVOKED, "Signature from \"%s\", but the key is revoked\n"},
    {IDS_SIG_UNCHECKED, "Signature from \"%s\" could not be checked: %hs\n"},
    {IDS_NO_SIGNATURE, "Error: No signature found\n"},
    {IDS_NOT_ALL_GOOD, "Error: Not every signature is good\n"},
    {IDS_ASSOC_MIMEAPPS_FAILED,
     "Zembra: cannot change \"%s\" (%hs); the file associations stay as they were.\n"},
    {IDS_ASSOC_DESKTOP_FAILED, "Zembra: cannot write \"%s\" (%hs).\n"},
    {IDS_FIELD_LINE_BREAK, "The field \"%s\" must not contain a line break or a NUL character."},
    {IDS_FIELD_TOO_LONG,
     "The field \"%s\" makes the key parameters longer than 2048 bytes. Please shorten it."},
    {IDS_FIELD_NAME, "Name"},
    {IDS_FIELD_EMAIL, "E-mail"},
    {IDS_FIELD_COMMENT, "Comment"},
    {IDS_FIELD_PASSPHRASE, "Passphrase"},
    {IDS_CLIPBOARD_OWNER_SILENT,
     "The program that holds the clipboard did not answer; nothing was read from it.\n"},
    {IDS_NOT_A_LOCAL_FILE, "Skipped \"%s\": it is a file of another computer.\n"},
    {IDS_CLIPBOARD_TEXT_ALTERED,
     "Error: the clipboard's text is not UTF-8 and cannot be read unchanged; nothing was done.\n"},
    {IDS_CLIPBOARD_REFUSED,
     "Error: the system did not let Zembra put the result on the clipboard; it does not hold "
     "the result.\n"},
    {IDS_UNKNOWN_CLIPBOARD_ACTION,
     "Zembra: unknown clipboard action \"%s\"; it is one of encrypt, decrypt, sign, verify.\n"},
    {IDS_SETTING_NOT_SAVED,
     "Error: The setting \"%s\" could not be saved (registry error %d: %hs).\n"},
    {IDS_CANCELLED, "Cancelled.\n"},
    {IDS_CANCEL_BUTTON, "Cancel"},
    {IDS_IMPORT_CANCELLED, "Cancelled. The key ring had already taken %d keys from the file.\n"},
    {IDS_CHANGING_PASSPHRASE, "Changing the passphrase of %hs...\n"},
    {IDS_CHANGING_EXPIRY, "Changing the expiry of %hs to %hs...\n"},
    {IDS_EXPIRY_NOT_FUTURE,
     "Error: the expiry %hs is not in the future; the key's expiry stays as it was\n"},
    {IDS_SETTING_OWNER_TRUST, "Setting the owner trust of %hs to %hs...\n"},
    {IDS_EXPORTING_REVOCATION, "Exporting the revocation certificate of %hs to \"%s\"\n"},
    {IDS_NO_REVOCATION_CERTIFICATE,
     "Error: GnuPG keeps no revocation certificate for %hs; it keeps one only for the keys it "
     "made itself\n"},
    {IDS_ENCRYPT_WITH_PASSPHRASE_QUESTION,
     "No key is chosen.\nEncrypt the files with a passphrase instead?"},
    {IDS_EXPIRY_NEVER, "never"},
    {IDS_CHOOSE_LATER_DATE, "Please choose a day after today, or \"Never expires\"."},
    {IDS_UNEXPECTED_PROMPT, "Error: GnuPG asked \"%hs\", which Zembra does not answer\n"},
    {IDS_PASSPHRASES_DIFFER,
     "The fields \"Passphrase\" and \"Confirm\" differ. Please type the same passphrase in "
     "both."},
    {IDS_ASK_UNPROTECTED_KEY,
     "The field \"Passphrase\" is empty: the new key will not be protected by a passphrase, and "
     "anyone who can read its key ring can use it.\nCreate the key without a passphrase?"},
    {IDS_USAGE_SIGN, "Sign"},
    {IDS_USAGE_CERTIFY, "Certify"},
    {IDS_USAGE_ENCRYPT, "Encrypt"},
    {IDS_USAGE_AUTHENTICATE, "Authenticate"},
    {IDS_NEVER_EXPIRES, "never"},
    {IDS_SUBKEY_REVOKED, "revoked"},
    {IDS_SUBKEY_EXPIRED, "expired"},
    {IDS_SECRET_PRESENT, "The secret key is in the key ring."},
    {IDS_SECRET_ABSENT, "Public key only: the secret key is not in the key ring."},
};

}  // namespace

std::string_view LoadMessage(int id) {
  for (const Message& message : kMessages) {
    if (message.id == id) return message.text;
  }
  return {};
}

namespace {

// The log takes its texts from this table from the moment the library is loaded.
const bool g_tableInstalled = (SetMessageTable(&LoadMessage), true);

}  // namespace
