#include "zembra/associations/mime_globs.h"

#include <algorithm>

#include "platform/core/text.h"

namespace {

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t colon = line.find(':', start);
    if (colon == std::string_view::npos) {
      fields.push_back(line.substr(start));
      return fields;
    }
    fields.push_back(line.substr(start, colon - start));
    start = colon + 1;
  }
}

bool HasFlag(std::string_view flags, std::string_view flag) {
  std::size_t start = 0;
  while (start <= flags.size()) {
    std::size_t comma = flags.find(',', start);
    if (comma == std::string_view::npos) comma = flags.size();
    if (flags.substr(start, comma - start) == flag) return true;
    start = comma + 1;
  }
  return false;
}

}  // namespace

std::vector<std::string> MimeTypesFromGlobs2(std::string_view globs2, std::string_view extension) {
  std::vector<std::string> types;
  if (extension.empty()) return types;
  const std::string pattern = "*" + std::string(extension);
  std::size_t start = 0;
  while (start < globs2.size()) {
    std::size_t end = globs2.find('\n', start);
    if (end == std::string_view::npos) end = globs2.size();
    std::string_view line = globs2.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const std::vector<std::string_view> fields = SplitFields(line);
    if (fields.size() < 3 || fields[1].empty()) continue;
    const bool caseSensitive = fields.size() > 3 && HasFlag(fields[3], "cs");
    const bool match = caseSensitive ? fields[2] == pattern : EqualsNoCase(fields[2], pattern);
    if (!match) continue;
    const std::string type(fields[1]);
    if (std::find(types.begin(), types.end(), type) == types.end()) types.push_back(type);
  }
  return types;
}
