#include "platform/core/xdg_dirs.h"

#include <pwd.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>

namespace {

std::string Getenv(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Relative entries are invalid by the base-folder rules and are ignored.
std::string AbsoluteOr(const char* name, const char* belowHome) {
  std::string value = Getenv(name);
  if (!value.empty() && value[0] == '/') return value;
  return Getenv("HOME") + belowHome;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    if (end > start) parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::vector<std::string> AbsoluteList(const char* name, const std::vector<std::string>& fallback) {
  std::vector<std::string> dirs;
  for (std::string& dir : Split(Getenv(name), ':')) {
    if (dir[0] == '/') dirs.push_back(std::move(dir));
  }
  return dirs.empty() ? fallback : dirs;
}

}  // namespace

std::string UserHomeFolder() {
  std::string home = Getenv("HOME");
  if (!home.empty()) return home;
  if (const passwd* entry = getpwuid(geteuid()); entry != nullptr && entry->pw_dir != nullptr)
    return entry->pw_dir;
  return {};
}

std::string XdgDataHome() { return AbsoluteOr("XDG_DATA_HOME", "/.local/share"); }

std::string XdgConfigHome() { return AbsoluteOr("XDG_CONFIG_HOME", "/.config"); }

std::vector<std::string> XdgDataDirs() {
  return AbsoluteList("XDG_DATA_DIRS", {"/usr/local/share", "/usr/share"});
}

std::vector<std::string> XdgConfigDirs() { return AbsoluteList("XDG_CONFIG_DIRS", {"/etc/xdg"}); }

std::vector<std::string> XdgCurrentDesktops() {
  std::vector<std::string> names = Split(Getenv("XDG_CURRENT_DESKTOP"), ':');
  for (std::string& name : names) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return names;
}
