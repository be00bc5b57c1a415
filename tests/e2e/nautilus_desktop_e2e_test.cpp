// Zembra in the real Nautilus, as a person uses it: installed into a prefix, its module in the
// folder Nautilus loads extensions from, Nautilus started on a virtual X server with a session
// bus, both encrypted files selected, the context menu opened from the keyboard and "Decrypt with
// Zembra" chosen. The launcher that Nautilus starts decrypts both; nothing is left behind, and
// the module leaves Nautilus's folder again.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "tests/e2e/shell_end_to_end.h"
#include "tests/support/run_process.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class NautilusDesktop : public ShellEndToEnd {
 protected:
  void SetUp() override {
    ShellEndToEnd::SetUp();
#ifdef ZEMBRA_SANITIZED_MODULE
    GTEST_SKIP() << "a module built with the sanitizers cannot be loaded into Nautilus, which is "
                    "built without them";
#endif
    if (RunProcess({"sh", "-c", "command -v nautilus"}).exitCode != 0)
      GTEST_SKIP() << "Nautilus is not installed";
    if (access(ZEMBRA_NAUTILUS_EXTENSION_DIR, W_OK) != 0)
      GTEST_SKIP() << "Nautilus's extension folder is not writable here (the test runs as root)";
  }

  // cmake --install of this build into a prefix of the test's own.
  fs::path Install() {
    return InstallBuild(ZEMBRA_CMAKE_COMMAND, ZEMBRA_BUILD_DIR, ring().path("prefix"),
                        ZEMBRA_NAUTILUS_EXTENSION_DIR, ZEMBRA_NAUTILUS_PREFIX,
                        "libzembra-nautilus.so");
  }
};

}  // namespace

TEST_F(NautilusDesktop, DecryptWithZembraFromTheContextMenuDecryptsBothSelectedFiles) {
  Encrypted("a.txt", "first file\n");
  Encrypted("b.txt", "second file\n");
  // The name is the test's own (see ModuleInSystemFolder).
  std::optional<ModuleInSystemFolder> module;
  module.emplace(Install(),
                 fs::path(ZEMBRA_NAUTILUS_EXTENSION_DIR) / "libzembra-nautilus-e2e-test.so");
  const fs::path launcher = ring().path("prefix") + "/lib/zembra/ZembraShellExtApp";

  StartFileManager({"nautilus", "--new-window", ring().path("home")}, ring().path("home"));
  const std::string window = WaitForWindow(m_display, "^(files|Home)$", 60s);
  ASSERT_FALSE(window.empty()) << "no Nautilus window:\n" << Trace();
  // Nautilus at its first start on a busy machine can stay "Loading..." on a folder; going to
  // the folder again loads it.
  const auto goToFolder = [&](const std::vector<std::string>& env) {
    RunProcess({"xdotool", "key", "ctrl+l"}, {}, env);
    RunProcess({"xdotool", "type", "--delay", "10", m_files.string() + "/"}, {}, env);
    RunProcess({"xdotool", "key", "Return"}, {}, env);
    std::this_thread::sleep_for(1s);
  };
  ASSERT_TRUE(OpenMenuForBothFiles(window, goToFolder)) << Trace();
  // Nautilus puts the extensions' items last but for "Properties": two up from the bottom is
  // "Decrypt with Zembra".
  for (const char* key : {"Up", "Up", "Return"})
    RunProcess({"xdotool", "key", key}, {}, m_display.environmentEntries());

  ASSERT_GT(Launcher(launcher), 0) << "the launcher did not start:\n" << Trace();
  ASSERT_TRUE(WaitForDone(2)) << Trace();
  EXPECT_EQ(ReadWholeFile(m_files / "a.txt"), "first file\n");
  EXPECT_EQ(ReadWholeFile(m_files / "b.txt"), "second file\n");
  EXPECT_EQ(CloseWithEscape(), 0) << Trace();
  EXPECT_EQ(LeftBehind(), std::vector<std::string>{});

  m_fileManager.reset();
  const fs::path copied = module->path();
  module.reset();
  EXPECT_FALSE(fs::exists(copied));
}
