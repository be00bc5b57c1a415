#include "platform/core/registry_file.h"

#include <cstdio>
#include <cstdlib>

#include "platform/core/text.h"

const char* const kRegFileHeader = "Windows Registry Editor Version 5.00";

namespace {

constexpr const char* kHexDigits = "0123456789abcdefABCDEF";

std::string Utf16ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    char32_t c = static_cast<unsigned char>(bytes[i]) |
                 (static_cast<char32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8);
    if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size()) {
      char32_t low = static_cast<unsigned char>(bytes[i + 2]) |
                     (static_cast<char32_t>(static_cast<unsigned char>(bytes[i + 3])) << 8);
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// A quoted string at the start of text (a backslash escapes the next character); the rest after
// the closing quote, or nullopt when it does not close.
std::optional<std::string_view> ReadQuoted(std::string_view text, std::string& out) {
  if (text.empty() || text.front() != '"') return std::nullopt;
  for (std::size_t i = 1; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      out += text[++i];
    } else if (text[i] == '"') {
      return text.substr(i + 1);
    } else {
      out += text[i];
    }
  }
  return std::nullopt;
}

// Whether the line is a value with hex data: only those go on over several lines. Decided on
// the data itself, so that a name or a string that holds "=hex" and ends with a backslash does
// not swallow the line after it.
bool IsHexValueLine(std::string_view line) {
  std::string name;
  if (!line.empty() && line[0] == '@') {
    line.remove_prefix(1);
  } else if (auto after = ReadQuoted(line, name)) {
    line = *after;
  } else {
    return false;
  }
  line = Trim(line);
  if (line.empty() || line[0] != '=') return false;
  return StartsWith(Trim(line.substr(1)), "hex");
}

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + '"';
}

std::string DwordBytes(unsigned long value) {
  std::string out(4, '\0');
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

class Parser {
 public:
  Parser(std::vector<RegFileEdit>& edits, RegFileError& error) : m_edits(edits), m_error(error) {}

  bool run(std::string_view content) {
    std::string converted;
    if (StartsWith(content, "\xFF\xFE")) {
      converted = Utf16ToUtf8(content.substr(2));
      content = converted;
    }
    if (StartsWith(content, "\xEF\xBB\xBF")) content.remove_prefix(3);

    bool headerSeen = false;
    std::size_t number = 0;
    std::string joined;
    while (!content.empty()) {
      std::string_view line = nextLine(content);
      ++number;
      m_line = number;
      line = Trim(line);
      // Long hex data goes on over the next lines after a trailing backslash. Joined by
      // appending, so that a value wrapped over many lines costs no more than one on one line.
      if (!line.empty() && line.back() == '\\' && IsHexValueLine(line)) {
        joined.assign(line.substr(0, line.size() - 1));
        while (!content.empty()) {
          std::string_view next = Trim(nextLine(content));
          ++number;
          bool more = !next.empty() && next.back() == '\\';
          joined.append(more ? next.substr(0, next.size() - 1) : next);
          if (!more) break;
        }
        line = joined;
      }
      if (line.empty() || line[0] == ';') continue;
      if (!headerSeen) {
        if (line != kRegFileHeader && line != "REGEDIT4") return notRegistryFile();
        headerSeen = true;
        continue;
      }
      if (!(line[0] == '[' ? section(line) : value(line))) return false;
    }
    if (!headerSeen) {
      m_line = 0;
      return notRegistryFile();
    }
    return true;
  }

 private:
  static std::string_view nextLine(std::string_view& content) {
    std::size_t end = content.find('\n');
    std::string_view line = content.substr(0, end);
    content = end == std::string_view::npos ? std::string_view() : content.substr(end + 1);
    return line;
  }

  bool fail(std::string message) {
    m_error = RegFileError{m_line, std::move(message)};
    return false;
  }

  bool notRegistryFile() {
    return fail(std::string("not a registry file (first line must be \"") + kRegFileHeader + "\")");
  }

  bool section(std::string_view line) {
    if (line.back() != ']') return fail("section without closing ]: " + DisplayText(line));
    std::string_view inner = line.substr(1, line.size() - 2);
    bool remove = !inner.empty() && inner[0] == '-';
    if (remove) inner.remove_prefix(1);
    auto name = ParseRegKeyName(inner);
    if (!name)
      return fail(
          "not a registry key (must begin with HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE or "
          "HKEY_CLASSES_ROOT): " +
          DisplayText(inner));
    std::string problem = RegKeyPathProblem(*name);
    if (!problem.empty()) return fail(problem);
    if (remove && name->path.empty())
      return fail("a hive's root key cannot be deleted: " + name->display());
    RegFileEdit edit;
    edit.kind = remove ? RegFileEdit::Kind::DeleteKey : RegFileEdit::Kind::CreateKey;
    edit.line = m_line;
    edit.key = *name;
    m_edits.push_back(std::move(edit));
    m_key = remove ? std::nullopt : std::optional<RegKeyName>(*name);
    return true;
  }

  bool value(std::string_view line) {
    if (!m_key) return fail("value outside a key section: " + DisplayText(line));
    RegFileEdit edit;
    edit.kind = RegFileEdit::Kind::SetValue;
    edit.line = m_line;
    edit.key = *m_key;
    std::string_view rest = line;
    if (rest[0] == '@') {
      rest.remove_prefix(1);
    } else {
      auto after = ReadQuoted(rest, edit.valueName);
      if (!after) return fail("value name must be @ or a quoted name: " + DisplayText(line));
      rest = *after;
    }
    // A NUL would end the name for every reader of it: the value would be stored under
    // another name than the file gives.
    if (edit.valueName.find('\0') != std::string::npos)
      return fail("NUL character in value name: " + DisplayText(line));
    rest = Trim(rest);
    if (rest.empty() || rest[0] != '=')
      return fail("missing = after the value name: " + DisplayText(line));
    rest = Trim(rest.substr(1));
    if (rest.empty()) return fail("missing value data after =: " + DisplayText(line));
    if (rest == "-") {
      edit.kind = RegFileEdit::Kind::DeleteValue;
    } else if (rest.front() == '"') {
      edit.type = REG_SZ;
      auto after = ReadQuoted(rest, edit.data);
      if (!after || !Trim(*after).empty()) return fail("unterminated string: " + DisplayText(line));
      edit.data += '\0';
    } else if (StartsWith(rest, "dword:")) {
      std::string_view digits = rest.substr(6);
      if (digits.empty() || digits.size() > 8 ||
          digits.find_first_not_of(kHexDigits) != std::string_view::npos)
        return fail("dword data must be up to 8 hex digits: " + DisplayText(line));
      edit.type = REG_DWORD;
      edit.data = DwordBytes(std::strtoul(std::string(digits).c_str(), nullptr, 16));
    } else if (StartsWith(rest, "hex")) {
      rest.remove_prefix(3);
      edit.type = REG_BINARY;
      if (!rest.empty() && rest[0] == '(') {
        auto close = rest.find(')');
        std::string_view number = rest.substr(1, close == std::string_view::npos ? 0 : close - 1);
        if (close == std::string_view::npos || number.empty() || number.size() > 8 ||
            number.find_first_not_of(kHexDigits) != std::string_view::npos)
          return fail("bad hex(type): " + DisplayText(line));
        edit.type = static_cast<DWORD>(std::strtoul(std::string(number).c_str(), nullptr, 16));
        rest.remove_prefix(close + 1);
      }
      if (rest.empty() || rest[0] != ':') return fail("missing : after hex: " + DisplayText(line));
      auto bytes = ParseHexBytes(rest.substr(1));
      if (!bytes) return fail("not hex bytes (e.g. 0102ff or 01,02,ff): " + DisplayText(line));
      edit.data = std::move(*bytes);
    } else {
      return fail("unknown value data: " + DisplayText(line));
    }
    m_edits.push_back(std::move(edit));
    return true;
  }

  std::vector<RegFileEdit>& m_edits;
  RegFileError& m_error;
  std::size_t m_line = 0;
  std::optional<RegKeyName> m_key;  // the section values go to; none after a deletion
};

}  // namespace

std::string RegKeyName::display() const {
  std::string hive = root == HKEY_CURRENT_USER    ? "HKEY_CURRENT_USER"
                     : root == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE"
                                                  : "HKEY_CLASSES_ROOT";
  return path.empty() ? hive : hive + "\\" + path;
}

RegKeyName RegKeyName::child(const std::string& name) const {
  return RegKeyName{root, path.empty() ? name : path + "\\" + name, typed + "\\" + name};
}

std::optional<RegKeyName> ParseRegKeyName(std::string_view text) {
  auto cut = text.find('\\');
  std::string_view hive = text.substr(0, cut);
  RegKeyName key;
  if (EqualsNoCase(hive, "HKCU") || EqualsNoCase(hive, "HKEY_CURRENT_USER"))
    key.root = HKEY_CURRENT_USER;
  else if (EqualsNoCase(hive, "HKLM") || EqualsNoCase(hive, "HKEY_LOCAL_MACHINE"))
    key.root = HKEY_LOCAL_MACHINE;
  else if (EqualsNoCase(hive, "HKCR") || EqualsNoCase(hive, "HKEY_CLASSES_ROOT"))
    key.root = HKEY_CLASSES_ROOT;
  else
    return std::nullopt;
  std::string_view rest = cut == std::string_view::npos ? "" : text.substr(cut + 1);
  while (!rest.empty() && rest.front() == '\\') rest.remove_prefix(1);
  while (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
  key.path = rest;
  key.typed = std::string(hive) + (rest.empty() ? "" : "\\" + std::string(rest));
  return key;
}

std::string RegKeyPathProblem(const RegKeyName& key) {
  std::string_view rest = key.path;
  if (rest.find('\0') != std::string_view::npos)
    return "NUL character in key name: " + DisplayText(key.typed);
  std::size_t depth = 0;
  while (!rest.empty()) {
    auto cut = rest.find('\\');
    std::string_view part = rest.substr(0, cut);
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    if (part.empty()) continue;
    if (part.size() > kRegMaxKeyNameLength)
      return "key name longer than " + std::to_string(kRegMaxKeyNameLength) +
             " bytes: " + DisplayText(part.substr(0, 40)) + "...";
    if (++depth > kRegMaxKeyDepth)
      return "key path deeper than " + std::to_string(kRegMaxKeyDepth) +
             " levels: " + DisplayText(std::string_view(key.typed).substr(0, 80)) + "...";
  }
  return {};
}

bool ParseRegFile(std::string_view content, std::vector<RegFileEdit>& edits, RegFileError& error) {
  edits.clear();
  return Parser(edits, error).run(content);
}

std::optional<std::string> ParseHexBytes(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 2);
  int high = -1;
  for (char c : text) {
    if (c == ',' || c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    int nibble = c >= '0' && c <= '9'   ? c - '0'
                 : c >= 'a' && c <= 'f' ? c - 'a' + 10
                 : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                        : -1;
    if (nibble < 0) return std::nullopt;
    if (high < 0) {
      high = nibble;
    } else {
      out += static_cast<char>(high * 16 + nibble);
      high = -1;
    }
  }
  if (high >= 0) return std::nullopt;
  return out;
}

std::string HexBytes(std::string_view bytes, const char* separator, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i) out += separator;
    auto b = static_cast<unsigned char>(bytes[i]);
    out += digits[b >> 4];
    out += digits[b & 0xF];
  }
  return out;
}

std::optional<std::string> RegPlainText(const std::string& data) {
  if (data.empty() || data.back() != '\0') return std::nullopt;
  std::string text = data.substr(0, data.size() - 1);
  if (text.find_first_of(std::string("\0\r\n", 3)) != std::string::npos) return std::nullopt;
  if (!IsValidUtf8(text)) return std::nullopt;
  return text;
}

std::string RegFileValueLine(const std::string& name, DWORD type, const std::string& data) {
  std::string line = name.empty() ? "@" : Quoted(name);
  line += '=';
  if (type == REG_SZ) {
    if (auto text = RegPlainText(data)) return line + Quoted(*text);
  }
  if (type == REG_DWORD && data.size() == 4) {
    unsigned long v = 0;
    for (std::size_t i = 0; i < 4; ++i)
      v |= static_cast<unsigned long>(static_cast<unsigned char>(data[i])) << (8 * i);
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08lx", v);
    return line + buf;
  }
  if (type == REG_BINARY) return line + "hex:" + HexBytes(data, ",", false);
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(type));
  return line + prefix + HexBytes(data, ",", false);
}
