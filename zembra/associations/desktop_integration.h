// The desktop's side of an association: Zembra's desktop entry in the user's applications
// folder, its icon in the user's icon theme, and its place as the default program for MIME
// types in the user's mimeapps.list. Other programs' entries are never changed.
#pragma once

#include <optional>
#include <string>
#include <vector>

inline constexpr const char* kZembraDesktopId = "zembra.desktop";

// The MIME types the shared MIME database gives names with the extension, heaviest first.
// Generic text types are left out: claiming text/plain for ".asc" would open every text file
// with Zembra.
std::vector<std::string> ExtensionMimeTypes(const char* extension);

// The desktop entry (id) that the desktop opens the MIME type with: the first installed entry
// among the defaults of the mimeapps.list files, then their added associations, then the
// desktop-entry caches; "" when there is none.
std::string DesktopDefaultApplication(const std::string& mimeType);

// "Name CR LF command" of an installed desktop entry; nothing when it is not installed.
std::optional<std::string> DesktopApplicationText(const std::string& desktopId);

// Makes Zembra the default for `mimeTypes` in the user's mimeapps.list. False, with one line on
// standard error, when the file cannot be read or written; it is then unchanged.
bool ClaimMimeTypes(const std::vector<std::string>& mimeTypes);
// Takes Zembra's default back for `mimeTypes`; false as above.
bool ReleaseMimeTypes(const std::vector<std::string>& mimeTypes);

// The MIME types Zembra's installed desktop entry declares.
std::vector<std::string> InstalledEntryMimeTypes();
// Writes Zembra's desktop entry for the program with these MIME types, and its icon at the
// usual sizes; with no types, removes both. Failures go to standard error.
void UpdateDesktopEntry(const std::string& programPath, const std::vector<std::string>& mimeTypes);

// The files involved, for messages and tests.
std::string UserMimeAppsList();
std::string UserDesktopEntryPath();
std::string UserIconPath(int size);
