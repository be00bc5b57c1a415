// cmake --install of this build into folders of the test's own: where every file lands, the
// links, the Nautilus module, the registry keys the installation writes, and that an
// installation staged under DESTDIR registers nothing.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <vector>

#include "tests/shellext/shell_test_support.h"
#include "tests/support/run_process.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kClass = "{3B8F2A61-7C4D-4E19-A5B2-91D06E3F7C48}";
const char* const kPrograms[] = {"Zembra", "ZembraShellExtApp", "zembra-shell-host", "zembra-reg"};

// Nautilus's extension folder relative to its own prefix ("lib/<triplet>/nautilus/extensions-4").
fs::path NautilusFolderInPrefix() {
  return fs::path(ZEMBRA_NAUTILUS_EXTENSION_DIR).lexically_relative(ZEMBRA_NAUTILUS_PREFIX);
}

// Each module this build has: where its file manager loads extensions, that file manager's
// prefix, and the module's file name.
struct ModuleFolder {
  const char* folder;
  const char* prefix;
  const char* file;
};
std::vector<ModuleFolder> ModuleFolders() {
  std::vector<ModuleFolder> folders{
      {ZEMBRA_NAUTILUS_EXTENSION_DIR, ZEMBRA_NAUTILUS_PREFIX, "libzembra-nautilus.so"}};
#ifdef ZEMBRA_THUNAR_EXTENSION_DIR
  folders.push_back({ZEMBRA_THUNAR_EXTENSION_DIR, ZEMBRA_THUNAR_PREFIX, "libzembra-thunar.so"});
#endif
#ifdef ZEMBRA_NEMO_EXTENSION_DIR
  folders.push_back({ZEMBRA_NEMO_EXTENSION_DIR, ZEMBRA_NEMO_PREFIX, "libzembra-nemo.so"});
#endif
#ifdef ZEMBRA_CAJA_EXTENSION_DIR
  folders.push_back({ZEMBRA_CAJA_EXTENSION_DIR, ZEMBRA_CAJA_PREFIX, "libzembra-caja.so"});
#endif
#ifdef ZEMBRA_DOLPHIN_PLUGIN_DIR
  folders.push_back({ZEMBRA_DOLPHIN_PLUGIN_DIR, "/usr", "zembra_file_item_action.so"});
#endif
  return folders;
}

class Install : public ::testing::Test {
 protected:
  // Runs cmake --install with the environment entries; its output is checked by the caller.
  // The component is named so that the build's own install_manifest.txt is left alone.
  ProcessResult RunInstall(const std::string& prefix, const std::vector<std::string>& env) {
    ProcessResult r = RunProcess({ZEMBRA_CMAKE_COMMAND, "--install", ZEMBRA_BUILD_DIR, "--prefix",
                                  prefix, "--component", "Unspecified"},
                                 {}, env);
    std::error_code ignored;
    fs::remove(fs::path(ZEMBRA_BUILD_DIR) / "install_manifest_Unspecified.txt", ignored);
    return r;
  }

  // Every file the installation reported writing lies under the folder.
  static void ExpectWrittenOnlyUnder(const ProcessResult& r, const std::string& folder) {
    std::istringstream lines(r.out);
    int written = 0;
    for (std::string line; std::getline(lines, line);) {
      for (const char* verb : {"-- Installing: ", "-- Up-to-date: ", "-- Linking: "}) {
        if (line.rfind(verb, 0) != 0) continue;
        ++written;
        EXPECT_EQ(line.find(folder + "/"), std::string(verb).size()) << line;
      }
    }
    EXPECT_GE(written, 11) << r;
  }

  static void ExpectProgramFolder(const fs::path& folder) {
    for (const char* file : {"libZembra.so", "ZembraShellExt.so", "Zembra", "ZembraShellExtApp",
                             "zembra-shell-host", "zembra-reg"})
      EXPECT_TRUE(fs::is_regular_file(folder / file)) << folder / file;
    for (const char* program : kPrograms)
      EXPECT_EQ(access((folder / program).c_str(), X_OK), 0) << program;
    struct stat keys {};
    ASSERT_EQ(stat((folder / "keys").c_str(), &keys), 0);
    EXPECT_TRUE(S_ISDIR(keys.st_mode));
    EXPECT_EQ(keys.st_mode & 07777, 0700u);  // the portable key ring is the owner's alone
  }

  static void ExpectLinks(const fs::path& bin) {
    for (const char* program : kPrograms) {
      std::error_code error;
      EXPECT_EQ(fs::read_symlink(bin / program, error), fs::path("../lib/zembra") / program)
          << program << ": " << error.message();
    }
  }

  TempFolder m_folder;
};

}  // namespace

TEST_F(Install, IntoAPrefixPutsEveryFileInPlaceAndRegistersTheExtension) {
  const std::string prefix = m_folder.path("prefix");
  const std::string registry = m_folder.path("registry");
  const std::string env = "ZEMBRA_REGISTRY_DIR=" + registry;
  const ProcessResult r = RunInstall(prefix, {env});
  ASSERT_EQ(r.exitCode, 0) << r;
  ExpectWrittenOnlyUnder(r, prefix);
  EXPECT_NE(r.out.find("Registered the shell extension; installation type Full"), std::string::npos)
      << r;

  const fs::path programs = fs::path(prefix) / "lib/zembra";
  ExpectProgramFolder(programs);
  ExpectLinks(fs::path(prefix) / "bin");
  EXPECT_TRUE(
      fs::is_regular_file(fs::path(prefix) / NautilusFolderInPrefix() / "libzembra-nautilus.so"));

  // What the installation registered, as a person reads it back.
  const std::string reg = prefix + "/bin/zembra-reg";
  const std::string server = (programs / "ZembraShellExt.so").string();
  ProcessResult exported = RunProcess(
      {reg, "export", std::string("HKCR\\CLSID\\") + kClass + "\\InprocServer32"}, {}, {env});
  EXPECT_NE(exported.out.find("@=\"" + server + "\"\n\"ThreadingModel\"=\"Apartment\"\n"),
            std::string::npos)
      << exported;
  exported =
      RunProcess({reg, "export", "HKCR\\*\\ShellEx\\ContextMenuHandlers\\ZembraShlExt"}, {}, {env});
  EXPECT_NE(exported.out.find(std::string("@=\"") + kClass + "\"\n"), std::string::npos)
      << exported;
  exported = RunProcess({reg, "export", "HKLM"}, {}, {env});
  EXPECT_NE(exported.out.find(std::string("\"") + kClass + "\"=\"ZembraShlExt extension\"\n"),
            std::string::npos)
      << exported;
  EXPECT_NE(
      exported.out.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvel Ltd\\Zembra]\n\"Type\"=\"Full\"\n"),
      std::string::npos)
      << exported;

  // The installed host, started through its link, finds the server beside its real file.
  ProcessResult menu = RunProcess({prefix + "/bin/zembra-shell-host", "/d/x.gpg"}, {}, {env});
  EXPECT_EQ(menu.out,
            "Zembra...\tEncrypt/decrypt file(s) with Zembra\n"
            "Decrypt with Zembra\tDecrypt file(s) with Zembra\n"
            "-\n")
      << menu;

  // Removal through the installed host takes the extension's keys out again.
  ASSERT_EQ(RunProcess({prefix + "/bin/zembra-shell-host", "--uninstall"}, {}, {env}).exitCode, 0);
  exported = RunProcess({reg, "export", "HKCR"}, {}, {env});
  EXPECT_EQ(exported.out.find(kClass), std::string::npos) << exported;
  EXPECT_NE(exported.out.find("[HKEY_CLASSES_ROOT\\*\\ShellEx\\ContextMenuHandlers]\n"),
            std::string::npos)
      << exported;
  exported = RunProcess({reg, "export", "HKLM"}, {}, {env});
  EXPECT_EQ(exported.out.find(kClass), std::string::npos) << exported;
}

// A staged installation (a package being built) is not where the files will run from, so it
// registers nothing: that is left to the installed system.
TEST_F(Install, StagedUnderDestdirWritesOnlyThereAndRegistersNothing) {
  const std::string stage = m_folder.path("stage");
  const std::string registry = m_folder.path("registry");
  const ProcessResult r =
      RunInstall("/usr/local", {"DESTDIR=" + stage, "ZEMBRA_REGISTRY_DIR=" + registry});
  ASSERT_EQ(r.exitCode, 0) << r;
  ExpectWrittenOnlyUnder(r, stage);
  EXPECT_EQ(r.out.find("Registered"), std::string::npos) << r;

  ExpectProgramFolder(stage + "/usr/local/lib/zembra");
  ExpectLinks(stage + "/usr/local/bin");
  // The system's prefix: the module goes where this system's Nautilus loads extensions.
  EXPECT_TRUE(fs::is_regular_file(stage + ZEMBRA_NAUTILUS_EXTENSION_DIR "/libzembra-nautilus.so"));
  EXPECT_FALSE(fs::exists(registry));
}

namespace {

class Faults : public Install {
 protected:
  static std::string AgentConf(const fs::path& programs) {
    return ReadFile((programs / "keys/gpg-agent.conf").string());
  }
};

}  // namespace

// A program started from the desktop has no terminal: the installed key folder's agent asks for
// passphrases in a window, as the build's does.
TEST_F(Faults, TheInstalledKeyFolderNamesTheGraphicalPinentry) {
  const std::string prefix = m_folder.path("prefix");
  const ProcessResult r = RunInstall(prefix, {"ZEMBRA_REGISTRY_DIR=" + m_folder.path("registry")});
  ASSERT_EQ(r.exitCode, 0) << r;
  const fs::path programs = fs::path(prefix) / "lib/zembra";
  const std::string built = ReadFile(std::string(ZEMBRA_TEST_BIN_DIR) + "/keys/gpg-agent.conf");
  EXPECT_NE(built.find("pinentry-program "), std::string::npos) << built;
  EXPECT_EQ(AgentConf(programs), built);
  struct stat conf {};
  ASSERT_EQ(stat((programs / "keys/gpg-agent.conf").c_str(), &conf), 0);
  EXPECT_EQ(conf.st_mode & 07777, 0600u);
}

TEST_F(Install, AnAgentConfigurationTheUserPutInTheKeyFolderIsKept) {
  const std::string prefix = m_folder.path("prefix");
  const fs::path keys = fs::path(prefix) / "lib/zembra/keys";
  fs::create_directories(keys);
  WriteFile((keys / "gpg-agent.conf").string(), "pinentry-program /opt/mine/pinentry\n");
  const ProcessResult r = RunInstall(prefix, {"ZEMBRA_REGISTRY_DIR=" + m_folder.path("registry")});
  ASSERT_EQ(r.exitCode, 0) << r;
  EXPECT_EQ(ReadFile((keys / "gpg-agent.conf").string()), "pinentry-program /opt/mine/pinentry\n");
  EXPECT_NE(r.out.find("-- Kept: " + (keys / "gpg-agent.conf").string()), std::string::npos) << r;
}

// Every file manager's module goes where that file manager loads extensions: inside a private
// prefix at the same place relative to the file manager's prefix, and into the system's own
// folder when a package is staged for /usr.
TEST_F(Install, EachFileManagersModuleLandsWhereItLoadsExtensions) {
  const std::string prefix = m_folder.path("prefix");
  ProcessResult r = RunInstall(prefix, {"ZEMBRA_REGISTRY_DIR=" + m_folder.path("registry")});
  ASSERT_EQ(r.exitCode, 0) << r;
  const std::string stage = m_folder.path("stage");
  r = RunInstall("/usr", {"DESTDIR=" + stage, "ZEMBRA_REGISTRY_DIR=" + m_folder.path("registry")});
  ASSERT_EQ(r.exitCode, 0) << r;
  for (const ModuleFolder& module : ModuleFolders()) {
    const fs::path inPrefix = fs::path(module.folder).lexically_relative(module.prefix);
    EXPECT_TRUE(fs::is_regular_file(fs::path(prefix) / inPrefix / module.file))
        << inPrefix / module.file;
    EXPECT_TRUE(fs::is_regular_file(fs::path(stage + module.folder) / module.file))
        << module.folder << "/" << module.file;
  }
}
