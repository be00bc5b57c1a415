// A fresh registry folder per test, and helpers that read what a user would see.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/registry.h"

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The folder ZEMBRA_REGISTRY_DIR points to; removed after the test.
  const std::string& folder() const { return m_folder; }
  std::string hiveFile(const char* name) const { return m_folder + "/" + name; }

 private:
  std::string m_folder;
};

// Creates the key (under HKCU unless named) with full rights; fails the test if it cannot.
RegKey CreateKey(const char* path, HKEY root = HKEY_CURRENT_USER);
LONG SetBytes(HKEY key, const char* name, DWORD type, const std::string& bytes);
LONG SetText(HKEY key, const char* name, const std::string& text);  // REG_SZ with its NUL
LONG SetDword(HKEY key, const char* name, DWORD value);

struct StoredValue {
  LONG status = ERROR_SUCCESS;
  DWORD type = REG_NONE;
  std::string bytes;
};
// Size first, then data, as callers do.
StoredValue QueryValue(HKEY key, const char* name);
std::vector<std::string> SubkeyNames(HKEY key);
std::vector<std::string> ValueNames(HKEY key);

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

struct ToolResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};
// zembra-reg in ZEMBRA_BIN_DIR (or this build's bin folder).
std::string ZembraRegPath();
// Runs zembra-reg from ZEMBRA_BIN_DIR with the current environment; prefix (e.g. setpriv and its
// options) comes before the program.
ToolResult RunTool(const std::vector<std::string>& args,
                   const std::vector<std::string>& prefix = {});
