#include <gtest/gtest.h>

#include "platform/core/process.h"

using Args = std::vector<std::string>;

TEST(SplitCommandLine, BlanksSeparateAndQuotesGroup) {
  EXPECT_EQ(SplitCommandLine(R"(prog "a b" c)"), (Args{"prog", "a b", "c"}));
  EXPECT_EQ(SplitCommandLine("prog\ta\t\tb"), (Args{"prog", "a", "b"}));
  // The launcher's own line: two blanks between quoted paths make no empty argument.
  EXPECT_EQ(SplitCommandLine(R"("/opt/z/ZembraShellExtApp" 2 "/tmp/a b.txt"  "/tmp/c.txt")"),
            (Args{"/opt/z/ZembraShellExtApp", "2", "/tmp/a b.txt", "/tmp/c.txt"}));
  EXPECT_EQ(SplitCommandLine(R"(prog a"b c"d)"), (Args{"prog", "ab cd"}));
}

TEST(SplitCommandLine, BackslashesCountOnlyBeforeAQuote) {
  // 3 backslashes and a quote: one backslash and a literal quote.
  EXPECT_EQ(SplitCommandLine(R"(prog a\\\"b)"), (Args{"prog", R"(a\"b)"}));
  // 4 backslashes and a quote: two backslashes, and the quote opens quoting.
  EXPECT_EQ(SplitCommandLine(R"(prog a\\\\"b c")"), (Args{"prog", R"(a\\b c)"}));
  EXPECT_EQ(SplitCommandLine(R"(prog a\\b c\)"), (Args{"prog", R"(a\\b)", R"(c\)"}));
  EXPECT_EQ(SplitCommandLine(R"(prog "C:\dir\\" next)"), (Args{"prog", R"(C:\dir\)", "next"}));
  EXPECT_EQ(SplitCommandLine(R"(prog "ab\"c" d)"), (Args{"prog", R"(ab"c)", "d"}));
}

TEST(SplitCommandLine, QuoteRuns) {
  EXPECT_EQ(SplitCommandLine(R"(prog """")"), (Args{"prog", "\""}));
  EXPECT_EQ(SplitCommandLine(R"(prog "" b)"), (Args{"prog", "", "b"}));
  EXPECT_EQ(SplitCommandLine(R"(prog a "")"), (Args{"prog", "a", ""}));
  // A doubled quote inside quotes is a literal quote and ends the quoting.
  EXPECT_EQ(SplitCommandLine(R"(prog "a""b c")"), (Args{"prog", "a\"b", "c"}));
  EXPECT_EQ(SplitCommandLine(R"(prog """a b""")"), (Args{"prog", "\"a", "b\""}));
}

TEST(SplitCommandLine, EmptyAndBlankLines) {
  EXPECT_TRUE(SplitCommandLine("").empty());
  EXPECT_EQ(SplitCommandLine("prog a   "), (Args{"prog", "a"}));
  EXPECT_EQ(SplitCommandLine("prog   "), (Args{"prog"}));
  EXPECT_EQ(SplitCommandLine(R"("")"), (Args{""}));
}

TEST(SplitCommandLine, ProgramNameHasItsOwnRules) {
  // Backslashes are literal in argument 0, and a quoted one ends at the next quote.
  EXPECT_EQ(SplitCommandLine(R"(C:\dir\\"x y)"), (Args{R"(C:\dir\\"x)", "y"}));
  EXPECT_EQ(SplitCommandLine(R"("C:\Program Files\z.exe" 1)"),
            (Args{R"(C:\Program Files\z.exe)", "1"}));
  EXPECT_EQ(SplitCommandLine(R"("a b"c d)"), (Args{"a b", "c", "d"}));
  EXPECT_EQ(SplitCommandLine(R"("/unterminated path)"), (Args{"/unterminated path"}));
}
