// The registry: three hives (HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT), each an
// SQLite database. Key paths use backslashes; key and value names compare without regard to
// case and keep the case they were created with. Strings are UTF-8. Results are Win32 codes.
//
// Where the hives live: HKCU and HKCR under $XDG_CONFIG_HOME/zembra/ (default ~/.config/zembra/),
// HKLM under /etc/zembra/; ZEMBRA_REGISTRY_DIR puts all three in one folder.
//
// A hive is read-only when its file or folder is not writable for this user, or when its file
// has no write permission for anyone (which holds for root too): writes and opening with write
// rights then give ERROR_ACCESS_DENIED, as HKLM does without administrator rights. A hive that
// is missing and cannot be made reads as ERROR_FILE_NOT_FOUND and refuses writes the same way.
// A file that is not one of our hives gives ERROR_BADDB and is never written.
#pragma once

#include <cstddef>
#include <string>

#include "platform/core/win_types.h"

// NOLINTNEXTLINE(bugprone-reserved-identifier): the Windows handle type's own name.
struct HKEY__;
using HKEY = HKEY__*;
using REGSAM = DWORD;

inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(std::uintptr_t{0x80000000});
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(std::uintptr_t{0x80000001});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002});

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

// A key's name has at most 255 bytes and a key lies at most 512 levels below its hive's root;
// a longer name or a deeper path gives ERROR_INVALID_PARAMETER.
constexpr std::size_t kRegMaxKeyNameLength = 255;
constexpr std::size_t kRegMaxKeyDepth = 512;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// subKey may be null or empty (the key itself). A REG_SZ value's data is UTF-8 with its
// terminating NUL counted in the size.
LONG RegOpenKeyEx(HKEY key, const char* subKey, DWORD options, REGSAM access, HKEY* result);
LONG RegCreateKeyEx(HKEY key, const char* subKey, DWORD reserved, const char* keyClass,
                    DWORD options, REGSAM access, const void* security, HKEY* result,
                    DWORD* disposition);
// data null: only the size (and type) is returned. A short buffer gives ERROR_MORE_DATA with
// the needed size in *size. valueName null or "" is the default value.
LONG RegQueryValueEx(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                     DWORD* size);
LONG RegSetValueEx(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                   DWORD size);
LONG RegDeleteValue(HKEY key, const char* valueName);
// nameLength: in, the buffer's size in chars; out, the name's length without its NUL.
LONG RegEnumValue(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* reserved,
                  DWORD* type, BYTE* data, DWORD* size);
LONG RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* reserved,
                  char* keyClass, DWORD* classLength, void* lastWriteTime);
// Any out pointer may be null. Lengths are in chars without the NUL, sizes in bytes.
LONG RegQueryInfoKey(HKEY key, DWORD* subKeys, DWORD* maxSubKeyLength, DWORD* values,
                     DWORD* maxValueNameLength, DWORD* maxValueSize);
// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED otherwise, as on Windows).
LONG RegDeleteKey(HKEY key, const char* subKey);
// Deletes a key with all its subkeys and values.
LONG RegDeleteTree(HKEY key, const char* subKey);
LONG RegCloseKey(HKEY key);

// The file that holds a predefined key's hive in the current environment (for messages).
std::string RegistryHiveFile(HKEY predefined);
// What a result code of the registry calls means, in a few words ("the hive file could not be
// written ..."), to stand beside the number where a person reads it.
std::string RegistryErrorText(LONG rc);
// A damaged or foreign hive file gives ERROR_BADDB and, unless turned off here by a caller that
// reports it itself, one line on standard error per file and process.
void RegistryReportDamageOnStderr(bool report);

// Makes every change this process makes to one hive (named by its predefined key) from Begin to
// Commit a single transaction: other processes see all of the changes or none of them, and a
// rollback (or the end of the process without a commit) undoes them all. Other writers wait
// until it ends. One per hive at a time; the process's own calls on the hive take part in it.
LONG RegBeginHiveTransaction(HKEY predefined);
LONG RegCommitHiveTransaction(HKEY predefined);
LONG RegRollbackHiveTransaction(HKEY predefined);

// Owns an open key and closes it.
class RegKey {
 public:
  RegKey() = default;
  explicit RegKey(HKEY key) : m_key(key) {}
  RegKey(RegKey&& other) noexcept : m_key(other.release()) {}
  RegKey& operator=(RegKey&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() { reset(); }

  HKEY get() const { return m_key; }
  HKEY* put() {
    reset();
    return &m_key;
  }
  HKEY release() {
    HKEY k = m_key;
    m_key = nullptr;
    return k;
  }
  void reset(HKEY key = nullptr) {
    if (m_key) RegCloseKey(m_key);
    m_key = key;
  }
  explicit operator bool() const { return m_key != nullptr; }

 private:
  HKEY m_key = nullptr;
};
