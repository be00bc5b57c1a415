// zembra-shell-host as the file manager, the real launcher it starts under a virtual X server:
// the menu for encrypted files, "Decrypt with Zembra" chosen, both files decrypted on disk, and
// nothing left running once the window is closed. Hostile file names go through the whole
// chain (host argv, handler, command line, splitter, launcher) and come out as the same files.
#include <gtest/gtest.h>

#include "tests/e2e/shell_end_to_end.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class ShellHostEndToEnd : public ShellEndToEnd {
 protected:
  // Runs zembra-shell-host in the folder with the arguments, to its end. Its standard output is
  // returned; its standard error, and so the launcher's trace, goes to m_trace.
  std::string Host(const std::vector<std::string>& args, const fs::path& folder) {
    std::vector<std::string> argv{"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", folder.string(),
                                  std::string(ZEMBRA_TEST_BIN_DIR) + "/zembra-shell-host"};
    argv.insert(argv.end(), args.begin(), args.end());
    const fs::path out = ring().path("host-out.txt");
    ChildProcess host(argv, LauncherEnvironment(), out, m_trace);
    EXPECT_EQ(host.WaitFor(60s), 0) << Trace();
    return ReadWholeFile(out);
  }
};

constexpr const char* kDecryptMenu =
    "Zembra...\tEncrypt/decrypt file(s) with Zembra\n"
    "Decrypt with Zembra\tDecrypt file(s) with Zembra\n"
    "-\n";

}  // namespace

TEST_F(ShellHostEndToEnd, DecryptWithZembraDecryptsBothSelectedFiles) {
  const fs::path a = Encrypted("a.txt", "first file\n");
  const fs::path b = Encrypted("b.txt", "second file\n");

  EXPECT_EQ(Host({a.string(), b.string()}, m_files), kDecryptMenu);
  EXPECT_EQ(Host({"--invoke", "1", a.string(), b.string()}, m_files), kDecryptMenu);
  ASSERT_GT(Launcher(), 0) << "the launcher did not start:\n" << Trace();
  ASSERT_TRUE(WaitForDone(2)) << Trace();

  EXPECT_EQ(ReadWholeFile(m_files / "a.txt"), "first file\n");
  EXPECT_EQ(ReadWholeFile(m_files / "b.txt"), "second file\n");
  EXPECT_NE(Trace().find("log: Decrypting \"" + a.string() + "\"..."), std::string::npos)
      << Trace();
  EXPECT_NE(Trace().find("log: Decrypting \"" + b.string() + "\"..."), std::string::npos)
      << Trace();

  EXPECT_EQ(CloseWithEscape(), 0) << Trace();
  EXPECT_EQ(LeftBehind(), std::vector<std::string>{});
}

// Each name is one the splitting rules or an option parser could take apart; given relative to
// the host's folder, the launcher must open exactly these files from the same folder.
TEST_F(ShellHostEndToEnd, HostileNamesAreDecryptedAsTheFilesTheyName) {
  std::string deep;
  for (int i = 0; i < 15; ++i) deep += std::string(250, static_cast<char>('a' + i)) + "/";
  const std::vector<std::string> names{
      "two  words", "say \"hi\" \\\"",    "new\nline",     "100% %MODULE% %1", "-rf",
      "--help",     "\xff\xfe not utf-8", "back\\slash\\", deep + "deep"};
  std::vector<std::string> args{"--invoke", "1", "--"};
  for (const std::string& name : names) {
    Encrypted(name, "content of " + name);
    args.push_back(name + ".gpg");
  }

  Host(args, m_files);
  ASSERT_GT(Launcher(), 0) << "the launcher did not start:\n" << Trace();
  ASSERT_TRUE(WaitForDone(static_cast<int>(names.size()))) << Trace();

  for (const std::string& name : names)
    EXPECT_EQ(ReadWholeFile(m_files / name), "content of " + name) << name;
  EXPECT_EQ(Trace().find("log: Error"), std::string::npos) << Trace();

  EXPECT_EQ(CloseWithEscape(), 0) << Trace();
  EXPECT_EQ(LeftBehind(), std::vector<std::string>{});
}
