#include <gtest/gtest.h>

#include <climits>

#include "platform/core/text.h"

TEST(DisplayText, ValidTextIsUnchanged) {
  const std::string text = "na\xC3\xAFve \xF0\x9F\x98\x80 path/with\nnewline\tand tab";
  EXPECT_EQ(DisplayText(text), text);
  EXPECT_EQ(DisplayText(""), "");
}

TEST(DisplayText, InvalidBytesShowAsEscapes) {
  EXPECT_EQ(DisplayText("a\xFF"
                        "b"),
            "a\\xFFb");
  EXPECT_EQ(DisplayText("end\xC3"), "end\\xC3");                       // cut short
  EXPECT_EQ(DisplayText("\xC0\xAF"), "\\xC0\\xAF");                    // overlong
  EXPECT_EQ(DisplayText("\xED\xA0\x80"), "\\xED\\xA0\\x80");           // surrogate
  EXPECT_EQ(DisplayText("\xF4\x90\x80\x80"), "\\xF4\\x90\\x80\\x80");  // above U+10FFFF
  // A broken lead byte does not swallow the valid character after it.
  EXPECT_EQ(DisplayText("\xE2\x82\xC3\xA9"), "\\xE2\\x82\xC3\xA9");
  // What is shown is itself valid text.
  EXPECT_TRUE(IsValidUtf8(DisplayText("\x80\xBF\xFE\xFF")));
}

TEST(ReplaceInvalidUtf8, OneReplacementCharacterPerBrokenCharacter) {
  const std::string valid = "na\xC3\xAFve \xF0\x9F\x98\x80";
  EXPECT_EQ(ReplaceInvalidUtf8(valid), valid);
  EXPECT_EQ(ReplaceInvalidUtf8(""), "");
  EXPECT_EQ(ReplaceInvalidUtf8("Bad\xFF\xFE Name"), "Bad\xEF\xBF\xBD\xEF\xBF\xBD Name");
  // A character cut short is one broken character; the valid one after it stays.
  EXPECT_EQ(ReplaceInvalidUtf8("\xE2\x82\xC3\xA9"), "\xEF\xBF\xBD\xC3\xA9");
  EXPECT_EQ(ReplaceInvalidUtf8("end\xC3"), "end\xEF\xBF\xBD");
  EXPECT_TRUE(IsValidUtf8(ReplaceInvalidUtf8("\x80\xBF\xED\xA0\x80\xF4\x90\x80\x80")));
}

TEST(IsValidUtf8, AcceptsOnlyWellFormedText) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("plain"));
  EXPECT_TRUE(IsValidUtf8("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"));
  EXPECT_FALSE(IsValidUtf8("\xC3"));
  EXPECT_FALSE(IsValidUtf8("\xE0\x80\x80"));
  EXPECT_FALSE(IsValidUtf8("\xED\xBF\xBF"));
  EXPECT_FALSE(IsValidUtf8("\xF5\x80\x80\x80"));
  EXPECT_FALSE(IsValidUtf8("a\x80"));
}

TEST(NoCaseComparisons, AsciiOnly) {
  EXPECT_TRUE(EqualsNoCase("Full", "FULL"));
  EXPECT_FALSE(EqualsNoCase("Full", "Ful"));
  EXPECT_FALSE(EqualsNoCase("\xC3\x89", "\xC3\xA9"));  // É and é differ
  EXPECT_TRUE(EndsWithNoCase("REPORT.SIGNED.GPG", ".signed.gpg"));
  EXPECT_TRUE(EndsWithNoCase("a.Gpg", ".gpg"));
  EXPECT_FALSE(EndsWithNoCase("gpg", ".gpg"));
  EXPECT_TRUE(EndsWithNoCase("anything", ""));
}

TEST(ParseLeadingInt, ReadsLikeTheCLibrary) {
  EXPECT_EQ(ParseLeadingInt("2x"), 2);
  EXPECT_EQ(ParseLeadingInt("abc"), 0);
  EXPECT_EQ(ParseLeadingInt("  -1"), -1);
  EXPECT_EQ(ParseLeadingInt("\t\n+17 3"), 17);
  EXPECT_EQ(ParseLeadingInt(""), 0);
  EXPECT_EQ(ParseLeadingInt("-"), 0);
  EXPECT_EQ(ParseLeadingInt("- 1"), 0);
  EXPECT_EQ(ParseLeadingInt("0005"), 5);
  EXPECT_EQ(ParseLeadingInt("2147483647"), INT_MAX);
  EXPECT_EQ(ParseLeadingInt("-2147483648"), INT_MIN);
  // Out of range clamps rather than wrapping into a different command number.
  EXPECT_EQ(ParseLeadingInt("4294967298"), INT_MAX);
  EXPECT_EQ(ParseLeadingInt("99999999999999999999999"), INT_MAX);
  EXPECT_EQ(ParseLeadingInt("-99999999999999999999999"), INT_MIN);
}

TEST(WideAndUtf8, RoundTrip) {
  const std::wstring wide = L"Gr\u00FC\u00DFe \U0001F600 \u20AC";
  const std::string utf8 =
      "Gr\xC3\xBC\xC3\x9F"
      "e \xF0\x9F\x98\x80 \xE2\x82\xAC";
  EXPECT_EQ(WideToUtf8(wide), utf8);
  EXPECT_EQ(Utf8ToWide(utf8), wide);
  EXPECT_EQ(WideToUtf8(L""), "");
  EXPECT_EQ(Utf8ToWide(""), L"");
}

TEST(WideAndUtf8, InvalidInputBecomesReplacementCharacter) {
  EXPECT_EQ(Utf8ToWide("a\xFF"
                       "b"),
            L"a\uFFFDb");
  EXPECT_EQ(Utf8ToWide("\xE2\x82"), L"\uFFFD");
  std::wstring surrogate(1, static_cast<wchar_t>(0xD800));
  EXPECT_EQ(WideToUtf8(surrogate + L"x"), "\xEF\xBF\xBDx");
  std::wstring tooLarge(1, static_cast<wchar_t>(0x110000));
  EXPECT_EQ(WideToUtf8(tooLarge), "\xEF\xBF\xBD");
}
