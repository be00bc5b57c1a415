// The Debian package as a person meets it: installed with apt on this machine, found on the
// desktop, started from its desktop entry through the desktop's own launcher, removed and purged.
// The machine is left as it was found: a guard purges the package whatever happens. The machine's
// hive (/etc/zembra) is the real one; the user's hives and desktop folders are the test's own.
//
// Runs where build/zembra_*.deb exists (scripts/package.sh; or ZEMBRA_DEB names the file), as root,
// outside the sanitizer build, and where Zembra is not installed as a package already.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "shellext/com/com_types.h"
#include "shellext/shell_ext_guids.h"
#include "tests/e2e/child_process.h"
#include "tests/support/key_ring.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr const char* kInstalledDir = "/usr/lib/zembra";
constexpr const char* kMachineHive = "/etc/zembra";
constexpr const char* kTypeKey = "HKLM\\SOFTWARE\\Orvel Ltd\\Zembra";
constexpr const char* kApprovedKey =
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
constexpr const char* kHandlerKey = "HKCR\\*\\ShellEx\\ContextMenuHandlers\\ZembraShlExt";
// A program slow to start on two busy cores is waited for long.
constexpr auto kStartDeadline = 300s;

std::string ClassKey() { return "HKCR\\CLSID\\" + GuidToRegistryString(CLSID_ZembraShlExt); }

// The package file: ZEMBRA_DEB, or the newest build/zembra_*_amd64.deb of the source tree.
std::string PackageFile() {
  if (const char* named = std::getenv("ZEMBRA_DEB"); named && *named) return named;
  std::optional<fs::directory_entry> newest;
  std::error_code error;
  for (const auto& entry :
       fs::directory_iterator(fs::path(ZEMBRA_TEST_SOURCE_DIR) / "build", error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("zembra_", 0) != 0 || !name.ends_with("_amd64.deb")) continue;
    if (!newest || entry.last_write_time() > newest->last_write_time()) newest = entry;
  }
  return newest ? newest->path().string() : std::string();
}

// The process that shows the window; 0 when xdotool cannot tell.
pid_t WindowPid(const VirtualDisplay& display, const std::string& window) {
  const ProcessResult r =
      RunProcess({"xdotool", "getwindowpid", window}, {}, display.environmentEntries());
  return r.exitCode == 0 ? static_cast<pid_t>(std::stoi(r.out)) : 0;
}

// A program the desktop launched is not this test's child: it is ended by its id whatever
// happens.
struct EndProgram {
  pid_t pid;
  ~EndProgram() {
    if (fs::exists("/proc/" + std::to_string(pid))) kill(pid, SIGKILL);
  }
};

// Ended: gone, or a zombie its launcher has not collected.
bool Ended(pid_t pid) {
  const std::string stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
  return stat.empty() || stat.find(") Z ") != std::string::npos;
}

bool PackageInstalled() {
  const ProcessResult r = RunProcess({"dpkg-query", "-W", "-f=${Status}", "zembra"});
  return r.exitCode == 0 && r.out.find("install ok installed") != std::string::npos;
}

class DebianPackage : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef ZEMBRA_SANITIZED_BUILD
    GTEST_SKIP() << "the package is the normal build's; the sanitizer build does not install it";
#endif
    if (geteuid() != 0) GTEST_SKIP() << "installing a package needs root";
    m_deb = PackageFile();
    if (m_deb.empty() || !fs::exists(m_deb))
      GTEST_SKIP() << "no package: scripts/package.sh makes build/zembra_<version>_amd64.deb";
    if (RunProcess({"sh", "-c", "command -v apt-get"}).exitCode != 0)
      GTEST_SKIP() << "apt-get is not installed";
    if (PackageInstalled()) GTEST_SKIP() << "Zembra is installed as a package on this machine";
    m_ring.emplace(KeyRingOptions{.keys = {"alice"}, .fullInstall = false});
    fs::create_directories(m_ring->path("data"));
    m_hiveExisted = fs::exists(kMachineHive);
    m_machineBefore = Reg({"export", "HKLM"}).out;
    m_ours = true;
  }

  void TearDown() override {
    // A skipped test leaves alone what it found (a Zembra installed before it, above all).
    if (!m_ours) return;
    // The guard: whatever failed, the package goes with everything it wrote.
    if (PackageInstalled()) Apt({"purge", "zembra"});
    // A hive the test made (reading it makes it) or gave another program's value goes again.
    if (!m_hiveExisted) fs::remove_all(kMachineHive);
    m_ring.reset();
  }

  // The environment apt and its maintainer scripts run in: the real machine hive, the test's own
  // user hives and desktop folders (HOME and XDG_CONFIG_HOME come from the key ring).
  std::vector<std::string> Env() const {
    return {"ZEMBRA_REGISTRY_DIR",
            "DISPLAY",
            "WAYLAND_DISPLAY",
            "DEBIAN_FRONTEND=noninteractive",
            "XDG_DATA_HOME=" + m_ring->path("data"),
            "XDG_DATA_DIRS=/usr/local/share:/usr/share"};
  }

  ProcessResult Apt(const std::vector<std::string>& arguments) const {
    std::vector<std::string> argv = {
        "apt-get", "-y", "-q", "--no-install-recommends", "-o", "DPkg::Lock::Timeout=600"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunProcess(argv, {}, Env());
  }
  void Install() {
    const ProcessResult r = Apt({"install", fs::absolute(m_deb).string()});
    ASSERT_EQ(r.exitCode, 0) << r;
    ASSERT_TRUE(PackageInstalled());
  }
  void Reinstall() {
    const ProcessResult r = Apt({"install", "--reinstall", fs::absolute(m_deb).string()});
    ASSERT_EQ(r.exitCode, 0) << r;
  }
  void Remove(const char* how = "remove") {
    const ProcessResult r = Apt({how, "zembra"});
    ASSERT_EQ(r.exitCode, 0) << r;
    ASSERT_FALSE(PackageInstalled());
  }

  // The build's registry tool, so that it is there before and after the package.
  ProcessResult Reg(const std::vector<std::string>& arguments) const {
    std::vector<std::string> argv = {std::string(ZEMBRA_TEST_BIN_DIR) + "/zembra-reg"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunProcess(argv, {}, Env());
  }
  bool KeyExists(const std::string& key) const { return Reg({"query", key}).exitCode == 0; }

  void ExpectRegistered() {
    const ProcessResult server = Reg({"query", ClassKey() + "\\InprocServer32"});
    EXPECT_EQ(server.exitCode, 0) << server;
    EXPECT_NE(server.out.find(std::string(kInstalledDir) + "/ZembraShellExt.so"), std::string::npos)
        << server;
    EXPECT_TRUE(KeyExists(kHandlerKey));
    const ProcessResult approval =
        Reg({"query", kApprovedKey, "--value", GuidToRegistryString(CLSID_ZembraShlExt)});
    EXPECT_EQ(approval.exitCode, 0) << approval;
    const ProcessResult type = Reg({"query", kTypeKey, "--value", "Type"});
    EXPECT_NE(type.out.find("REG_SZ    Full"), std::string::npos) << type;
  }
  void ExpectNoRegistration() {
    EXPECT_FALSE(KeyExists(ClassKey()));
    EXPECT_FALSE(KeyExists(kHandlerKey));
    EXPECT_NE(
        Reg({"query", kApprovedKey, "--value", GuidToRegistryString(CLSID_ZembraShlExt)}).exitCode,
        0);
    EXPECT_FALSE(KeyExists(kTypeKey));
    EXPECT_FALSE(fs::exists(kInstalledDir));
#ifdef ZEMBRA_NAUTILUS_EXTENSION_DIR
    EXPECT_FALSE(fs::exists(fs::path(ZEMBRA_NAUTILUS_EXTENSION_DIR) / "libzembra-nautilus.so"));
#endif
  }

  std::string m_deb;
  std::optional<KeyRing> m_ring;
  bool m_hiveExisted = false;
  bool m_ours = false;  // SetUp ran through: the package the guard purges is the test's
  std::string m_machineBefore;
};

}  // namespace

TEST_F(DebianPackage, InstallsWithoutADisplayOrNautilusThenRemovesAndPurgesCleanly) {
  Install();
  // The files, where the desktop and man look for them.
  for (const char* file : {"libZembra.so", "Zembra", "ZembraShellExtApp", "ZembraShellExt.so",
                           "zembra-shell-host", "zembra-reg"})
    EXPECT_TRUE(fs::exists(fs::path(kInstalledDir) / file)) << file;
  EXPECT_FALSE(fs::exists(fs::path(kInstalledDir) / "keys"));
  for (const char* program : {"Zembra", "ZembraShellExtApp", "zembra-shell-host", "zembra-reg"}) {
    const fs::path link = fs::path("/usr/bin") / program;
    EXPECT_TRUE(fs::is_symlink(link)) << link;
    EXPECT_EQ(fs::canonical(link), fs::path(kInstalledDir) / program);
  }
#ifdef ZEMBRA_NAUTILUS_EXTENSION_DIR
  EXPECT_TRUE(fs::exists(fs::path(ZEMBRA_NAUTILUS_EXTENSION_DIR) / "libzembra-nautilus.so"));
#endif
  EXPECT_TRUE(fs::exists("/usr/share/applications/org.zembra.Zembra.desktop"));
  EXPECT_TRUE(fs::exists("/usr/share/metainfo/org.zembra.Zembra.metainfo.xml"));
  for (int size : {16, 24, 32, 48, 64, 128}) {
    const std::string dim = std::to_string(size);
    EXPECT_TRUE(fs::exists("/usr/share/icons/hicolor/" + dim + "x" + dim + "/apps/zembra.png"))
        << size;
  }
  for (const char* page : {"Zembra", "ZembraShellExtApp", "zembra-reg", "zembra-shell-host"}) {
    const ProcessResult man = RunProcess({"man", "-w", page});
    EXPECT_EQ(man.exitCode, 0) << man;
    EXPECT_NE(man.out.find("/usr/share/man/man1/"), std::string::npos) << man;
  }
  const ProcessResult validate =
      RunProcess({"desktop-file-validate", "/usr/share/applications/org.zembra.Zembra.desktop"});
  EXPECT_EQ(validate.exitCode, 0) << validate;
  EXPECT_EQ(validate.out + validate.err, "");
  ExpectRegistered();

  Remove();
  ExpectNoRegistration();
  EXPECT_FALSE(fs::exists("/usr/share/applications/org.zembra.Zembra.desktop"));
  // The machine hive is back as it was before the installation.
  EXPECT_EQ(Reg({"export", "HKLM"}).out, m_machineBefore);

  Remove("purge");
  if (!m_hiveExisted) {
    EXPECT_FALSE(fs::exists(kMachineHive)) << "purge left " << kMachineHive;
  }
  EXPECT_FALSE(fs::exists("/var/lib/zembra"));
}

TEST_F(DebianPackage, InstallingTwiceKeepsOneRegistrationAndOtherProgramsValues) {
  // Other programs' values in both hives that the registration writes to.
  ASSERT_EQ(
      Reg({"add", "HKLM\\SOFTWARE\\Other Vendor\\Tool", "--value", "Path", "--data", "/opt/tool"})
          .exitCode,
      0);
  ASSERT_EQ(Reg({"add", "HKCR\\.txt", "--data", "Other.TextFile"}).exitCode, 0);
  ASSERT_EQ(Reg({"add", "HKCR\\*\\ShellEx\\ContextMenuHandlers\\OtherHandler", "--data",
                 "{11111111-2222-3333-4444-555555555555}"})
                .exitCode,
            0);
  const std::string machineBefore = Reg({"export", "HKLM"}).out;
  const std::string otherHandler = Reg({"export", "HKCR\\*\\ShellEx\\ContextMenuHandlers"}).out;

  Install();
  ExpectRegistered();
  const std::string classesOnce = Reg({"export", "HKCR"}).out;
  const std::string machineOnce = Reg({"export", "HKLM"}).out;
  // A stray subkey under the class key goes at the next registration.
  ASSERT_EQ(Reg({"add", ClassKey() + "\\Stray"}).exitCode, 0);

  Reinstall();
  ExpectRegistered();
  EXPECT_EQ(Reg({"export", "HKCR"}).out, classesOnce);
  EXPECT_EQ(Reg({"export", "HKLM"}).out, machineOnce);
  EXPECT_NE(classesOnce.find("OtherHandler"), std::string::npos);

  Remove();
  ExpectNoRegistration();
  EXPECT_EQ(Reg({"export", "HKLM"}).out, machineBefore);
  EXPECT_NE(Reg({"export", "HKCR\\.txt"}).out.find("@=\"Other.TextFile\""), std::string::npos);
  EXPECT_EQ(Reg({"export", "HKCR\\*\\ShellEx\\ContextMenuHandlers"}).out, otherHandler);

  // Another program's value is left in the machine hive: a purge keeps it.
  Remove("purge");
  EXPECT_TRUE(fs::exists(kMachineHive));
  EXPECT_EQ(Reg({"export", "HKLM"}).out, machineBefore);
  EXPECT_EQ(Reg({"delete", "HKLM\\SOFTWARE\\Other Vendor"}).exitCode, 0);
}

// An older build of the package (this one under a lower version), then this one over it: apt
// upgrades, the old prerm and the new postinst run, and one registration is left.
TEST_F(DebianPackage, UpgradingOverAnOlderBuildKeepsOneRegistration) {
  const std::string unpacked = m_ring->path("older");
  const std::string older = m_ring->path("zembra_older_amd64.deb");
  ASSERT_EQ(RunProcess({"dpkg-deb", "-R", m_deb, unpacked}).exitCode, 0);
  const ProcessResult lowered =
      RunProcess({"sed", "-i", "s/^Version: .*/Version: 0.0.1/", unpacked + "/DEBIAN/control"});
  ASSERT_EQ(lowered.exitCode, 0) << lowered;
  const ProcessResult built = RunProcess({"dpkg-deb", "--root-owner-group", "-b", unpacked, older});
  ASSERT_EQ(built.exitCode, 0) << built;

  const ProcessResult first = Apt({"install", older});
  ASSERT_EQ(first.exitCode, 0) << first;
  ExpectRegistered();
  const std::string classesOlder = Reg({"export", "HKCR"}).out;
  const std::string machineOlder = Reg({"export", "HKLM"}).out;

  Install();
  const ProcessResult version = RunProcess({"dpkg-query", "-W", "-f=${Version}", "zembra"});
  EXPECT_NE(version.out, "0.0.1") << version;
  ExpectRegistered();
  EXPECT_EQ(Reg({"export", "HKCR"}).out, classesOlder);
  EXPECT_EQ(Reg({"export", "HKLM"}).out, machineOlder);

  Remove();
  ExpectNoRegistration();
  // (Reading the machine hive makes it again: nothing reads it between the purge and the check.)
  Remove("purge");
  if (!m_hiveExisted) {
    EXPECT_FALSE(fs::exists(kMachineHive));
  }
}

TEST_F(DebianPackage, TheDesktopEntryOpensTheWindowWhichOutlivesTheRemoval) {
  Install();
  VirtualDisplay display;
  Environment changes = {{"ZEMBRA_REGISTRY_DIR", ""},
                         {"XDG_DATA_HOME", m_ring->path("data")},
                         {"XDG_DATA_DIRS", "/usr/local/share:/usr/share"}};
  const Environment env = ProgramEnvironment(display, m_ring->path("runtime"), changes);
  const fs::path trace = m_ring->path("trace.txt");

  // The desktop's launcher finds the entry by its id, as the application grid does. Xvfb starts
  // afresh when its last client leaves (the launcher itself, when it ends); a program that
  // connects in that moment is refused and ends at once, and is started again.
  const auto refused = [&] {
    const std::string said = ReadWholeFile(trace);
    return said.find("could not connect to the graphical display") != std::string::npos ||
           said.find("could not connect to display") != std::string::npos;
  };
  std::string window;
  for (int attempt = 1; attempt <= 5 && window.empty(); ++attempt) {
    ChildProcess launch({"gtk-launch", "org.zembra.Zembra"}, env, {}, trace);
    launch.WaitFor(60s);
    window = WaitForWindow(display, "^Zembra$", kStartDeadline, refused);
  }
  ASSERT_FALSE(window.empty()) << ReadWholeFile(trace);
  const pid_t pid = WindowPid(display, window);
  ASSERT_GT(pid, 0) << window;
  const EndProgram endProgram{pid};
  // The installation is "Full": the window uses the user's own GnuPG home.
  EXPECT_TRUE(WaitUntil(
      [&] {
        return ReadWholeFile(trace).find("checking for portable mode: `Full`") != std::string::npos;
      },
      60s))
      << ReadWholeFile(trace);

  // Removal while the window is open completes, and the window still works until closed.
  Remove();
  ExpectNoRegistration();
  const ProcessResult stillThere =
      RunProcess({"xdotool", "search", "--onlyvisible", "--name", "^Zembra$"}, {},
                 display.environmentEntries());
  EXPECT_NE(stillThere.out.find(window), std::string::npos) << stillThere;
  EXPECT_TRUE(TypeKeys(display, window, {"Escape"}, 60s));
  EXPECT_TRUE(WaitUntil([&] { return Ended(pid); }, 60s)) << ReadWholeFile(trace);

  Remove("purge");
  if (!m_hiveExisted) {
    EXPECT_FALSE(fs::exists(kMachineHive));
  }
}

// Nautilus loads every module of its extension folder when it starts: the package's module is
// loaded (and mapped) in the running file manager while apt removes it.
TEST_F(DebianPackage, RemovalCompletesWhileNautilusHasTheModuleLoaded) {
#ifndef ZEMBRA_NAUTILUS_EXTENSION_DIR
  GTEST_SKIP() << "the build has no Nautilus module";
#endif
  if (RunProcess({"sh", "-c", "command -v nautilus"}).exitCode != 0)
    GTEST_SKIP() << "Nautilus is not installed";
  Install();
  VirtualDisplay display;
  const std::string home = m_ring->path("home");
  fs::create_directories(home);
  const Environment env = ProgramEnvironment(display, m_ring->path("runtime"),
                                             {{"ZEMBRA_REGISTRY_DIR", ""},
                                              {"HOME", home},
                                              {"XDG_CONFIG_HOME", home + "/.config"},
                                              {"XDG_DATA_HOME", home + "/.local/share"},
                                              {"XDG_CACHE_HOME", home + "/.cache"},
                                              {"XDG_STATE_HOME", home + "/.local/state"},
                                              {"GSETTINGS_BACKEND", "memory"}});
  const fs::path trace = m_ring->path("nautilus.txt");
  std::optional<ChildProcess> nautilus;
  const auto loaded = [&] {
    return ReadWholeFile("/proc/" + std::to_string(nautilus->pid()) + "/maps")
               .find("libzembra-nautilus.so") != std::string::npos;
  };
  // A start refused by an X server starting afresh is repeated.
  for (int attempt = 1; attempt <= 5; ++attempt) {
    nautilus.emplace(std::vector<std::string>{"nautilus", "--new-window", home}, env, fs::path{},
                     trace);
    if (WaitUntil([&] { return loaded() || nautilus->WaitFor(0ms).has_value(); }, 120s) && loaded())
      break;
  }
  ASSERT_TRUE(loaded()) << ReadWholeFile(trace);

  Remove();
  ExpectNoRegistration();
  EXPECT_FALSE(nautilus->WaitFor(2s).has_value()) << "Nautilus ended: " << ReadWholeFile(trace);
  nautilus.reset();
  Remove("purge");
}

#ifdef ZEMBRA_TEST_DESKTOP_ACTION
// The entry's "Decrypt Clipboard" action, started as the application grid starts it: the message
// another program (xclip) put on the clipboard is decrypted, and that program reads the
// plaintext back, also after Zembra has ended (the desktop's clipboard manager keeps it).
TEST_F(DebianPackage, DecryptClipboardActionDecryptsWhatAnotherProgramCopied) {
  Install();
  VirtualDisplay display;
  const Environment env = ProgramEnvironment(display, m_ring->path("runtime"),
                                             {{"ZEMBRA_REGISTRY_DIR", ""},
                                              {"GNUPGHOME", m_ring->home()},
                                              {"XDG_DATA_HOME", m_ring->path("data")},
                                              {"XDG_DATA_DIRS", "/usr/local/share:/usr/share"}});
  // The clipboard manager also keeps the X server from starting afresh between the programs.
  const std::string ready = m_ring->path("manager.out");
  ChildProcess manager({ZEMBRA_TEST_CLIPBOARD_MANAGER}, env, ready);
  ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(ready) == "ready\n"; }, 30s))
      << "the clipboard manager did not start";

  const std::string text = "from the application grid\n";
  const ProcessResult message = m_ring->gpg(
      {"--armor", "--trust-model", "always", "-r", m_ring->fingerprint("alice"), "-e"}, text);
  ASSERT_EQ(message.exitCode, 0) << message;
  WriteFile(m_ring->path("message.asc"), message.out);
  const auto paste = [&] {
    return RunProcess({"timeout", "5", "xclip", "-selection", "clipboard", "-o"}, {},
                      display.environmentEntries());
  };
  ChildProcess xclip({"sh", "-c", "exec xclip -quiet -selection clipboard -i < \"$0\"",
                      m_ring->path("message.asc")},
                     env);
  ASSERT_TRUE(WaitUntil([&] { return paste().out == message.out; }, 30s)) << paste();

  const fs::path trace = m_ring->path("trace.txt");
  ChildProcess action(
      {ZEMBRA_TEST_DESKTOP_ACTION, "org.zembra.Zembra.desktop", "decrypt-clipboard"}, env, {},
      trace);
  ASSERT_EQ(action.WaitFor(60s), 0) << ReadWholeFile(trace);
  const std::string window =
      WaitForWindow(display, "^Zembra$", kStartDeadline, [] { return false; });
  ASSERT_FALSE(window.empty()) << ReadWholeFile(trace);
  EXPECT_TRUE(WaitUntil([&] { return paste().out == text; }, 120s))
      << paste() << ReadWholeFile(trace);
  const pid_t pid = WindowPid(display, window);
  ASSERT_GT(pid, 0) << window;
  const EndProgram endProgram{pid};
  EXPECT_TRUE(TypeKeys(display, window, {"Escape"}, 60s));
  EXPECT_TRUE(WaitUntil([&] { return Ended(pid); }, 60s)) << ReadWholeFile(trace);
  EXPECT_EQ(paste().out, text) << "the plaintext left the clipboard with Zembra";
  Remove("purge");
}
#endif
