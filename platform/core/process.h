// Processes and modules.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Splits a command line by the rules of the Windows command-line splitter (CommandLineToArgvW):
// blanks and tabs separate arguments, double quotes group, 2n backslashes before a quote give n
// backslashes and a quote that toggles quoting, 2n+1 give n backslashes and a literal quote,
// a doubled quote inside quotes gives a literal quote; argument 0 ends at the first blank
// outside quotes, backslashes in it are literal.
std::vector<std::string> SplitCommandLine(std::string_view line);

// Starts the program named by argument 0 of the split line with those arguments (posix_spawn),
// not waiting for it. Returns false when it could not be started.
bool CreateProcessFromCommandLine(std::string_view line, int* pid = nullptr);

// Full path of the shared library or program that holds the given address (dladdr); empty when
// unknown.
std::string ModulePathOf(const void* address);
// Full path of the running program.
std::string ProgramPath();
// The folder part of a path (without the final slash), or "" when there is none.
std::string FolderOf(const std::string& path);
