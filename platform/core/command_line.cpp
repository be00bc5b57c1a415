#include "platform/core/process.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

// CommandLineToArgvW's rules, quirks included, so that a line assembled for Windows splits
// into the same arguments here.
std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  std::size_t i = 0;
  if (line.empty()) return args;

  // Argument 0, the program: a leading quote runs to the next quote whatever lies between;
  // otherwise it runs to the first blank. Backslashes are plain characters in it.
  std::string program;
  if (line[0] == '"') {
    for (i = 1; i < line.size() && line[i] != '"'; ++i) program += line[i];
    if (i < line.size()) ++i;  // the closing quote
  } else {
    for (; i < line.size() && !IsBlank(line[i]); ++i) program += line[i];
  }
  args.push_back(std::move(program));

  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i >= line.size()) return args;

  std::string current;
  int quotes = 0;  // odd while inside quotes
  std::size_t backslashes = 0;
  while (i < line.size()) {
    char c = line[i];
    if (IsBlank(c) && quotes == 0) {
      args.push_back(std::move(current));
      current.clear();
      while (i < line.size() && IsBlank(line[i])) ++i;
      backslashes = 0;
      if (i >= line.size()) return args;  // trailing blanks start no argument
      continue;
    }
    if (c == '\\') {
      current += c;
      ++backslashes;
      ++i;
      continue;
    }
    if (c == '"') {
      // 2n backslashes before a quote: n backslashes, and the quote toggles quoting.
      // 2n+1: n backslashes and a literal quote.
      current.erase(current.size() - backslashes / 2);
      if (backslashes % 2 == 0) {
        ++quotes;
      } else {
        current.back() = '"';
      }
      backslashes = 0;
      ++i;
      // A run of quotes: every third quote of the run (counting the one that opened quoting)
      // is a literal quote, and quoting ends after it; "" after a closing quote is one quote.
      while (i < line.size() && line[i] == '"') {
        if (++quotes == 3) {
          current += '"';
          quotes = 0;
        }
        ++i;
      }
      if (quotes == 2) quotes = 0;
      continue;
    }
    current += c;
    backslashes = 0;
    ++i;
  }
  args.push_back(std::move(current));
  return args;
}

std::string QuoteArgument(std::string_view argument) {
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count only before a quote: there they are doubled, and the quote escaped.
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    quoted += c;
    backslashes = 0;
  }
  quoted.append(backslashes * 2, '\\');  // before the closing quote
  quoted += '"';
  return quoted;
}
