#include "tests/platform/core/registry_test_support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

void RegistryTest::SetUp() {
  char pattern[] = "/tmp/zembra-reg-test-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  m_folder = pattern;
  setenv("ZEMBRA_REGISTRY_DIR", m_folder.c_str(), 1);
}

void RegistryTest::TearDown() {
  unsetenv("ZEMBRA_REGISTRY_DIR");
  std::error_code ec;
  std::filesystem::remove_all(m_folder, ec);
}

RegKey CreateKey(const char* path, HKEY root) {
  RegKey key;
  LONG rc = RegCreateKeyEx(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                           key.put(), nullptr);
  EXPECT_EQ(rc, ERROR_SUCCESS) << "creating " << path;
  return key;
}

LONG SetBytes(HKEY key, const char* name, DWORD type, const std::string& bytes) {
  return RegSetValueEx(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
}

LONG SetText(HKEY key, const char* name, const std::string& text) {
  return SetBytes(key, name, REG_SZ, text + '\0');
}

LONG SetDword(HKEY key, const char* name, DWORD value) {
  return RegSetValueEx(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value);
}

StoredValue QueryValue(HKEY key, const char* name) {
  StoredValue v;
  DWORD size = 0;
  v.status = RegQueryValueEx(key, name, nullptr, &v.type, nullptr, &size);
  if (v.status != ERROR_SUCCESS) return v;
  v.bytes.assign(size, '\0');
  v.status =
      RegQueryValueEx(key, name, nullptr, &v.type, reinterpret_cast<BYTE*>(v.bytes.data()), &size);
  v.bytes.resize(size);
  return v;
}

std::vector<std::string> SubkeyNames(HKEY key) {
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD length = sizeof name;
    LONG rc = RegEnumKeyEx(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) {
      EXPECT_EQ(rc, ERROR_NO_MORE_ITEMS);
      break;
    }
    names.emplace_back(name, length);
  }
  return names;
}

std::vector<std::string> ValueNames(HKEY key) {
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[1024];
    DWORD length = sizeof name;
    LONG rc = RegEnumValue(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) {
      EXPECT_EQ(rc, ERROR_NO_MORE_ITEMS);
      break;
    }
    names.emplace_back(name, length);
  }
  return names;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string ZembraRegPath() {
  // The build's own bin folder when the test runs without ctest's environment.
  const char* binDir = std::getenv("ZEMBRA_BIN_DIR");
  if (!binDir || !*binDir) binDir = ZEMBRA_BUILD_BIN_DIR;
  return std::string(binDir) + "/zembra-reg";
}

ToolResult RunTool(const std::vector<std::string>& args, const std::vector<std::string>& prefix) {
  ToolResult result;
  char outPattern[] = "/tmp/zembra-reg-out-XXXXXX";
  char errPattern[] = "/tmp/zembra-reg-err-XXXXXX";
  int outFd = mkstemp(outPattern);
  int errFd = mkstemp(errPattern);
  std::vector<std::string> argv = prefix;
  argv.push_back(ZembraRegPath());
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (std::string& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);

  pid_t pid = fork();
  if (pid == 0) {
    dup2(outFd, 1);
    dup2(errFd, 2);
    execvp(cargv[0], cargv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  close(outFd);
  close(errFd);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadFileBytes(outPattern);
  result.err = ReadFileBytes(errPattern);
  unlink(outPattern);
  unlink(errPattern);
  return result;
}
