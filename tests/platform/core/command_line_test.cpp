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

TEST(QuoteArgument, EscapesWhatTheSplitterWouldReadAsQuoting) {
  EXPECT_EQ(QuoteArgument("/tmp/a b.txt"), "\"/tmp/a b.txt\"");
  EXPECT_EQ(QuoteArgument("dir\\"), "\"dir\\\\\"");
  EXPECT_EQ(QuoteArgument("say \"hi\""), "\"say \\\"hi\\\"\"");
  EXPECT_EQ(QuoteArgument("a\\b"), "\"a\\b\"");
}

// Every argument made of the splitter's special characters, up to five of them, comes back
// unchanged from a line of quoted arguments separated as the context menu separates them.
TEST(QuoteArgument, EveryArgumentSurvivesSplitting) {
  const std::string alphabet = "a\\\" \t";
  std::vector<std::string> arguments = {""};
  for (std::size_t begin = 0, length = 0; length < 5; ++length) {
    std::size_t end = arguments.size();
    for (std::size_t i = begin; i < end; ++i) {
      for (char c : alphabet) arguments.push_back(arguments[i] + c);
    }
    begin = end;
  }
  for (const std::string& argument : arguments) {
    std::string line =
        "\"/opt/z/app\" 1 " + QuoteArgument(argument) + "  " + QuoteArgument(argument + "x") + " ";
    EXPECT_EQ(SplitCommandLine(line), (Args{"/opt/z/app", "1", argument, argument + "x"}))
        << "argument [" << argument << "]";
  }
}
