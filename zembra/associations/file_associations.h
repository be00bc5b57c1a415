// The file types that open with the program Zembra on a double-click, and the registry entries
// under HKEY_CLASSES_ROOT (mirrored on the desktop: a desktop entry and the defaults in the
// user's mimeapps.list) that make it so.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/win_types.h"

struct FileAssociation {
  const char* extension;  // with its dot
  const char* progId;
  const char* description;
  std::int32_t iconIndex;
  std::optional<std::string> currentText;  // description, CR LF, program path; set by the dialog
  BOOL current;                            // the extension opens with the program now
  BOOL wanted;  // the extension shall open with it (set by the dialog's register button)
};

inline constexpr int kFileAssociationCount = 3;
// Rows in the order of every loop and of the dialog's list; rows 0 and 1 share a ProgID.
extern FileAssociation g_fileAssociations[kFileAssociationCount];

// Replaces the extension of the path's last name (or appends one): the scan runs backwards from
// the end, stops at '\', '/' or ':', and never looks at the first character.
void ReplaceExtension(std::string& path, std::string_view extension);

// The program that lies beside a library: its file name less "lib" in front and ".so" (with any
// version after it) at the end, "/x/libZembra.so" giving "/x/Zembra".
std::string ProgramPathForLibrary(const std::string& libraryPath);
// The program associated files open with: the one beside this library.
std::string AssociationProgramPath();

// The default value of a key under HKEY_CLASSES_ROOT: nothing for a missing key, "" for a key
// whose default value is missing or empty.
std::optional<std::string> ReadClassesRootDefault(const char* subKey);

// The program path at the start of an open command ("\"/p/x\" \"%1\"", "/p/x %1", "/p x /o").
std::string ProgramPathFromCommand(std::string_view command);

// The extension's present association as the desktop sees it: its description, CR LF, the
// program path; nothing when it has none. When the desktop opens the type's MIME types with
// another program, that program's name and command instead.
std::optional<std::string> GetCurrentAssociation(const char* extension);

void RegisterFileAssociation(FileAssociation& row);
void UnregisterFileAssociation(FileAssociation& row);

extern "C" {
// Associates all three types with the program.
__attribute__((visibility("default"))) void DefaultFileAssociations();
// Applies the dialog's choices: each row whose `wanted` differs from `current`.
__attribute__((visibility("default"))) void SetupFileAssociations();
}
