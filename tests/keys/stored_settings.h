// Values under the settings key as the registry holds them, read and written beside the code
// under test.
#pragma once

#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "platform/core/registry.h"
#include "zembra/keys/settings.h"

// The bytes and type stored under the settings key; type 0 and "(no key)" or "(no value)" when
// there are none.
inline std::pair<DWORD, std::string> Stored(const char* name) {
  RegKey key;
  if (RegOpenKeyEx(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return {0, "(no key)"};
  DWORD type = 0, size = 0;
  if (RegQueryValueEx(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return {0, "(no value)"};
  std::string data(size, '\0');
  RegQueryValueEx(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
  return {type, data};
}

inline void Store(const char* name, DWORD type, const std::string& data) {
  RegKey key;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueEx(key.get(), name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size())),
            ERROR_SUCCESS);
}
