// "Default keys" as the settings hold it, any bytes: stored under HKEY_CURRENT_USER and read back
// the same (or counted as absent when shorter than 8 bytes); split into ids that hold no ";" and
// no NUL and join back to the text before the first NUL; only hexadecimal ids are looked up;
// saved again, the ids read back as they were.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/core/registry.h"
#include "zembra/keys/default_keys.h"
#include "zembra/keys/settings.h"

namespace {

RegKey SettingsKey() {
  RegKey key;
  FUZZ_CHECK(RegCreateKeyEx(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, key.put(),
                            nullptr) == ERROR_SUCCESS);
  return key;
}

std::string Joined(const std::vector<std::string>& ids) {
  std::string text;
  for (std::size_t i = 0; i < ids.size(); ++i) text += (i ? ";" : "") + ids[i];
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A registry of the fuzzer's own, in memory where it can be (every write is flushed), gone
  // when the run ends.
  static char shm[] = "/dev/shm/zembra-fuzz-keys-XXXXXX";
  static char tmp[] = "/tmp/zembra-fuzz-keys-XXXXXX";
  const char* folder = mkdtemp(shm);
  if (folder == nullptr) folder = mkdtemp(tmp);
  FUZZ_CHECK(folder != nullptr);
  setenv("ZEMBRA_REGISTRY_DIR", folder, 1);
  std::atexit([] { std::filesystem::remove_all(getenv("ZEMBRA_REGISTRY_DIR")); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  const std::string stored(reinterpret_cast<const char*>(data), size);
  RegKey key = SettingsKey();
  FUZZ_CHECK(RegSetValueEx(key.get(), kDefaultKeysValue, 0, REG_BINARY,
                           reinterpret_cast<const BYTE*>(stored.data()),
                           static_cast<DWORD>(stored.size())) == ERROR_SUCCESS);
  std::string read;
  const bool present = ReadDefaultKeyIds(key.get(), &read);
  FUZZ_CHECK(present == (size >= 8));
  if (!present) return 0;
  FUZZ_CHECK(read == stored);

  const std::vector<std::string> ids = SplitKeyIds(read);
  FUZZ_CHECK(!ids.empty());
  for (const std::string& id : ids) {
    FUZZ_CHECK(id.find_first_of(std::string(";\0", 2)) == std::string::npos);
    bool hex = !id.empty();
    for (char c : id)
      hex = hex && std::string_view("0123456789abcdefABCDEF").find(c) != std::string::npos;
    FUZZ_CHECK(IsKeyIdText(id) == hex);
  }
  FUZZ_CHECK(Joined(ids) == read.substr(0, read.find('\0')));

  SaveDefaultKeys(Joined(ids), true);
  std::string again;
  if (ReadDefaultKeyIds(key.get(), &again)) FUZZ_CHECK(SplitKeyIds(again) == ids);
  return 0;
}
