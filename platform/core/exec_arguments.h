// A command line split for exec: the arguments and the pointer array that execv and posix_spawn
// take, made before any fork (after one, only async-signal-safe calls are sound).
#pragma once

#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/process.h"

class ExecArguments {
 public:
  explicit ExecArguments(std::string_view line) : m_args(SplitCommandLine(line)) {
    m_argv.reserve(m_args.size() + 1);
    for (std::string& arg : m_args) m_argv.push_back(arg.data());
    m_argv.push_back(nullptr);
  }
  ExecArguments(const ExecArguments&) = delete;
  ExecArguments& operator=(const ExecArguments&) = delete;

  // False, with errno ENOENT, for a line that names no program.
  bool valid() const {
    if (!m_args.empty() && !m_args[0].empty()) return true;
    errno = ENOENT;
    return false;
  }
  char* program() const { return m_argv[0]; }
  char* const* argv() const { return m_argv.data(); }

 private:
  std::vector<std::string> m_args;
  std::vector<char*> m_argv;
};
