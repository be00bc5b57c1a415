#include "tests/shellext/shell_test_support.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/run_process.h"

namespace fs = std::filesystem;

std::string BuiltFile(const std::string& name) {
  return std::string(ZEMBRA_TEST_BIN_DIR) + "/" + name;
}

ProbeFolder::ProbeFolder() {
  fs::copy_file(BuiltShellExt(), module());
  const std::string probe = m_folder.path("ZembraShellExtApp");
  // Written to a side file of its own and renamed, so a reader never sees half of it, also
  // when several probes run at once.
  WriteFile(probe,
            "#!/bin/sh\n"
            "here=$(dirname \"$0\")\n"
            "printf '%s\\0' \"$@\" > \"$here/argv.$$\"\n"
            "mv \"$here/argv.$$\" \"$here/argv\"\n"
            "echo \"$$\" >> \"$here/runs\"\n");
  chmod(probe.c_str(), 0755);
}

std::optional<std::vector<std::string>> ProbeFolder::WaitForArgv() const {
  const std::string file = m_folder.path("argv");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  // "runs" is written last: the probe has then finished with the folder.
  while (!fs::exists(m_folder.path("runs"))) {
    if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const std::string bytes = ReadFile(file);
  std::vector<std::string> args;
  std::size_t start = 0;
  for (std::size_t nul; (nul = bytes.find('\0', start)) != std::string::npos; start = nul + 1)
    args.push_back(bytes.substr(start, nul - start));
  return args;
}

bool ProbeFolder::WaitForRuns(int count) const {
  const std::string file = m_folder.path("runs");
  auto lines = [&] {
    if (!fs::exists(file)) return 0;
    const std::string text = ReadFile(file);
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (lines() < count) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return lines() == count;
}

bool ProbeFolder::Ran() const {
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  for (const auto& entry : fs::directory_iterator(m_folder.path()))
    if (entry.path().filename().string().rfind("argv", 0) == 0) return true;
  return false;
}

ScopedRegistry::ScopedRegistry() : m_env("ZEMBRA_REGISTRY_DIR", m_folder.path()) {}

std::string ScopedRegistry::Export(const std::string& key) const {
  const ProcessResult r = RunProcess({BuiltFile("zembra-reg"), "export", key});
  EXPECT_EQ(r.exitCode, 0) << r;
  return r.out;
}

std::vector<std::string> MenuLines(ContextMenuSession& menu) {
  std::vector<std::string> lines;
  for (const ShellMenuItem& item : menu.items())
    lines.push_back(item.separator ? "-" : item.text + "\t" + item.helpText);
  return lines;
}
