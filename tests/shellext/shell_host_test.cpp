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

TEST(ShellHost, ShowsTheRightMenuForEachSelection) {
  struct Case {
    std::vector<std::string> paths;
    const char* action;
  };
  const Case cases[] = {
      {{"/d/a.asc"}, "Import Key\tImport key(s) into Zembra"},
      {{"/d/a.asc", "/d/B.ASC"}, "Import Keys\tImport key(s) into Zembra"},
      {{"/d/folder", "/d/a.asc"}, "Import Keys\tImport key(s) into Zembra"},
      {{"/d/folder"}, "Encrypt with Zembra\tEncrypt file(s) with Zembra"},
      {{"/d/x.gpg", "/d/y.pgp"}, "Decrypt with Zembra\tDecrypt file(s) with Zembra"},
      {{"/d/x.signed.gpg"}, "Decrypt with Zembra\tDecrypt file(s) with Zembra"},
      {{"/d/x.gpg", "/d/y.txt"}, "Encrypt with Zembra\tEncrypt file(s) with Zembra"},
      {{"/d/x.gpg.bak"}, "Encrypt with Zembra\tEncrypt file(s) with Zembra"},
      {{"/d/my.dir/readme"}, "Encrypt with Zembra\tEncrypt file(s) with Zembra"},
      {{"/d/x.asc", "/d/y.gpg"}, "Encrypt with Zembra\tEncrypt file(s) with Zembra"},
  };
  for (const Case& c : cases) {
    const ProcessResult r = Host(c.paths);
    EXPECT_EQ(r.exitCode, 0) << r;
    EXPECT_EQ(r.out,
              std::string("Zembra...\tEncrypt/decrypt file(s) with Zembra\n") + c.action + "\n-\n")
        << c.paths[0];
  }
}

// Through the whole chain a person's selection takes: the host's own argv, the handler's data
// object, the command line, its splitting and the launcher's argv.
TEST(ShellHost, HostilePathsReachTheLauncherThroughTheHostProgram) {
  std::string deep;
  for (int i = 0; i < 16; ++i) deep += std::string(250, static_cast<char>('a' + i)) + "/";
  const std::vector<std::string> paths = {
      "two  words.gpg", "say \"hi\".gpg", "ends in backslash\\", "ends in two\\\\",
      "\\\"\\\\\"",     "new\nline.gpg",  "100% %MODULE% %1",    "-rf",
      "--invoke",       "\t\ttabs",       "\xff\xfe not utf-8",  "/" + deep + "x.gpg"};
  ProbeFolder probe;
  std::vector<std::string> args{"--module", probe.module(), "--invoke", "1", "--"};
  args.insert(args.end(), paths.begin(), paths.end());
  const ProcessResult r = Host(args);
  EXPECT_EQ(r.exitCode, 0) << r;
  // Every path with a dot ends in ".gpg".
  EXPECT_NE(r.out.find("Decrypt with Zembra\t"), std::string::npos) << r;
  const auto argv = probe.WaitForArgv();
  ASSERT_TRUE(argv) << "the launcher did not run";
  std::vector<std::string> expected{"1"};
  expected.insert(expected.end(), paths.begin(), paths.end());
  EXPECT_EQ(*argv, expected);
}
