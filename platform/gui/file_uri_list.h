// A copied file list as file managers put it on the clipboard: text/uri-list ("file://" addresses,
// one a line) and x-special/gnome-copied-files ("copy" and the same addresses). Paths are the
// native bytes, percent-encoded, so a name that is not valid UTF-8 survives the round trip.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The text/uri-list of the paths, each line ended by CR LF.
std::string UriListOfPaths(const std::vector<std::string>& paths);
// The x-special/gnome-copied-files form: "copy", then one address a line.
std::string GnomeCopiedFilesOfPaths(const std::vector<std::string>& paths);
// The local paths of either form, in order. Comments, other schemes, the "copy"/"cut" line and
// an address whose path would hold a NUL byte (which no file name has) are skipped. A file
// address that names another host ("file://otherhost/...") is no local path either: it is
// skipped, and added to notLocal when given. "file:///" and "file://localhost/" are local.
std::vector<std::string> PathsOfUriList(std::string_view list,
                                        std::vector<std::string>* notLocal = nullptr);
