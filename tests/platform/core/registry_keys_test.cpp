// Keys: creating and opening, deleting (with and without subkeys), handles to deleted keys,
// the predefined roots, the seeded machine hive and where the hives live.
#include <gmock/gmock.h>
#include <sys/stat.h>

#include <cstdlib>

#include "tests/platform/core/registry_test_support.h"

using ::testing::ElementsAre;

class RegistryKeys : public RegistryTest {};

TEST_F(RegistryKeys, CreateReportsWhetherTheKeyIsNew) {
  RegKey key;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\A\\B", 0, nullptr, 0, KEY_ALL_ACCESS,
                           nullptr, key.put(), &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "software\\a\\b", 0, nullptr, 0, KEY_ALL_ACCESS,
                           nullptr, key.put(), &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

  // Relative to an open key.
  RegKey child;
  ASSERT_EQ(RegCreateKeyEx(key.get(), "C", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, child.put(),
                           &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  RegKey opened;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\A\\B\\C", 0, KEY_READ, opened.put()),
            ERROR_SUCCESS);
}

TEST_F(RegistryKeys, OpeningAMissingKeyIsFileNotFound) {
  HKEY key = reinterpret_cast<HKEY>(std::uintptr_t{1});
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Nowhere", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
}

TEST_F(RegistryKeys, PredefinedKeyWithEmptySubkeyOpensTheRoot) {
  for (const char* sub : {static_cast<const char*>(nullptr), ""}) {
    RegKey root;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, sub, 0, KEY_READ, root.put()), ERROR_SUCCESS);
    EXPECT_THAT(SubkeyNames(root.get()), ElementsAre("Software"));
  }
  // The predefined keys themselves work as handles and closing them does nothing.
  EXPECT_EQ(SetText(HKEY_CURRENT_USER, "AtRoot", "r"), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
  EXPECT_EQ(QueryValue(HKEY_CURRENT_USER, "AtRoot").bytes, std::string("r\0", 2));
}

TEST_F(RegistryKeys, NewMachineHiveHoldsTheKeysEveryWindowsHas) {
  for (const char* path :
       {"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
        "Software\\Classes", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion"}) {
    RegKey key;
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.put()), ERROR_SUCCESS)
        << path;
  }
}

TEST_F(RegistryKeys, DeleteKeyRefusesAKeyWithSubkeysAndDeleteTreeRemovesAll) {
  RegKey parent = CreateKey("Software\\Tree");
  RegKey child = CreateKey("Software\\Tree\\Child\\Grandchild");
  ASSERT_EQ(SetText(child.get(), "V", "v"), ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "Software\\Tree"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKey(parent.get(), "Child\\Grandchild"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKey(parent.get(), "Child\\Grandchild"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKey(parent.get(), "CHILD"), ERROR_SUCCESS);
  EXPECT_THAT(SubkeyNames(parent.get()), ElementsAre());

  CreateKey("Software\\Tree\\X\\Y\\Z");
  EXPECT_EQ(RegDeleteTree(HKEY_CURRENT_USER, "Software\\Tree"), ERROR_SUCCESS);
  RegKey gone;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Tree", 0, KEY_READ, gone.put()),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteTree(HKEY_CURRENT_USER, "Software\\Tree"), ERROR_FILE_NOT_FOUND);

  // Re-creating the path makes a new, empty key: nothing of the old tree comes back.
  RegKey again = CreateKey("Software\\Tree\\X\\Y\\Z");
  EXPECT_THAT(ValueNames(again.get()), ElementsAre());
}

TEST_F(RegistryKeys, DeleteTreeWithoutSubkeyEmptiesTheKeyAndKeepsIt) {
  RegKey key = CreateKey("Software\\Emptied");
  ASSERT_EQ(SetText(key.get(), "V", "v"), ERROR_SUCCESS);
  CreateKey("Software\\Emptied\\Sub");
  EXPECT_EQ(RegDeleteTree(key.get(), nullptr), ERROR_SUCCESS);
  EXPECT_THAT(ValueNames(key.get()), ElementsAre());
  EXPECT_THAT(SubkeyNames(key.get()), ElementsAre());
  EXPECT_EQ(SetText(key.get(), "After", "a"), ERROR_SUCCESS);
}

TEST_F(RegistryKeys, KeyDeletedWhileOpenGivesKeyDeleted) {
  RegKey key = CreateKey("Software\\Doomed");
  ASSERT_EQ(SetText(key.get(), "V", "v"), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteTree(HKEY_CURRENT_USER, "Software\\Doomed"), ERROR_SUCCESS);

  EXPECT_EQ(QueryValue(key.get(), "V").status, ERROR_KEY_DELETED);
  EXPECT_EQ(SetText(key.get(), "V", "again"), ERROR_KEY_DELETED);
  RegKey child;
  EXPECT_EQ(RegCreateKeyEx(key.get(), "Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, child.put(),
                           nullptr),
            ERROR_KEY_DELETED);
  // A new key at the same path is not the deleted one.
  RegKey fresh = CreateKey("Software\\Doomed");
  EXPECT_EQ(QueryValue(key.get(), "V").status, ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(key.release()), ERROR_SUCCESS);
}

TEST_F(RegistryKeys, ClosingTwiceIsAnInvalidHandle) {
  RegKey key = CreateKey("Software\\Twice");
  HKEY raw = key.release();
  EXPECT_EQ(RegCloseKey(raw), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(raw), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryKeys, EachHiveIsItsOwnFileInTheRegistryFolder) {
  RegKey user = CreateKey("Software\\Only\\User");
  ASSERT_EQ(SetText(user.get(), "V", "user"), ERROR_SUCCESS);
  RegKey classes = CreateKey(".gpg", HKEY_CLASSES_ROOT);
  ASSERT_EQ(SetText(classes.get(), nullptr, "Zembra.Encrypted"), ERROR_SUCCESS);

  RegKey other;
  EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Only", 0, KEY_READ, other.put()),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "Software\\Only", 0, KEY_READ, other.put()),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, ".gpg", 0, KEY_READ, other.put()),
            ERROR_FILE_NOT_FOUND);
  struct stat st {};
  EXPECT_EQ(stat(hiveFile("hkcu.db").c_str(), &st), 0);
  EXPECT_EQ(stat(hiveFile("hkcr.db").c_str(), &st), 0);
  EXPECT_EQ(RegistryHiveFile(HKEY_CLASSES_ROOT), hiveFile("hkcr.db"));
}

TEST_F(RegistryKeys, ChangingTheRegistryFolderSwitchesHives) {
  RegKey first = CreateKey("Software\\Moved");
  ASSERT_EQ(SetText(first.get(), "V", "first"), ERROR_SUCCESS);

  std::string second = folder() + "/second";
  setenv("ZEMBRA_REGISTRY_DIR", second.c_str(), 1);
  RegKey missing;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Moved", 0, KEY_READ, missing.put()),
            ERROR_FILE_NOT_FOUND);
  // A handle opened before the switch stays with its own hive.
  EXPECT_EQ(QueryValue(first.get(), "V").bytes, std::string("first\0", 6));

  setenv("ZEMBRA_REGISTRY_DIR", folder().c_str(), 1);
  RegKey back;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Moved", 0, KEY_READ, back.put()),
            ERROR_SUCCESS);
}

TEST_F(RegistryKeys, WithoutTheVariableUserHivesFollowXdgConfigHome) {
  unsetenv("ZEMBRA_REGISTRY_DIR");
  std::string config = folder() + "/config";
  const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
  std::string savedXdg = oldXdg ? oldXdg : "";
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  EXPECT_EQ(RegistryHiveFile(HKEY_CURRENT_USER), config + "/zembra/hkcu.db");
  EXPECT_EQ(RegistryHiveFile(HKEY_CLASSES_ROOT), config + "/zembra/hkcr.db");
  EXPECT_EQ(RegistryHiveFile(HKEY_LOCAL_MACHINE), "/etc/zembra/hklm.db");
  { RegKey key = CreateKey("Software\\Xdg"); }
  struct stat st {};
  EXPECT_EQ(stat((config + "/zembra/hkcu.db").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  if (oldXdg)
    setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
}
