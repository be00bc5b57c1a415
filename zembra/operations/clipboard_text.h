// The bytes of clipboard text as they go to the engine and come back from it. Text goes to the
// engine as UTF-8 without a terminator, so that every OpenPGP program reads it as the text.
#pragma once

#include <string>
#include <string_view>

// The plaintext of a decryption or verification as UTF-8 text for the clipboard: UTF-8 as it is;
// the old form (UTF-16LE with its two-byte terminator, as earlier versions encrypted text) read
// as UTF-16LE; anything else as Latin-1, so that no byte is lost.
std::string ClipboardTextOfPlaintext(std::string_view plaintext);

// True when the bytes carry the marks of the old UTF-16LE form: even length, a two-byte zero at
// the end, and not UTF-8 text.
bool IsOldUnicodeForm(std::string_view bytes);
