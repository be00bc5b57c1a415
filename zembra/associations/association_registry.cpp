// Writing, removing and reading the association entries under HKEY_CLASSES_ROOT, with the
// desktop's side kept in step: the registry says what Zembra set up, the desktop what a
// double-click does.
#include <algorithm>
#include <vector>

#include "platform/core/format.h"
#include "platform/core/registry.h"
#include "platform/core/shell_notify.h"
#include "platform/core/text.h"
#include "zembra/associations/desktop_integration.h"
#include "zembra/associations/file_associations.h"

namespace {

constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;

void SetDefaultText(HKEY key, const char* name, const std::string& text) {
  RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                static_cast<DWORD>(text.size() + 1));
}

RegKey CreateSubKey(HKEY parent, const char* name) {
  RegKey key;
  RegCreateKeyEx(parent, name, 0, nullptr, 0, kReadWrite, nullptr, key.put(), nullptr);
  return key;
}

// Depth first: subkeys one by one (always the first reported), then the key itself. A failure
// below stops the deletion.
bool DeleteKeyDepthFirst(HKEY parent, const std::string& name) {
  {
    RegKey key;
    if (RegOpenKeyEx(parent, name.c_str(), 0, kReadWrite, key.put()) != ERROR_SUCCESS) return false;
    for (;;) {
      DWORD longest = 0;
      if (RegQueryInfoKey(key.get(), nullptr, &longest, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        return false;
      }
      std::vector<char> buffer(longest + 1);
      DWORD length = static_cast<DWORD>(buffer.size());
      const LONG rc =
          RegEnumKeyEx(key.get(), 0, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      if (rc != ERROR_SUCCESS) return false;
      if (!DeleteKeyDepthFirst(key.get(), std::string(buffer.data(), length))) return false;
    }
  }
  return RegDeleteKey(parent, name.c_str()) == ERROR_SUCCESS;
}

void NotifyAssociationChange() {
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

// The MIME types that stay claimed by other rows that are associated now.
std::vector<std::string> TypesOfOtherCurrentRows(const FileAssociation& row) {
  std::vector<std::string> types;
  for (const FileAssociation& other : g_fileAssociations) {
    if (&other == &row || !other.current) continue;
    for (std::string& type : ExtensionMimeTypes(other.extension)) types.push_back(std::move(type));
  }
  return types;
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

// The registry's side of GetCurrentAssociation: description, CR LF, program path.
std::optional<std::string> RegistryAssociationText(const char* extension) {
  const std::optional<std::string> progId = ReadClassesRootDefault(extension);
  if (!progId || progId->empty()) return std::nullopt;
  const std::optional<std::string> description = ReadClassesRootDefault(progId->c_str());
  if (!description) return std::nullopt;
  const std::string commandKey = *progId + "\\shell\\open\\command";
  const std::optional<std::string> command = ReadClassesRootDefault(commandKey.c_str());
  if (!command) return std::nullopt;
  // Linux has no short names, so the path taken is already its long form.
  return *description + "\r\n" + ProgramPathFromCommand(*command);
}

}  // namespace

std::optional<std::string> ReadClassesRootDefault(const char* subKey) {
  RegKey key;
  if (RegOpenKeyEx(HKEY_CLASSES_ROOT, subKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (RegQueryValueEx(key.get(), nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      size == 0 || (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return std::string();
  }
  std::vector<BYTE> buffer(size);
  if (RegQueryValueEx(key.get(), nullptr, nullptr, &type, buffer.data(), &size) != ERROR_SUCCESS) {
    return std::string();
  }
  std::string text(reinterpret_cast<const char*>(buffer.data()), size);
  const std::size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return text;
}

std::string ProgramPathFromCommand(std::string_view command) {
  if (!command.empty() && command.front() == '"') {
    const std::size_t close = command.find('"', 1);
    return std::string(
        command.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
  }
  for (std::size_t i = 0; i + 1 < command.size(); ++i) {
    if (command[i] == ' ' &&
        (command[i + 1] == '%' || command[i + 1] == '/' || command[i + 1] == '"')) {
      return std::string(command.substr(0, i));
    }
  }
  return std::string(command.substr(0, command.find(' ')));
}

std::optional<std::string> GetCurrentAssociation(const char* extension) {
  std::optional<std::string> registryText = RegistryAssociationText(extension);
  const std::vector<std::string> types = ExtensionMimeTypes(extension);
  bool desktopOpensWithZembra = true;
  for (const std::string& type : types) {
    const std::string id = DesktopDefaultApplication(type);
    if (id == kZembraDesktopId) continue;
    if (!id.empty()) {
      if (std::optional<std::string> other = DesktopApplicationText(id)) return other;
    }
    desktopOpensWithZembra = false;
  }
  // The registry may point to the program while the desktop opens the type with nothing.
  if (!desktopOpensWithZembra) return std::nullopt;
  return registryText;
}

void RegisterFileAssociation(FileAssociation& row) {
  RegKey extKey;
  DWORD disposition = 0;
  if (RegCreateKeyEx(HKEY_CLASSES_ROOT, row.extension, 0, nullptr, 0, kReadWrite, nullptr,
                     extKey.put(), &disposition) != ERROR_SUCCESS) {
    return;
  }
  // The desktop's default first: when mimeapps.list cannot be changed, the registry stays as
  // it was, so it never claims what a double-click does not do.
  const std::vector<std::string> types = ExtensionMimeTypes(row.extension);
  if (!ClaimMimeTypes(types)) {
    if (disposition == REG_CREATED_NEW_KEY) {
      extKey.reset();
      RegDeleteKey(HKEY_CLASSES_ROOT, row.extension);
    }
    return;
  }

  SetDefaultText(extKey.get(), nullptr, row.progId);
  if (RegKey openWith = CreateSubKey(extKey.get(), "OpenWithProgIDs")) {
    SetDefaultText(openWith.get(), row.progId, "");
  }
  RegKey progKey = CreateSubKey(HKEY_CLASSES_ROOT, row.progId);
  if (progKey) SetDefaultText(progKey.get(), nullptr, row.description);
  const std::string program = AssociationProgramPath();
  if (RegKey icon = CreateSubKey(progKey.get(), "DefaultIcon")) {
    SetDefaultText(icon.get(), nullptr, FormatText("%s,%d", program, row.iconIndex));
  }
  if (RegKey command = CreateSubKey(progKey.get(), "shell\\open\\command")) {
    SetDefaultText(command.get(), nullptr, FormatText("\"%s\" \"%%1\"", program));
  }

  std::vector<std::string> entryTypes = InstalledEntryMimeTypes();
  for (const std::string& type : types) {
    if (!Contains(entryTypes, type)) entryTypes.push_back(type);
  }
  UpdateDesktopEntry(program, entryTypes);

  NotifyAssociationChange();
  row.current = 1;
}

void UnregisterFileAssociation(FileAssociation& row) {
  // Only the types no other associated row shares are given back; the registry is left as it
  // is when mimeapps.list cannot be changed.
  const std::vector<std::string> kept = TypesOfOtherCurrentRows(row);
  std::vector<std::string> released;
  for (std::string& type : ExtensionMimeTypes(row.extension)) {
    if (!Contains(kept, type)) released.push_back(std::move(type));
  }
  if (!ReleaseMimeTypes(released)) return;
  std::vector<std::string> entryTypes;
  for (const std::string& type : InstalledEntryMimeTypes()) {
    if (!Contains(released, type)) entryTypes.push_back(type);
  }
  UpdateDesktopEntry(AssociationProgramPath(), entryTypes);

  row.current = 0;
  {
    RegKey extKey;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, row.extension, 0, kReadWrite, extKey.put()) ==
        ERROR_SUCCESS) {
      RegKey openWith;
      bool deleteExtension = false;
      if (RegOpenKeyEx(extKey.get(), "OpenWithProgIDs", 0, kReadWrite, openWith.put()) ==
          ERROR_SUCCESS) {
        RegDeleteValue(openWith.get(), row.progId);
        DWORD values = 0;
        DWORD longest = 0;
        // Without an answer nothing is known about what is left: the key stays as it is.
        if (RegQueryInfoKey(openWith.get(), nullptr, nullptr, &values, &longest, nullptr) ==
            ERROR_SUCCESS) {
          if (values > 0) {
            std::vector<char> name(longest + 1);
            DWORD length = static_cast<DWORD>(name.size());
            if (RegEnumValue(openWith.get(), 0, name.data(), &length, nullptr, nullptr, nullptr,
                             nullptr) == ERROR_SUCCESS) {
              SetDefaultText(extKey.get(), nullptr, std::string(name.data(), length));
            }
          } else {
            deleteExtension = true;
          }
        }
      }
      if (deleteExtension) {
        openWith.reset();
        extKey.reset();
        DeleteKeyDepthFirst(HKEY_CLASSES_ROOT, row.extension);
      }
    }
  }

  for (const FileAssociation& other : g_fileAssociations) {
    if (&other != &row && std::string_view(other.progId) == row.progId && other.current) return;
  }
  DeleteKeyDepthFirst(HKEY_CLASSES_ROOT, row.progId);
  NotifyAssociationChange();
}

void DefaultFileAssociations() {
  for (FileAssociation& row : g_fileAssociations) RegisterFileAssociation(row);
}

void SetupFileAssociations() {
  for (FileAssociation& row : g_fileAssociations) {
    if (row.current == row.wanted) continue;
    if (row.wanted) {
      RegisterFileAssociation(row);
    } else {
      UnregisterFileAssociation(row);
    }
  }
}
