// The Nautilus module as Nautilus runs it, on a registered server: the items for two encrypted
// files, "Decrypt with Zembra" activated, and the real launcher, started from inside the file
// manager's process, decrypts both under a virtual X server and leaves nothing running.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/e2e/shell_end_to_end.h"
#include "tests/shellext/nautilus_test_host.h"
#include "tests/support/scoped_env.h"

namespace fs = std::filesystem;

namespace {

// Standard error pointed at a file for a scope: what a process started meanwhile inherits.
class StderrTo {
 public:
  explicit StderrTo(const fs::path& file) : m_saved(dup(STDERR_FILENO)) {
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd >= 0) {
      dup2(fd, STDERR_FILENO);
      close(fd);
    }
  }
  ~StderrTo() {
    dup2(m_saved, STDERR_FILENO);
    close(m_saved);
  }
  StderrTo(const StderrTo&) = delete;
  StderrTo& operator=(const StderrTo&) = delete;

 private:
  int m_saved;
};

class NautilusEndToEnd : public ShellEndToEnd {};

}  // namespace

TEST_F(NautilusEndToEnd, DecryptItemDecryptsBothSelectedFiles) {
  const fs::path a = Encrypted("a.txt", "first file\n");
  const fs::path b = Encrypted("b.txt", "second file\n");
  // The module finds the server through the registry, as in a session.
  const ProcessResult registered =
      RunProcess({std::string(ZEMBRA_TEST_BIN_DIR) + "/zembra-shell-host", "--install"});
  ASSERT_EQ(registered.exitCode, 0) << registered;

  // The file manager's environment, which the launcher inherits.
  std::vector<std::unique_ptr<ScopedEnv>> env;
  for (const char* name : {"DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "QT_QPA_PLATFORM", "ZEMBRA_TRACE",
                           "XDG_RUNTIME_DIR"})
    env.push_back(std::make_unique<ScopedEnv>(name, LauncherEnvironment().at(name)));

  NautilusTestHost nautilus(std::string(ZEMBRA_TEST_BIN_DIR) + "/libzembra-nautilus.so");
  ASSERT_TRUE(nautilus.ok()) << nautilus.error();
  const std::vector<NautilusItemShown> items = nautilus.ItemsFor({a.string(), b.string()});
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].label, "Zembra...");
  EXPECT_EQ(items[1].label, "Decrypt with Zembra");
  EXPECT_EQ(items[1].tip, "Decrypt file(s) with Zembra");
  {
    StderrTo trace(m_trace);
    nautilus.Activate(1);
  }
  ASSERT_GT(Launcher(), 0) << "the launcher did not start:\n" << Trace();
  ASSERT_TRUE(WaitForDone(2)) << Trace();

  EXPECT_EQ(ReadWholeFile(m_files / "a.txt"), "first file\n");
  EXPECT_EQ(ReadWholeFile(m_files / "b.txt"), "second file\n");
  EXPECT_EQ(CloseWithEscape(), 0) << Trace();
  EXPECT_EQ(LeftBehind(), std::vector<std::string>{});
}
