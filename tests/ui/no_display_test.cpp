// The library inside a host program on a machine without a display: its calls fail, and the
// host keeps running; Zembra's own programs still say so and end with 1.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/run_process.h"
#include "tests/support/temp_folder.h"

namespace {

const std::string kBin = ZEMBRA_TEST_BIN_DIR;
constexpr const char* kNoDisplayLine =
    "Zembra needs a graphical display (neither DISPLAY nor WAYLAND_DISPLAY is set).\n";

// A display number that no server here answers on.
std::string UnservedDisplay() {
  for (int number = 4000 + (::getpid() % 1000);; ++number) {
    if (!std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number))) {
      return ":" + std::to_string(number);
    }
  }
}

std::vector<std::string> Environment(const TempFolder& folder, const std::string& display) {
  return {display.empty() ? "DISPLAY" : "DISPLAY=" + display,
          "WAYLAND_DISPLAY",
          "QT_QPA_PLATFORM=xcb",
          "ZEMBRA_REGISTRY_DIR=" + folder.path("registry"),
          "XDG_CONFIG_HOME=" + folder.path("config"),
          "GNUPGHOME=" + folder.path("gnupg")};
}

}  // namespace

TEST(Faults, ALibraryCallWithoutADisplayFailsAndTheHostGoesOn) {
  TempFolder folder;
  const ProcessResult r = RunProcess({kBin + "/zembra_display_host"}, {}, Environment(folder, ""));
  EXPECT_EQ(r.exitCode, 7) << r;
  EXPECT_EQ(r.out, "Exec: -1\nClipboardOperation returned\n") << r;
  EXPECT_EQ(r.err, "") << r;
}

TEST(NoDisplay, ADisplayThatNoServerAnswersFailsTheCallsAsNoneDoes) {
  TempFolder folder;
  const std::string display = UnservedDisplay();
  const ProcessResult r =
      RunProcess({kBin + "/zembra_display_host"}, {}, Environment(folder, display));
  EXPECT_EQ(r.exitCode, 7) << r;
  EXPECT_EQ(r.out, "Exec: -1\nClipboardOperation returned\n") << r;
  // A program names the display that did not answer.
  const ProcessResult program = RunProcess({kBin + "/Zembra"}, {}, Environment(folder, display));
  EXPECT_EQ(program.exitCode, 1) << program;
  EXPECT_EQ(program.err,
            "Zembra could not connect to the graphical display \"" + display + "\".\n");
}

TEST(NoDisplay, TheProgramsStillSayItInOneLineAndEndWithOne) {
  TempFolder folder;
  const std::vector<std::vector<std::string>> programs = {
      {kBin + "/ZembraShellExtApp", "3", folder.path("x.gpg")},
      {kBin + "/Zembra", folder.path("x.gpg")},
      {kBin + "/Zembra", "--associations"}};
  for (const auto& argv : programs) {
    const ProcessResult r = RunProcess(argv, {}, Environment(folder, ""));
    EXPECT_EQ(r.exitCode, 1) << argv[0] << "\n" << r;
    EXPECT_EQ(r.err, kNoDisplayLine) << argv[0];
  }
}
