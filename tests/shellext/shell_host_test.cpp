// zembra-shell-host as a person runs it.
#include <gtest/gtest.h>

#include "tests/shellext/shell_test_support.h"
#include "tests/support/run_process.h"

namespace {

ProcessResult Host(const std::vector<std::string>& args) {
  std::vector<std::string> argv{BuiltFile("zembra-shell-host")};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv);
}

}  // namespace

TEST(ShellHost, PrintsTheMenuWithHelpTexts) {
  ProcessResult r = Host({"/d/x.gpg", "/d/y.PGP"});
  EXPECT_EQ(r.exitCode, 0) << r;
  EXPECT_EQ(r.out,
            "Zembra...\tEncrypt/decrypt file(s) with Zembra\n"
            "Decrypt with Zembra\tDecrypt file(s) with Zembra\n"
            "-\n");
  r = Host({"--", "-a.asc"});
  EXPECT_EQ(r.out,
            "Zembra...\tEncrypt/decrypt file(s) with Zembra\n"
            "Import Key\tImport key(s) into Zembra\n"
            "-\n");
}

TEST(ShellHost, EmptySelectionShowsNothing) {
  const ProcessResult r = Host({});
  EXPECT_EQ(r.exitCode, 0) << r;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "zembra-shell-host: no items for this selection (0x80070057)\n");
}

TEST(ShellHost, InvokesTheChosenItemOfAModuleElsewhere) {
  ProbeFolder probe;
  ProcessResult r = Host({"--module", probe.module(), "--invoke", "1", "/d/a.asc", "/d/b.asc"});
  EXPECT_EQ(r.exitCode, 0) << r;
  const auto argv = probe.WaitForArgv();
  ASSERT_TRUE(argv);
  EXPECT_EQ(*argv, (std::vector<std::string>{"1", "/d/a.asc", "/d/b.asc"}));

  r = Host({"--module", probe.module(), "--invoke", "5", "/d/a.asc"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "zembra-shell-host: the handler refused item 5 (0x80070057)\n");
}

TEST(ShellHost, BadModuleOrOptionGetsAMessage) {
  ProcessResult r = Host({"--module", "/nonexistent/ZembraShellExt.so", "/d/a"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("/nonexistent/ZembraShellExt.so"), std::string::npos) << r;
  r = Host({"--invoke", "x", "/d/a"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "zembra-shell-host: not an item offset: x\n");
  r = Host({"--bogus"});
  EXPECT_EQ(r.exitCode, 2);
}
