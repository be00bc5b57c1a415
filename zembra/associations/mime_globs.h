// The shared MIME database's file-name patterns (the "globs2" files), read as text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The MIME types that a globs2 text gives to names ending in `extension` (".gpg"): every line
// "weight:type:*.gpg[:flags]", in the order of the text (the database writes heavier weights
// first), each type once. The pattern compares without regard to case unless the line carries
// the "cs" flag.
std::vector<std::string> MimeTypesFromGlobs2(std::string_view globs2, std::string_view extension);
