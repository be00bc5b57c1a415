// Registry files as the registry editor writes them ("Windows Registry Editor Version 5.00" or
// "REGEDIT4", UTF-8 or UTF-16 with its byte order mark): reading one into a list of edits, and
// writing the lines of an export. Reading is linear in the file's size and checks every line
// before anything is applied, so that a bad file changes nothing.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/registry.h"

// A key named on a command line or in a file: the hive and the path below it.
struct RegKeyName {
  HKEY root = nullptr;
  std::string path;   // without the hive, no leading or trailing backslash
  std::string typed;  // as it was written, for messages

  // With the hive's long name, as an export writes it.
  std::string display() const;
  RegKeyName child(const std::string& name) const;
};

// HKCU, HKLM, HKCR or their long names, then the path; nullopt for any other hive.
std::optional<RegKeyName> ParseRegKeyName(std::string_view text);
// Why the key's path cannot be a key (a name over 255 bytes, a path over 512 levels, a NUL),
// or empty when it can.
std::string RegKeyPathProblem(const RegKeyName& key);

struct RegFileEdit {
  enum class Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
  Kind kind = Kind::CreateKey;
  std::size_t line = 0;  // where it stands in the file
  RegKeyName key;
  std::string valueName;  // empty: the default value
  DWORD type = REG_NONE;
  std::string data;
};

struct RegFileError {
  std::size_t line = 0;  // 0: the file as a whole
  std::string message;
};

// The edits of the whole file in their order, or the first bad line.
bool ParseRegFile(std::string_view content, std::vector<RegFileEdit>& edits, RegFileError& error);

// Hex bytes as typed: "0102ff", "01,02,ff", with blanks and line breaks between bytes.
std::optional<std::string> ParseHexBytes(std::string_view text);
std::string HexBytes(std::string_view bytes, const char* separator, bool upper);
// The text of a REG_SZ value when it is plain one-line UTF-8 with its terminating NUL.
std::optional<std::string> RegPlainText(const std::string& data);
// One value as a line of an export; data that the quoted or dword forms would not give back
// byte for byte is written as hex with its type, so that reading it restores it exactly.
std::string RegFileValueLine(const std::string& name, DWORD type, const std::string& data);

extern const char* const kRegFileHeader;
