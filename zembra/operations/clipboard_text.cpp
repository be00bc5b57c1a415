#include "zembra/operations/clipboard_text.h"

#include "platform/core/text.h"

namespace {

// Text has no NUL bytes: a zero byte inside means UTF-16 (or binary data), not UTF-8 text.
bool IsUtf8Text(std::string_view bytes) {
  return bytes.find('\0') == std::string_view::npos && IsValidUtf8(bytes);
}

char16_t UnitAt(std::string_view bytes, std::size_t i) {
  return static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                               (static_cast<unsigned char>(bytes[i + 1]) << 8));
}

// Up to the first zero character; a surrogate without its partner becomes U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  const std::size_t units = bytes.size() / 2;
  for (std::size_t i = 0; i < units; ++i) {
    const char16_t unit = UnitAt(bytes, 2 * i);
    if (unit == 0) break;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
      const char16_t low = UnitAt(bytes, 2 * (i + 1));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(low) - 0xDC00));
        ++i;
        continue;
      }
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) AppendUtf8(out, static_cast<unsigned char>(c));
  return out;
}

}  // namespace

bool IsOldUnicodeForm(std::string_view bytes) {
  return bytes.size() >= 2 && bytes.size() % 2 == 0 && bytes[bytes.size() - 1] == '\0' &&
         bytes[bytes.size() - 2] == '\0' && !IsUtf8Text(bytes);
}

std::string ClipboardTextOfPlaintext(std::string_view plaintext) {
  if (IsUtf8Text(plaintext)) return std::string(plaintext);
  if (IsOldUnicodeForm(plaintext)) return Utf16LeToUtf8(plaintext);
  return Latin1ToUtf8(plaintext);
}
