// Runs a program to its end and captures what it writes, for tests that look at another
// process (gpg, or a small probe program of their own).
#pragma once

#include <ostream>
#include <string>
#include <vector>

struct ProcessResult {
  int exitCode = -1;  // the exit status, or 128 + signal number when killed by a signal
  std::string out;
  std::string err;
};
std::ostream& operator<<(std::ostream& os, const ProcessResult& result);

// argv[0] is looked up in PATH when it has no slash. input is written to its standard input.
// env: extra "NAME=value" entries on top of this process's environment ("NAME" alone removes
// the variable). Throws when the program cannot be started.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input = {},
                         const std::vector<std::string>& env = {});
