#include "tests/support/gpg_processes.h"

#include <algorithm>
#include <exception>
#include <filesystem>

#include "tests/support/key_ring.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;

std::vector<int> GpgWorkingOn(const std::string& home) {
  std::vector<int> pids;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    // A process may end while it is looked at; its files then cannot be read.
    std::string comm, cmdline, environment;
    try {
      comm = ReadFile((entry.path() / "comm").string());
      cmdline = ReadFile((entry.path() / "cmdline").string());
      environment = ReadFile((entry.path() / "environ").string());
    } catch (const std::exception&) {
      continue;
    }
    if (comm != "gpg\n" || !ProcessAlive(std::stoi(name))) continue;
    std::replace(cmdline.begin(), cmdline.end(), '\0', '\n');
    std::replace(environment.begin(), environment.end(), '\0', '\n');
    if (("\n" + cmdline).find("\n--homedir\n" + home + "\n") != std::string::npos ||
        ("\n" + environment).find("\nGNUPGHOME=" + home + "\n") != std::string::npos)
      pids.push_back(std::stoi(name));
  }
  return pids;
}
