// The desktop-entry format (".desktop" files, also mimeapps.list and mimeinfo.cache, which
// share its groups and keys): plain functions over text, so that any input can be fed to them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One argument of an Exec line: quoted when it holds a reserved character (blank, quote,
// backslash, shell characters), with '"', '`', '$' and '\' escaped inside the quotes; '%'
// doubled everywhere, so no part of it is taken for a field code. Plain arguments stay bare,
// because some launchers take the first word of Exec literally.
std::string QuoteExecArgument(std::string_view argument);

// A string value as written in the file: backslash, newline, tab and carriage return escaped.
std::string EscapeDesktopString(std::string_view value);
// The reverse; an unknown escape keeps its backslash.
std::string UnescapeDesktopString(std::string_view value);

// The arguments of an (unescaped) Exec value: quoting undone, "%%" turned into "%", field codes
// such as "%f" kept as they are.
std::vector<std::string> SplitExecLine(std::string_view exec);

// The value (as written, not unescaped) of `key` in the first group named `group`; nothing
// when there is no such key. Keys compare exactly ("Name[de]" is not "Name").
std::optional<std::string> DesktopEntryValue(std::string_view text, std::string_view group,
                                             std::string_view key);

// The items of a list value ("a;b;c;"), empty items dropped.
std::vector<std::string> SplitDesktopList(std::string_view value);

// Zembra's own desktop entry: opens one file with the program, offers the associations dialog
// as an action, and declares the MIME types it handles. It is hidden from the application grid
// (NoDisplay), where the installed entry stands for Zembra; "Open with" still lists it.
std::string MakeDesktopEntry(const std::string& programPath,
                             const std::vector<std::string>& mimeTypes, std::string_view name,
                             std::string_view actionName);
