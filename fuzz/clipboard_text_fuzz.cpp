// The plaintext of a decryption read back as clipboard text, on any bytes: what goes to the
// clipboard is valid UTF-8; UTF-8 text comes back as it is; the old UTF-16LE form of a text
// comes back as that text; anything else is read as Latin-1, one character per byte.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "platform/core/text.h"
#include "zembra/operations/clipboard_text.h"

namespace {

// The old form: UTF-16LE units with a two-byte terminator.
std::string OldUnicodeForm(std::string_view utf8) {
  std::string out;
  auto unit = [&out](char32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>((u >> 8) & 0xFF);
  };
  for (wchar_t c : Utf8ToWide(utf8)) {
    const auto cp = static_cast<char32_t>(c);
    if (cp >= 0x10000) {
      unit(0xD800 + ((cp - 0x10000) >> 10));
      unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      unit(cp);
    }
  }
  unit(0);
  return out;
}

std::size_t CodePoints(std::string_view utf8) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    FUZZ_CHECK(DecodeUtf8(utf8, i) >= 0);
    ++count;
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = ClipboardTextOfPlaintext(bytes);
  FUZZ_CHECK(IsValidUtf8(text));
  const bool utf8Text = IsValidUtf8(bytes) && bytes.find('\0') == std::string_view::npos;
  if (utf8Text) {
    FUZZ_CHECK(text == bytes);
    FUZZ_CHECK(!IsOldUnicodeForm(bytes));
    FUZZ_CHECK(ClipboardTextOfPlaintext(OldUnicodeForm(bytes)) == bytes);
  } else if (!IsOldUnicodeForm(bytes)) {
    FUZZ_CHECK(CodePoints(text) == bytes.size());
  }
  return 0;
}
