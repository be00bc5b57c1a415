#include "tests/shellext/file_manager_cases.h"

#include <filesystem>

#include "platform/core/registry.h"
#include "shellext/com/com_types.h"
#include "shellext/shell_ext_guids.h"
#include "tests/support/temp_folder.h"

namespace {

// Names the file as the handler's server in the registry, as a registration would.
void RegisterServerFile(const std::string& file) {
  const std::string key = "CLSID\\" + GuidToRegistryString(CLSID_ZembraShlExt) + "\\InprocServer32";
  RegKey created;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                           created.put(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(
      RegSetValueEx(created.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(file.c_str()),
                    static_cast<DWORD>(file.size() + 1)),
      ERROR_SUCCESS);
}

}  // namespace

RegisteredProbe::RegisteredProbe() {
  ShellExtModule server(m_probe.module());
  EXPECT_EQ(server.Install(true), S_OK);
}

std::optional<std::vector<std::string>> RegisteredProbe::WaitForNextArgv() {
  if (!m_probe.WaitForRuns(++m_runs)) return std::nullopt;
  return m_probe.WaitForArgv();
}

const std::vector<SelectionCase>& MenuSelections() {
  static const std::vector<SelectionCase> cases = {
      {{"/d/a.asc"}, "Import Key", "Import key(s) into Zembra"},
      {{"/d/a.asc", "/d/B.ASC"}, "Import Keys", "Import key(s) into Zembra"},
      {{"/d/folder", "/d/a.asc"}, "Import Keys", "Import key(s) into Zembra"},
      {{"/d/x.gpg", "/d/y.pgp"}, "Decrypt with Zembra", "Decrypt file(s) with Zembra"},
      {{"/d/x.signed.gpg"}, "Decrypt with Zembra", "Decrypt file(s) with Zembra"},
      {{"/d/x.gpg", "/d/y.txt"}, "Encrypt with Zembra", "Encrypt file(s) with Zembra"},
      {{"/d/x.gpg.bak"}, "Encrypt with Zembra", "Encrypt file(s) with Zembra"},
      {{"/d/my.dir/readme"}, "Encrypt with Zembra", "Encrypt file(s) with Zembra"},
  };
  return cases;
}

std::vector<std::string> HostilePaths() {
  return {"/tmp/two words.gpg",
          "/tmp/say \"hi\" and 'bye'.gpg",
          "/tmp/ends in backslash\\",
          "/tmp/new\nline.gpg",
          "/tmp/100% %MODULE% %s.gpg",
          "/tmp/-rf",
          "/tmp/--help.gpg",
          "/tmp/\xff\xfe not utf-8.gpg",
          "/tmp/" + std::string(4000, 'x') + ".gpg"};
}

void ExpectSelectionsGiveTheHandlersItems(FileManagerTestHost& host) {
  for (const SelectionCase& c : MenuSelections()) {
    const std::vector<ItemShown> items = host.ItemsFor(c.paths);
    ASSERT_EQ(items.size(), 2u) << c.paths[0];
    EXPECT_EQ(items[0].label, "Zembra...");
    EXPECT_EQ(items[0].tip, "Encrypt/decrypt file(s) with Zembra");
    EXPECT_EQ(items[1].label, c.action) << c.paths[0];
    EXPECT_EQ(items[1].tip, c.tip) << c.paths[0];
  }
}

void ExpectHostilePathsReachTheLauncher(FileManagerTestHost& host, RegisteredProbe& server) {
  const std::vector<std::string> paths = HostilePaths();
  const std::vector<ItemShown> items = host.ItemsFor(paths);
  ASSERT_EQ(items.size(), 2u);
  // Every path with a dot ends in ".gpg".
  EXPECT_EQ(items[1].label, "Decrypt with Zembra");
  host.Activate(1);
  const auto argv = server.WaitForNextArgv();
  ASSERT_TRUE(argv) << "the launcher did not run";
  std::vector<std::string> expected{"1"};
  expected.insert(expected.end(), paths.begin(), paths.end());
  EXPECT_EQ(*argv, expected);
}

void ExpectRemoteFilesGetNoItems(FileManagerTestHost& host) {
  EXPECT_TRUE(host.ItemsFor({"/d/x.gpg", "sftp://host/y.gpg"}).empty());
  EXPECT_TRUE(host.ItemsFor({"sftp://host/y.gpg"}).empty());
  EXPECT_TRUE(host.ItemsFor({}).empty());
}

void ExpectNoItemsWithoutAServerThatLoads(FileManagerTestHost& host,
                                          const std::string& installedServer) {
  if (std::filesystem::exists(installedServer))
    GTEST_SKIP() << "an installed server lies at " << installedServer;
  ScopedRegistry registry;
  EXPECT_TRUE(host.ItemsFor({"/d/x.gpg"}).empty()) << "no server registered";

  TempFolder folder;
  const std::string notAServer = folder.path("ZembraShellExt.so");
  WriteFile(notAServer, "not a shared object\n");
  RegisterServerFile(notAServer);
  EXPECT_TRUE(host.ItemsFor({"/d/x.gpg"}).empty()) << "a file that is not a module";
  RegisterServerFile(BuiltFile("libzembra-shell-missing.so"));
  EXPECT_TRUE(host.ItemsFor({"/d/x.gpg"}).empty()) << "a file that is not there";

  // The same module, asked again once the server is there, shows the items.
  ProbeFolder probe;
  RegisterServerFile(probe.module());
  const std::vector<ItemShown> items = host.ItemsFor({"/d/x.gpg"});
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[1].label, "Decrypt with Zembra");
}
