// Zembra in the real Thunar, as a person uses it: installed into a prefix, its module in the
// folder Thunar loads extensions from, Thunar started on a virtual X server with a session bus
// and showing the folder of two encrypted files, both selected, the context menu opened from
// the keyboard and "Decrypt with Zembra" chosen. The launcher that Thunar starts decrypts both;
// nothing is left behind, and the module leaves Thunar's folder again.
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

class ThunarDesktop : public ShellEndToEnd {
 protected:
  void SetUp() override {
    ShellEndToEnd::SetUp();
#ifdef ZEMBRA_SANITIZED_MODULE
    GTEST_SKIP() << "a module built with the sanitizers cannot be loaded into Thunar, which is "
                    "built without them";
#endif
    if (RunProcess({"sh", "-c", "command -v thunar"}).exitCode != 0)
      GTEST_SKIP() << "Thunar is not installed";
    if (access(ZEMBRA_THUNAR_EXTENSION_DIR, W_OK) != 0)
      GTEST_SKIP() << "Thunar's extension folder is not writable here (the test runs as root)";
  }

  fs::path Install() {
    return InstallBuild(ZEMBRA_CMAKE_COMMAND, ZEMBRA_BUILD_DIR, ring().path("prefix"),
                        ZEMBRA_THUNAR_EXTENSION_DIR, ZEMBRA_THUNAR_PREFIX, "libzembra-thunar.so");
  }
};

}  // namespace

TEST_F(ThunarDesktop, DecryptWithZembraFromTheContextMenuDecryptsBothSelectedFiles) {
  Encrypted("a.txt", "first file\n");
  Encrypted("b.txt", "second file\n");
  // The name is the test's own (see ModuleInSystemFolder).
  std::optional<ModuleInSystemFolder> module;
  module.emplace(Install(), fs::path(ZEMBRA_THUNAR_EXTENSION_DIR) / "libzembra-thunar-e2e-test.so");
  const fs::path launcher = ring().path("prefix") + "/lib/zembra/ZembraShellExtApp";

  StartFileManager({"thunar", m_files.string()}, ring().path("home"));
  const std::string window = WaitForWindow(m_display, "Thunar$", 60s);
  ASSERT_FALSE(window.empty()) << "no Thunar window:\n" << Trace();
  ASSERT_TRUE(OpenMenuForBothFiles(window, {})) << Trace();
  // Thunar puts the extensions' items last but for "Properties...": two up from the bottom is
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
