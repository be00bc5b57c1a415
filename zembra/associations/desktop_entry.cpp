#include "zembra/associations/desktop_entry.h"

namespace {

constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

}  // namespace

std::string QuoteExecArgument(std::string_view argument) {
  const bool quote =
      argument.empty() || argument.find_first_of(kReserved) != std::string_view::npos;
  std::string out;
  if (quote) out += '"';
  for (char c : argument) {
    if (c == '%') {
      out += "%%";
      continue;
    }
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
    out += c;
  }
  if (quote) out += '"';
  return out;
}

std::string EscapeDesktopString(std::string_view value) {
  std::string out;
  for (char c : value) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

std::string UnescapeDesktopString(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    const char next = value[++i];
    switch (next) {
      case '\\': out += '\\'; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case 's': out += ' '; break;
      default: out += '\\'; out += next;
    }
  }
  return out;
}

std::vector<std::string> SplitExecLine(std::string_view exec) {
  std::vector<std::string> args;
  std::string current;
  bool inArgument = false;
  bool quoted = false;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else if (c == '\\' && i + 1 < exec.size()) {
        current += exec[++i];
      } else if (c == '%' && i + 1 < exec.size() && exec[i + 1] == '%') {
        current += '%';
        ++i;
      } else {
        current += c;
      }
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\n') {
      if (inArgument) args.push_back(std::move(current));
      current.clear();
      inArgument = false;
      continue;
    }
    inArgument = true;
    if (c == '"') {
      quoted = true;
    } else if (c == '%' && i + 1 < exec.size() && exec[i + 1] == '%') {
      current += '%';
      ++i;
    } else {
      current += c;
    }
  }
  if (inArgument) args.push_back(std::move(current));
  return args;
}

std::optional<std::string> DesktopEntryValue(std::string_view text, std::string_view group,
                                             std::string_view key) {
  bool inGroup = false;
  bool seenGroup = false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = Trim(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      if (inGroup) return std::nullopt;  // only the first group of that name counts
      const std::size_t close = line.find(']');
      inGroup = !seenGroup && close != std::string_view::npos && line.substr(1, close - 1) == group;
      seenGroup = seenGroup || inGroup;
      continue;
    }
    if (!inGroup) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    if (Trim(line.substr(0, equals)) != key) continue;
    return std::string(Trim(line.substr(equals + 1)));
  }
  return std::nullopt;
}

std::vector<std::string> SplitDesktopList(std::string_view value) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start <= value.size()) {
    std::size_t end = value.find(';', start);
    if (end == std::string_view::npos) end = value.size();
    const std::string_view item = Trim(value.substr(start, end - start));
    if (!item.empty()) items.emplace_back(item);
    start = end + 1;
  }
  return items;
}

std::string MakeDesktopEntry(const std::string& programPath,
                             const std::vector<std::string>& mimeTypes, std::string_view name,
                             std::string_view actionName) {
  const std::string program = EscapeDesktopString(QuoteExecArgument(programPath));
  std::string types;
  for (const std::string& type : mimeTypes) types += type + ";";
  std::string text;
  text += "[Desktop Entry]\n";
  text += "Type=Application\n";
  text += "Name=" + EscapeDesktopString(name) + "\n";
  text += "Exec=" + program + " %f\n";
  text += "Icon=zembra\n";
  // The application grid shows the installed entry; this one only opens files.
  text += "NoDisplay=true\n";
  text += "Terminal=false\n";
  text += "Categories=Utility;Security;\n";
  text += "MimeType=" + types + "\n";
  text += "Actions=associations;\n";
  text += "\n";
  text += "[Desktop Action associations]\n";
  text += "Name=" + EscapeDesktopString(actionName) + "\n";
  text += "Exec=" + program + " --associations\n";
  return text;
}
