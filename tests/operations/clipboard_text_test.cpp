// Clipboard text as it comes back from the engine: UTF-8 from any OpenPGP program, the old
// UTF-16LE form, and bytes that are neither.
#include <gtest/gtest.h>

#include "zembra/operations/clipboard_text.h"

using namespace std::string_literals;

TEST(ClipboardText, Utf8ComesBackUnchanged) {
  EXPECT_EQ(ClipboardTextOfPlaintext("Grüße, 世界 😀\n"), "Grüße, 世界 😀\n");
  EXPECT_EQ(ClipboardTextOfPlaintext(""), "");
}

TEST(ClipboardText, OldUtf16FormIsReadAsUtf16) {
  // "hi ä😀" as UTF-16LE with its terminator, as earlier versions encrypted clipboard text.
  const std::string old = "h\0i\0 \0\xe4\0\x3d\xd8\x00\xde\0\0"s;
  EXPECT_TRUE(IsOldUnicodeForm(old));
  EXPECT_EQ(ClipboardTextOfPlaintext(old), "hi ä😀");
  // Only ASCII: still valid UTF-8 byte by byte, but its zero bytes say it is not text.
  EXPECT_EQ(ClipboardTextOfPlaintext("o\0k\0\0\0"s), "ok");
}

TEST(ClipboardText, UnpairedSurrogateIsReplacedNotDropped) {
  EXPECT_EQ(ClipboardTextOfPlaintext("a\0\x00\xd8"s
                                     "b\0\0\0"s),
            "a\xEF\xBF\xBD"
            "b");
}

TEST(ClipboardText, OtherBytesAreShownAsLatin1) {
  // 8-bit text that is not UTF-8; odd length, so not the old form either.
  EXPECT_FALSE(IsOldUnicodeForm("caf\xe9"));
  EXPECT_EQ(ClipboardTextOfPlaintext("caf\xe9"), "café");
  // Binary bytes of odd length keep every byte, the zero too.
  EXPECT_EQ(ClipboardTextOfPlaintext("\xff\xfe\0"s), "ÿþ\0"s);
  // Without the two-byte terminator even UTF-16-looking bytes are not the old form.
  EXPECT_FALSE(IsOldUnicodeForm("a\0b\0"s));
  EXPECT_EQ(ClipboardTextOfPlaintext("a\0b\0"s), "a\0b\0"s);
}
