#include "zembra/associations/mimeapps_list.h"

#include "zembra/associations/desktop_entry.h"

namespace {

// One line of the text, with its end ("\n", or nothing for a last line without one).
struct Line {
  std::size_t begin = 0;
  std::size_t end = 0;   // end of the content, before "\r\n" or "\n"
  std::size_t next = 0;  // start of the following line
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t newline = text.find('\n', start);
    Line line;
    line.begin = start;
    line.next = newline == std::string_view::npos ? text.size() : newline + 1;
    line.end = newline == std::string_view::npos ? text.size() : newline;
    if (line.end > line.begin && text[line.end - 1] == '\r') --line.end;
    lines.push_back(line);
    start = line.next;
  }
  return lines;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool IsGroupHeader(std::string_view content) {
  content = TrimBlanks(content);
  return !content.empty() && content.front() == '[';
}

bool IsHeaderOf(std::string_view content, std::string_view group) {
  content = TrimBlanks(content);
  if (content.empty() || content.front() != '[') return false;
  const std::size_t close = content.find(']');
  return close != std::string_view::npos && content.substr(1, close - 1) == group;
}

// Where the value of `key` starts in the line's content (after "=" and blanks), or npos.
std::size_t ValueStart(std::string_view content, std::string_view key) {
  const std::size_t equals = content.find('=');
  if (equals == std::string_view::npos) return std::string_view::npos;
  if (TrimBlanks(content.substr(0, equals)) != key) return std::string_view::npos;
  std::size_t value = equals + 1;
  while (value < content.size() && (content[value] == ' ' || content[value] == '\t')) ++value;
  return value;
}

// The group's header line and the lines that belong to it (up to the next header).
struct Group {
  std::size_t header = 0;  // index into lines
  std::size_t last = 0;    // index of its last line
  bool found = false;
};

Group FindGroup(std::string_view text, const std::vector<Line>& lines, std::string_view group) {
  Group g;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view content = text.substr(lines[i].begin, lines[i].end - lines[i].begin);
    if (!g.found) {
      if (IsHeaderOf(content, group)) {
        g.found = true;
        g.header = g.last = i;
      }
      continue;
    }
    if (IsGroupHeader(content)) break;
    g.last = i;
  }
  return g;
}

// The line of `key` inside the group, or npos.
std::size_t FindKey(std::string_view text, const std::vector<Line>& lines, const Group& g,
                    std::string_view key) {
  if (!g.found) return std::string_view::npos;
  for (std::size_t i = g.header + 1; i <= g.last && i < lines.size(); ++i) {
    const std::string_view content = text.substr(lines[i].begin, lines[i].end - lines[i].begin);
    const std::string_view trimmed = TrimBlanks(content);
    if (trimmed.empty() || trimmed.front() == '#') continue;
    if (ValueStart(content, key) != std::string_view::npos) return i;
  }
  return std::string_view::npos;
}

// The line end the text uses, for lines we add.
std::string_view LineEnd(std::string_view text) {
  const std::size_t newline = text.find('\n');
  if (newline != std::string_view::npos && newline > 0 && text[newline - 1] == '\r') return "\r\n";
  return "\n";
}

}  // namespace

std::string AddDefaultApplication(std::string_view text, std::string_view mimeType,
                                  std::string_view desktopId) {
  const std::vector<Line> lines = SplitLines(text);
  const Group g = FindGroup(text, lines, kDefaultApplications);
  const std::string_view eol = LineEnd(text);
  const std::string entry = std::string(mimeType) + "=" + std::string(desktopId) + ";";
  std::string out(text);
  if (!g.found) {
    if (!out.empty() && out.back() != '\n') out += eol;
    if (!out.empty()) out += eol;
    out += "[" + std::string(kDefaultApplications) + "]";
    out += eol;
    out += entry;
    out += eol;
    return out;
  }
  const std::size_t keyLine = FindKey(text, lines, g, mimeType);
  if (keyLine == std::string_view::npos) {
    const Line& header = lines[g.header];
    std::string insert;
    // A header on the last line without an end ("\r" alone ends no line).
    if (header.next == text.size() && text.back() != '\n') insert += eol;
    insert += entry;
    insert += eol;
    out.insert(header.next, insert);
    return out;
  }
  const Line& line = lines[keyLine];
  const std::string_view content = text.substr(line.begin, line.end - line.begin);
  const std::size_t value = ValueStart(content, mimeType);
  const std::vector<std::string> listed = SplitDesktopList(content.substr(value));
  if (!listed.empty() && listed.front() == desktopId) return out;
  // Ours goes in front; a later mention of ours stays where it was, so removal restores the line.
  out.insert(line.begin + value, std::string(desktopId) + ";");
  return out;
}

std::string RemoveDefaultApplication(std::string_view text, std::string_view mimeType,
                                     std::string_view desktopId) {
  const std::vector<Line> lines = SplitLines(text);
  const Group g = FindGroup(text, lines, kDefaultApplications);
  const std::size_t keyLine = FindKey(text, lines, g, mimeType);
  if (keyLine == std::string_view::npos) return std::string(text);
  const Line& line = lines[keyLine];
  const std::string_view content = text.substr(line.begin, line.end - line.begin);
  const std::size_t value = ValueStart(content, mimeType);
  std::string_view rest = content.substr(value);
  // Only the item we put in front is ours; the same id further back is someone else's choice.
  const std::string ours = std::string(desktopId) + ";";
  std::string remaining;
  if (rest.substr(0, ours.size()) == ours) {
    remaining = std::string(rest.substr(ours.size()));
  } else if (TrimBlanks(rest) == desktopId) {
    remaining.clear();
  } else {
    return std::string(text);
  }
  std::string out(text);
  if (!SplitDesktopList(remaining).empty()) {
    out.replace(line.begin + value, rest.size(), remaining);
    return out;
  }
  out.erase(line.begin, line.next - line.begin);
  // A group left with nothing but its header goes as well, with the blank line we put before it.
  const bool groupEmpty = g.last == g.header + 1 && keyLine == g.last;
  if (groupEmpty) {
    const Line& header = lines[g.header];
    std::size_t from = header.begin;
    if (g.header > 0) {
      const Line& before = lines[g.header - 1];
      if (before.end == before.begin) from = before.begin;
    }
    out.erase(from, header.next - from);
  }
  return out;
}

std::vector<std::string> ListedApplications(std::string_view text, std::string_view group,
                                            std::string_view mimeType) {
  const std::optional<std::string> value = DesktopEntryValue(text, group, mimeType);
  if (!value) return {};
  return SplitDesktopList(*value);
}
