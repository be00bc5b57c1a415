// Registering and removing associations: the registry as zembra-reg exports it, the desktop
// entry, the user's mimeapps.list and the change notices.
#include <dlfcn.h>
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/core/registry.h"
#include "tests/associations/association_env.h"
#include "zembra/associations/desktop_entry.h"
#include "zembra/associations/desktop_integration.h"
#include "zembra/associations/file_associations.h"
#include "zembra/associations/mimeapps_list.h"

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\n\n";

std::string EncryptedProgIdExport() {
  const std::string program = BuildProgramPath();
  return std::string(kHeader) +
         "[HKEY_CLASSES_ROOT\\Zembra.Encrypted]\n@=\"Zembra encrypted file\"\n\n"
         "[HKEY_CLASSES_ROOT\\Zembra.Encrypted\\DefaultIcon]\n@=\"" +
         program +
         ",0\"\n\n"
         "[HKEY_CLASSES_ROOT\\Zembra.Encrypted\\shell]\n\n"
         "[HKEY_CLASSES_ROOT\\Zembra.Encrypted\\shell\\open]\n\n"
         "[HKEY_CLASSES_ROOT\\Zembra.Encrypted\\shell\\open\\command]\n@=\"\\\"" +
         program + "\\\" \\\"%1\\\"\"\n\n";
}

std::string ExtensionExport(const std::string& extension, const std::string& progId) {
  return std::string(kHeader) + "[HKEY_CLASSES_ROOT\\" + extension + "]\n@=\"" + progId +
         "\"\n\n[HKEY_CLASSES_ROOT\\" + extension + "\\OpenWithProgIDs]\n\"" + progId +
         "\"=\"\"\n\n";
}

void SetText(const char* path, const char* name, const std::string& text) {
  RegKey key;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                           key.put(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueEx(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)),
            ERROR_SUCCESS);
}

std::vector<std::string> Defaults(const AssociationEnv& env, const std::string& type) {
  std::string text;
  if (fs::exists(env.mimeAppsList())) text = ReadFile(env.mimeAppsList());
  return ListedApplications(text, kDefaultApplications, type);
}

FileAssociation& Row(int i) { return g_fileAssociations[i]; }

}  // namespace

TEST(FileAssociationTable, ThreeRowsInOrderWithZeroFlags) {
  ResetAssociationTable();
  ASSERT_EQ(kFileAssociationCount, 3);
  EXPECT_STREQ(Row(0).extension, ".gpg");
  EXPECT_STREQ(Row(1).extension, ".pgp");
  EXPECT_STREQ(Row(2).extension, ".asc");
  EXPECT_STREQ(Row(0).progId, "Zembra.Encrypted");
  EXPECT_STREQ(Row(1).progId, "Zembra.Encrypted");
  EXPECT_STREQ(Row(2).progId, "Zembra.Key");
  EXPECT_STREQ(Row(2).description, "Zembra key file");
  EXPECT_EQ(AssociationProgramPath(), BuildProgramPath());
}

TEST(FileAssociations, DefaultOnACleanRegistryWritesEveryEntryAndTheDesktopSide) {
  AssociationEnv env;
  DefaultFileAssociations();

  EXPECT_EQ(env.exportKey("HKCR\\.gpg"), ExtensionExport(".gpg", "Zembra.Encrypted"));
  EXPECT_EQ(env.exportKey("HKCR\\.pgp"), ExtensionExport(".pgp", "Zembra.Encrypted"));
  EXPECT_EQ(env.exportKey("HKCR\\.asc"), ExtensionExport(".asc", "Zembra.Key"));
  EXPECT_EQ(env.exportKey("HKCR\\Zembra.Encrypted"), EncryptedProgIdExport());
  EXPECT_THAT(env.exportKey("HKCR\\Zembra.Key"), HasSubstr("@=\"Zembra key file\""));
  EXPECT_EQ(env.notifications(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Row(i).current, 1) << Row(i).extension;

  // The desktop opens every type of the three with Zembra; text/plain (".asc") stays the
  // desktop's own.
  for (const char* type :
       {"application/pgp-encrypted", "application/pgp-keys", "application/pgp-signature"}) {
    EXPECT_THAT(Defaults(env, type), ElementsAre("zembra.desktop")) << type;
  }
  EXPECT_TRUE(Defaults(env, "text/plain").empty());
  const std::string entry = ReadFile(env.desktopEntry());
  EXPECT_EQ(DesktopEntryValue(entry, "Desktop Entry", "Exec"), BuildProgramPath() + " %f");
  EXPECT_EQ(DesktopEntryValue(entry, "Desktop Action associations", "Exec"),
            BuildProgramPath() + " --associations");
  for (int size : {16, 24, 32, 48, 64, 128}) {
    const std::string icon = UserIconPath(size);
    ASSERT_TRUE(fs::exists(icon)) << icon;
    EXPECT_EQ(ReadFile(icon).substr(1, 3), "PNG");
  }
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(GetCurrentAssociation(Row(i).extension),
              std::string(Row(i).description) + "\r\n" + BuildProgramPath());
  }
}

TEST(FileAssociations, RemovingGpgWhilePgpStaysKeepsTheSharedProgIdAndDefaults) {
  AssociationEnv env;
  RegisterFileAssociation(Row(0));
  RegisterFileAssociation(Row(1));
  ASSERT_EQ(env.notifications(), 2);

  UnregisterFileAssociation(Row(0));
  EXPECT_EQ(Row(0).current, 0);
  EXPECT_EQ(env.exportKey("HKCR\\.gpg"), "");
  EXPECT_EQ(env.exportKey("HKCR\\Zembra.Encrypted"), EncryptedProgIdExport());
  EXPECT_EQ(env.notifications(), 2);
  // ".pgp" shares the MIME types: the desktop still opens them with Zembra.
  EXPECT_THAT(Defaults(env, "application/pgp-encrypted"), ElementsAre("zembra.desktop"));

  UnregisterFileAssociation(Row(1));
  EXPECT_EQ(env.exportKey("HKCR\\.pgp"), "");
  EXPECT_EQ(env.exportKey("HKCR\\Zembra.Encrypted"), "");
  EXPECT_EQ(env.notifications(), 3);
  EXPECT_TRUE(Defaults(env, "application/pgp-encrypted").empty());
  EXPECT_FALSE(fs::exists(env.desktopEntry()));
  EXPECT_FALSE(fs::exists(UserIconPath(48)));
}

TEST(FileAssociations, RemovalHandsTheExtensionToAnotherListedProgId) {
  AssociationEnv env;
  SetText(".gpg\\OpenWithProgIDs", "Other.Viewer", "");
  RegisterFileAssociation(Row(0));
  UnregisterFileAssociation(Row(0));
  EXPECT_EQ(env.exportKey("HKCR\\.gpg"), ExtensionExport(".gpg", "Other.Viewer"));
  EXPECT_EQ(env.exportKey("HKCR\\Zembra.Encrypted"), "");
}

TEST(FileAssociations, AnEmptiedOpenWithProgIdsTakesTheWholeExtensionKey) {
  AssociationEnv env;
  SetText(".gpg\\ShellEx\\{other}", nullptr, "put there by other software");
  RegisterFileAssociation(Row(0));
  UnregisterFileAssociation(Row(0));
  EXPECT_EQ(env.exportKey("HKCR\\.gpg"), "");
}

TEST(FileAssociations, RemovalWithoutOpenWithProgIdsLeavesTheExtensionKey) {
  AssociationEnv env;
  RegisterFileAssociation(Row(0));
  RegKey ext;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, ".gpg", 0, KEY_ALL_ACCESS, ext.put()), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteTree(ext.get(), "OpenWithProgIDs"), ERROR_SUCCESS);
  ext.reset();

  UnregisterFileAssociation(Row(0));
  EXPECT_EQ(env.exportKey("HKCR\\.gpg"),
            std::string(kHeader) + "[HKEY_CLASSES_ROOT\\.gpg]\n@=\"Zembra.Encrypted\"\n\n");
  EXPECT_EQ(env.exportKey("HKCR\\Zembra.Encrypted"), "");
}

TEST(FileAssociations, SetupBeforeTheDialogRanChangesNothing) {
  AssociationEnv env;
  RegisterFileAssociation(Row(2));
  ResetAssociationTable();  // a new process: the dialog has not run
  const std::string before = env.exportKey("HKCR\\.asc");
  const std::string mimeApps = ReadFile(env.mimeAppsList());

  SetupFileAssociations();
  EXPECT_EQ(env.exportKey("HKCR\\.asc"), before);
  EXPECT_EQ(env.exportKey("HKCR\\.gpg"), "");
  EXPECT_EQ(ReadFile(env.mimeAppsList()), mimeApps);
  EXPECT_EQ(env.notifications(), 1);
}

TEST(FileAssociations, SetupAppliesOnlyRowsWhoseFlagsDiffer) {
  AssociationEnv env;
  RegisterFileAssociation(Row(0));
  Row(0).wanted = 0;  // remove
  Row(2).wanted = 1;  // add
  SetupFileAssociations();
  EXPECT_EQ(env.exportKey("HKCR\\.gpg"), "");
  EXPECT_EQ(env.exportKey("HKCR\\.pgp"), "");
  EXPECT_EQ(env.exportKey("HKCR\\.asc"), ExtensionExport(".asc", "Zembra.Key"));
  EXPECT_EQ(Row(0).current, 0);
  EXPECT_EQ(Row(2).current, 1);
}

TEST(FileAssociations, ReadOnlyClassesRootStopsRegistrationSilently) {
  AssociationEnv env;
  SetText("Unrelated", nullptr, "makes the hive");
  const std::string hive = RegistryHiveFile(HKEY_CLASSES_ROOT);
  ASSERT_EQ(::chmod(hive.c_str(), 0444), 0);

  StderrCapture err(env.folder().path("stderr"));
  DefaultFileAssociations();
  EXPECT_EQ(err.text(), "");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Row(i).current, 0);
  EXPECT_EQ(env.exportKey("HKCR\\.gpg"), "");
  EXPECT_FALSE(fs::exists(env.mimeAppsList()));
  EXPECT_FALSE(fs::exists(env.desktopEntry()));
  EXPECT_EQ(env.notifications(), 0);
  ::chmod(hive.c_str(), 0644);
}

TEST(FileAssociations, OtherProgramsDefaultsSurviveAndComeBackAfterRemoval) {
  AssociationEnv env;
  env.installApplication("viewer.desktop", "Viewer", "viewer %f", "application/pgp-encrypted;");
  const std::string original =
      "# mine\n[Default Applications]\napplication/pgp-encrypted=viewer.desktop;\n"
      "image/png=gimp.desktop;\n\n[Added Associations]\ntext/plain=vim.desktop;\n";
  WriteFile(env.mimeAppsList(), original);
  ASSERT_EQ(DesktopDefaultApplication("application/pgp-encrypted"), "viewer.desktop");

  RegisterFileAssociation(Row(0));
  EXPECT_EQ(DesktopDefaultApplication("application/pgp-encrypted"), "zembra.desktop");
  EXPECT_THAT(Defaults(env, "application/pgp-encrypted"),
              ElementsAre("zembra.desktop", "viewer.desktop"));
  UnregisterFileAssociation(Row(0));
  EXPECT_EQ(ReadFile(env.mimeAppsList()), original);
  EXPECT_EQ(DesktopDefaultApplication("application/pgp-encrypted"), "viewer.desktop");
}

TEST(FileAssociations, AnotherProgramAsTheDesktopsDefaultShowsItsNameAndCommand) {
  AssociationEnv env;
  RegisterFileAssociation(Row(0));
  env.installApplication("viewer.desktop", "PGP Viewer", "/usr/bin/pgp-viewer --open %f",
                         "application/pgp-encrypted;");
  // The user picks the viewer in the file manager afterwards.
  WriteFile(env.mimeAppsList(),
            "[Default Applications]\napplication/pgp-encrypted=viewer.desktop;\n");
  EXPECT_EQ(GetCurrentAssociation(".gpg"), "PGP Viewer\r\n/usr/bin/pgp-viewer --open %f");
  // With no default left for a type, the desktop does not open it with Zembra either.
  WriteFile(env.mimeAppsList(), "");
  fs::remove(env.desktopEntry());
  EXPECT_EQ(GetCurrentAssociation(".gpg"), std::nullopt);
}

TEST(FileAssociations, MissingMimeAppsListIsCreated) {
  AssociationEnv env;
  ASSERT_FALSE(fs::exists(env.mimeAppsList()));
  RegisterFileAssociation(Row(2));
  EXPECT_THAT(Defaults(env, "application/pgp-keys"), ElementsAre("zembra.desktop"));
}

TEST(FileAssociations, UnwritableMimeAppsListLeavesTheRegistryAndSaysSo) {
  AssociationEnv env;
  // /proc/self takes no new files, not even from root.
  ScopedEnv config("XDG_CONFIG_HOME", "/proc/self");
  StderrCapture err(env.folder().path("stderr"));
  RegisterFileAssociation(Row(0));
  EXPECT_EQ(Row(0).current, 0);
  EXPECT_EQ(env.exportKey("HKCR\\.gpg"), "");
  EXPECT_EQ(env.exportKey("HKCR\\Zembra.Encrypted"), "");
  EXPECT_FALSE(fs::exists(env.desktopEntry()));
  EXPECT_EQ(env.notifications(), 0);
  EXPECT_THAT(err.text(), HasSubstr("Zembra: cannot change \"/proc/self/mimeapps.list\""));
  EXPECT_THAT(err.text(), HasSubstr("the file associations stay as they were"));
}

TEST(FileAssociations, UnreadableMimeAppsListIsNeitherOverwrittenNorRemovedFrom) {
  AssociationEnv env;
  RegisterFileAssociation(Row(0));
  const std::string before = env.exportKey("HKCR\\.gpg");
  fs::remove(env.mimeAppsList());
  fs::create_directories(env.mimeAppsList());  // something in the way that cannot be read

  StderrCapture err(env.folder().path("stderr"));
  UnregisterFileAssociation(Row(0));
  EXPECT_EQ(Row(0).current, 1);
  EXPECT_EQ(env.exportKey("HKCR\\.gpg"), before);
  EXPECT_TRUE(fs::is_directory(env.mimeAppsList()));
  EXPECT_THAT(err.text(), HasSubstr("cannot change"));
}

TEST(FileAssociations, ProgramPathWithBlanksQuotesAndPercentKeepsItsExecLineParsable) {
  AssociationEnv env;
  const std::string path = "/opt/my \"apps\" 100%/Zembra";
  UpdateDesktopEntry(path, {"application/pgp-encrypted"});
  const std::string entry = ReadFile(env.desktopEntry());
  const std::optional<std::string> exec = DesktopEntryValue(entry, "Desktop Entry", "Exec");
  ASSERT_TRUE(exec);
  EXPECT_THAT(SplitExecLine(UnescapeDesktopString(*exec)), ElementsAre(path, "%f"));
}

TEST(FileAssociations, ClassesRootDefaultsAndCommandsAsOtherSoftwareWritesThem) {
  AssociationEnv env;
  EXPECT_EQ(ReadClassesRootDefault(".nothing"), std::nullopt);
  SetText("Bare\\Sub", nullptr, "x");
  EXPECT_EQ(ReadClassesRootDefault("Bare"), "");  // a key without a default value
  // An unquoted command with blanks in its path and an option: the path keeps its blanks.
  // (The desktop opens the type with Zembra, through ".gpg", so the registry has the word.)
  RegisterFileAssociation(Row(0));
  SetText(".pgp", nullptr, "Other.Viewer");
  SetText("Other.Viewer", nullptr, "Other viewer file");
  SetText("Other.Viewer\\shell\\open\\command", nullptr, "/opt/other viewer/bin/view /open %1");
  EXPECT_EQ(GetCurrentAssociation(".pgp"), "Other viewer file\r\n/opt/other viewer/bin/view");
  // No description: no association.
  SetText(".pgp", nullptr, "Missing.ProgId");
  EXPECT_EQ(GetCurrentAssociation(".pgp"), std::nullopt);
}

TEST(FileAssociations, AscCoversEveryTypeItsContentCanHaveButPlainText) {
  AssociationEnv env;
  WriteFile(env.mimeAppsList(), "[Default Applications]\ntext/plain=vim.desktop;\n");
  RegisterFileAssociation(Row(2));
  for (const char* type :
       {"application/pgp-keys", "application/pgp-signature", "application/pgp-encrypted"}) {
    EXPECT_THAT(Defaults(env, type), ElementsAre("zembra.desktop")) << type;
  }
  EXPECT_THAT(Defaults(env, "text/plain"), ElementsAre("vim.desktop"));
}

TEST(FileAssociationExports, HaveCLinkage) {
  EXPECT_NE(dlsym(RTLD_DEFAULT, "DefaultFileAssociations"), nullptr);
  EXPECT_NE(dlsym(RTLD_DEFAULT, "SetupFileAssociations"), nullptr);
}
