#include <gtest/gtest.h>

#include <climits>
#include <cstdio>

#include "platform/core/format.h"

namespace {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
template <typename T>
std::string Printf(const char* format, T value) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}
#pragma GCC diagnostic pop

}  // namespace

TEST(FormatText, IntegersMatchPrintf) {
  const char* formats[] = {"%d",   "%i",    "%4d",     "%-4d|",  "%04d",   "%+d",    "% d",
                           "%.3d", "%8.3d", "%-8.3d|", "%08.3d", "%+05d",  "%-05d|", "%x",
                           "%X",   "%#x",   "%#X",     "%08x",   "%#010x", "%o",     "%#o",
                           "%u",   "%.0d",  "%5.0d|",  "%#.0x|"};
  const int values[] = {0, 7, -7, 42, -1234, 65535, INT_MAX, INT_MIN};
  for (const char* format : formats) {
    for (int value : values) {
      EXPECT_EQ(FormatText(format, value), Printf(format, value))
          << "format " << format << " value " << value;
    }
  }
  EXPECT_EQ(FormatText("%lld", LLONG_MIN), Printf("%lld", LLONG_MIN));
  EXPECT_EQ(FormatText("%llx", -1LL), Printf("%llx", -1LL));
  EXPECT_EQ(FormatText("%hx", -1), Printf("%hx", -1));
  EXPECT_EQ(FormatText("%lu", ULONG_MAX), Printf("%lu", ULONG_MAX));
  // A 64-bit size under "%d" is shown whole, never cut to 32 bits.
  EXPECT_EQ(FormatText("%d", 5368709120LL), "5368709120");
}

TEST(FormatText, TextMatchesPrintf) {
  const char* formats[] = {"%s", "%5s|", "%-5s|", "%.3s|", "%5.2s|", "%-6.1s|", "%.0s|"};
  const char* values[] = {"", "ab", "abcdef"};
  for (const char* format : formats) {
    for (const char* value : values) {
      EXPECT_EQ(FormatText(format, value), Printf(format, value))
          << "format " << format << " value " << value;
    }
  }
  std::string owned = "owned";
  EXPECT_EQ(FormatText("[%ls][%hs][%s]", owned, std::string_view("view"), "c"), "[owned][view][c]");
}

TEST(FormatText, PointersMatchPrintf) {
  int local = 0;
  EXPECT_EQ(FormatText("%p", static_cast<const void*>(&local)),
            Printf("%p", static_cast<const void*>(&local)));
  EXPECT_EQ(FormatText("[%p]", static_cast<const void*>(nullptr)),
            Printf("[%p]", static_cast<const void*>(nullptr)));
  EXPECT_EQ(FormatText("%20p|", static_cast<const void*>(&local)),
            Printf("%20p|", static_cast<const void*>(&local)));
}

TEST(FormatText, ValueIsNeverAFormat) {
  EXPECT_EQ(FormatText("Decrypting \"%s\"...\n", "/tmp/100% done.txt"),
            "Decrypting \"/tmp/100% done.txt\"...\n");
  EXPECT_EQ(FormatText("%s", "%s %d %n %%"), "%s %d %n %%");
  EXPECT_EQ(FormatText("100%% done"), "100% done");
}

TEST(FormatText, WrongOrMissingArgumentsFormatEmpty) {
  EXPECT_EQ(FormatText("[%d]", "text"), "[]");
  EXPECT_EQ(FormatText("[%s]", 5), "[]");
  EXPECT_EQ(FormatText("[%p]", 5), "[]");
  EXPECT_EQ(FormatText("[%s][%d]"), "[][]");
  EXPECT_EQ(FormatText("[%5s][%04d]"), "[][]");
  // A wrong argument is still used up: the next conversion takes the next one.
  EXPECT_EQ(FormatText("%d %s", "a", "b"), " b");
  // Surplus arguments are ignored.
  EXPECT_EQ(FormatText("%d", 1, 2), "1");
}

TEST(FormatText, UnknownConversionsAreCopied) {
  EXPECT_EQ(FormatText("%y %d", 5), "%y 5");
  EXPECT_EQ(FormatText("%5k|%s", "a"), "%5k|a");
  EXPECT_EQ(FormatText("100%"), "100%");
  EXPECT_EQ(FormatText("cut %-0"), "cut %-0");
  EXPECT_EQ(FormatText("%I64d %ld %zu", 1, 2, 3), "1 2 3");
}

TEST(FormatText, WidthAndPrecisionCountCharactersNotBytes) {
  EXPECT_EQ(FormatText("%5s|", "\xC3\xA9"), "    \xC3\xA9|");
  // A precision never cuts a character in two.
  EXPECT_EQ(FormatText("%.1s|",
                       "\xC3\xA9"
                       "a"),
            "\xC3\xA9|");
  EXPECT_EQ(FormatText("%c%c", 'A', 0xE9), "A\xC3\xA9");
}
