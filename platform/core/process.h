// Processes and modules.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Splits a command line by the rules of the Windows command-line splitter (CommandLineToArgvW):
// blanks and tabs separate arguments, double quotes group, 2n backslashes before a quote give n
// backslashes and a quote that toggles quoting, 2n+1 give n backslashes and a literal quote,
// a doubled quote inside quotes gives a literal quote (and ends the quoting, as there).
// Argument 0 is read apart: when it starts with a quote it runs to the next quote, otherwise to
// the first blank; backslashes in it are literal. An empty line gives no arguments.
std::vector<std::string> SplitCommandLine(std::string_view line);

// The argument in double quotes, with the backslashes and quotes escaped that SplitCommandLine
// would otherwise read as quoting (a trailing backslash, a quote inside), so that any argument
// after argument 0 comes back from SplitCommandLine unchanged.
std::string QuoteArgument(std::string_view argument);

// Starts the program named by argument 0 of the split line with those arguments (posix_spawn),
// not waiting for it. Returns false (errno set) when it could not be started. A name without a
// slash is looked up in PATH. The child inherits only standard input, output and error.
bool CreateProcessFromCommandLine(std::string_view line, int* pid = nullptr);

// Full path of the shared library or program that holds the given address (dladdr); empty when
// unknown.
std::string ModulePathOf(const void* address);
// Full path of the running program.
std::string ProgramPath();
// The folder part of a path (without the final slash), or "" when there is none.
std::string FolderOf(const std::string& path);
// The first NAME in the folders of PATH (/bin:/usr/bin when PATH is unset) that may be executed,
// as execvp and GPGME look for a program; empty when there is none.
std::string FindProgramInPath(std::string_view name);

// Like CreateProcessFromCommandLine, but the program runs detached: an intermediate process
// starts it and exits at once and is reaped here, so the caller keeps no child (a file manager
// that lives for days collects no zombies). Returns false (errno set) when the program could
// not be started; the caller never hears from it after that.
bool CreateDetachedProcessFromCommandLine(std::string_view line);

// A write past the file-size limit (ulimit -f) then fails with EFBIG, which the operation
// reports, instead of killing the process with SIGXFSZ. For the programs' main functions: the
// library leaves a host program's signal dispositions alone.
void IgnoreFileSizeLimitSignal();

// Whether the process exists and has not ended (a zombie waiting for its parent has).
bool ProcessRunning(long pid);
// This machine's host name, or "" when it cannot be had.
std::string HostName();
