// The saved "Use default keys" flag in HKEY_CURRENT_USER "Software\Orvel\Zembra".
#include <gtest/gtest.h>

#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"
#include "zembra/keys/settings.h"

namespace {

class UseDefaultKeysSetting : public ::testing::Test {
 protected:
  TempFolder m_folder;
  ScopedEnv m_registry{"ZEMBRA_REGISTRY_DIR", m_folder.path()};
};

}  // namespace

TEST_F(UseDefaultKeysSetting, MissingKeyFailsAndLeavesZero) {
  DWORD value = 77;
  EXPECT_NE(LoadUseDefaultKeys(nullptr, value), ERROR_SUCCESS);
  EXPECT_EQ(value, 0u);
}

TEST_F(UseDefaultKeysSetting, SavedValueIsReadBack) {
  SaveUseDefaultKeys(nullptr, 1);
  DWORD value = 0;
  ASSERT_EQ(LoadUseDefaultKeys(nullptr, value), ERROR_SUCCESS);
  EXPECT_EQ(value, 1u);

  SaveUseDefaultKeys(nullptr, 0);
  value = 5;
  ASSERT_EQ(LoadUseDefaultKeys(nullptr, value), ERROR_SUCCESS);
  EXPECT_EQ(value, 0u);
}

TEST_F(UseDefaultKeysSetting, StoredAsFourByteDword) {
  SaveUseDefaultKeys(nullptr, 1);
  RegKey key;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Orvel\\Zembra", 0, KEY_READ, key.put()),
            ERROR_SUCCESS);
  DWORD type = 0;
  DWORD data = 0;
  DWORD size = sizeof(data);
  ASSERT_EQ(RegQueryValueEx(key.get(), "Use default keys", nullptr, &type,
                            reinterpret_cast<BYTE*>(&data), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(data, 1u);
}

// A key of the caller's is used as the settings key itself and stays open afterwards.
TEST_F(UseDefaultKeysSetting, CallersKeyIsUsedAndLeftOpen) {
  RegKey key;
  ASSERT_EQ(
      RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Orvel\\Zembra", 0, nullptr,
                     REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr),
      ERROR_SUCCESS);
  SaveUseDefaultKeys(key.get(), 7);
  DWORD value = 0;
  ASSERT_EQ(LoadUseDefaultKeys(key.get(), value), ERROR_SUCCESS);
  EXPECT_EQ(value, 7u);
  // Still usable: neither call closed it.
  SaveUseDefaultKeys(key.get(), 0);
  ASSERT_EQ(LoadUseDefaultKeys(key.get(), value), ERROR_SUCCESS);
  EXPECT_EQ(value, 0u);
  ASSERT_EQ(LoadUseDefaultKeys(nullptr, value), ERROR_SUCCESS);
  EXPECT_EQ(value, 0u);
}

TEST_F(UseDefaultKeysSetting, KeyWithoutTheValueFails) {
  RegKey key;
  ASSERT_EQ(
      RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Orvel\\Zembra", 0, nullptr,
                     REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr),
      ERROR_SUCCESS);
  DWORD value = 3;
  EXPECT_EQ(LoadUseDefaultKeys(nullptr, value), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(value, 0u);
}
