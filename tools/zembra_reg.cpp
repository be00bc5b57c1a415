// zembra-reg: query, add, delete, export and import registry keys from the command line.
// Exit code 0 on success; 1 with one line on standard error otherwise.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/registry.h"
#include "platform/core/text.h"

namespace {

constexpr const char* kUsage =
    "usage: zembra-reg query KEY [--value NAME]\n"
    "       zembra-reg add KEY [--value NAME] [--type REG_SZ|REG_DWORD|REG_BINARY] [--data DATA]\n"
    "       zembra-reg delete KEY [--value NAME]\n"
    "       zembra-reg export KEY\n"
    "       zembra-reg import FILE\n"
    "KEY begins with HKCU, HKLM or HKCR (or HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,\n"
    "HKEY_CLASSES_ROOT). DWORD data: decimal or 0x hex. BINARY data: hex bytes (0102ff or "
    "01,02,ff).\n";
constexpr const char* kHeader = "Windows Registry Editor Version 5.00";

// Thrown to end the program with one line on standard error.
struct Failure {
  std::string message;
};

[[noreturn]] void Fail(std::string message) { throw Failure{std::move(message)}; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// A key named on the command line or in a file: the hive and the path below it.
struct KeyName {
  HKEY root = nullptr;
  std::string path;   // without the hive, no leading or trailing backslash
  std::string typed;  // as the user wrote it, for messages

  std::string display() const {
    std::string hive = root == HKEY_CURRENT_USER    ? "HKEY_CURRENT_USER"
                       : root == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE"
                                                    : "HKEY_CLASSES_ROOT";
    return path.empty() ? hive : hive + "\\" + path;
  }
  KeyName child(const std::string& name) const {
    return KeyName{root, path.empty() ? name : path + "\\" + name, typed + "\\" + name};
  }
};

std::optional<KeyName> ParseKey(std::string_view text) {
  auto cut = text.find('\\');
  std::string_view hive = text.substr(0, cut);
  KeyName key;
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

KeyName ParseKeyOrFail(std::string_view text) {
  auto key = ParseKey(text);
  if (!key) Fail("not a registry key (must begin with HKCU, HKLM or HKCR): " + std::string(text));
  return *key;
}

// The message for a failed registry call on a key.
[[noreturn]] void FailWith(LONG rc, const KeyName& key) {
  switch (rc) {
    case ERROR_FILE_NOT_FOUND:
      Fail("key not found: " + key.typed);
    case ERROR_ACCESS_DENIED:
      Fail("access denied: " + key.typed);
    case ERROR_KEY_DELETED:
      Fail("key was deleted meanwhile: " + key.typed);
    case ERROR_BADDB:
      Fail("registry hive is damaged or not a Zembra registry (left unchanged): " +
           RegistryHiveFile(key.root));
    default:
      Fail("registry error " + std::to_string(rc) + ": " + key.typed);
  }
}

RegKey OpenKey(const KeyName& key, REGSAM access) {
  RegKey k;
  LONG rc = RegOpenKeyEx(key.root, key.path.c_str(), 0, access, k.put());
  if (rc != ERROR_SUCCESS) FailWith(rc, key);
  return k;
}

struct Value {
  std::string name;
  DWORD type = REG_NONE;
  std::string data;
};

std::vector<Value> ReadValues(HKEY key, const KeyName& name) {
  DWORD maxName = 0, maxData = 0;
  LONG rc = RegQueryInfoKey(key, nullptr, nullptr, nullptr, &maxName, &maxData);
  if (rc != ERROR_SUCCESS) FailWith(rc, name);
  std::vector<Value> values;
  for (DWORD i = 0;; ++i) {
    std::vector<char> nameBuf(maxName + 1);
    std::vector<BYTE> data(maxData + 1);
    DWORD nameLength = static_cast<DWORD>(nameBuf.size());
    DWORD size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    rc = RegEnumValue(key, i, nameBuf.data(), &nameLength, nullptr, &type, data.data(), &size);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_MORE_DATA) {  // grew meanwhile: read the sizes again
      rc = RegQueryInfoKey(key, nullptr, nullptr, nullptr, &maxName, &maxData);
      if (rc != ERROR_SUCCESS) FailWith(rc, name);
      --i;
      continue;
    }
    if (rc != ERROR_SUCCESS) FailWith(rc, name);
    values.push_back(Value{std::string(nameBuf.data(), nameLength), type,
                           std::string(reinterpret_cast<char*>(data.data()), size)});
  }
  return values;
}

std::vector<std::string> ReadSubkeys(HKEY key, const KeyName& name) {
  std::vector<std::string> subkeys;
  for (DWORD i = 0;; ++i) {
    char buffer[256];
    DWORD length = sizeof buffer;
    LONG rc = RegEnumKeyEx(key, i, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) FailWith(rc, name);
    subkeys.emplace_back(buffer, length);
  }
  return subkeys;
}

std::string TypeName(DWORD type) {
  switch (type) {
    case REG_NONE:
      return "REG_NONE";
    case REG_SZ:
      return "REG_SZ";
    case REG_EXPAND_SZ:
      return "REG_EXPAND_SZ";
    case REG_BINARY:
      return "REG_BINARY";
    case REG_DWORD:
      return "REG_DWORD";
    default:
      return "REG_TYPE_" + std::to_string(type);
  }
}

std::string Hex(std::string_view bytes, const char* separator, bool upper) {
  static constexpr char kLower[] = "0123456789abcdef";
  static constexpr char kUpper[] = "0123456789ABCDEF";
  const char* digits = upper ? kUpper : kLower;
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i) out += separator;
    auto b = static_cast<unsigned char>(bytes[i]);
    out += digits[b >> 4];
    out += digits[b & 0xF];
  }
  return out;
}

DWORD DwordOf(std::string_view data) {
  DWORD v = 0;
  for (std::size_t i = 0; i < 4; ++i)
    v |= static_cast<DWORD>(static_cast<unsigned char>(data[i])) << (8 * i);
  return v;
}

// The text of a REG_SZ value when it is plain one-line text with its terminating NUL.
std::optional<std::string> PlainText(const std::string& data) {
  if (data.empty() || data.back() != '\0') return std::nullopt;
  std::string text = data.substr(0, data.size() - 1);
  if (text.find_first_of(std::string("\0\r\n", 3)) != std::string::npos) return std::nullopt;
  if (!IsValidUtf8(text)) return std::nullopt;
  return text;
}

std::string ShownData(const Value& v) {
  if (v.type == REG_SZ || v.type == REG_EXPAND_SZ) {
    if (auto text = PlainText(v.data)) return *text;
  }
  if (v.type == REG_DWORD && v.data.size() == 4) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", DwordOf(v.data));
    return buf;
  }
  return Hex(v.data, "", true);
}

void PrintValue(const Value& v) {
  std::cout << "    " << (v.name.empty() ? "(Default)" : v.name) << "    " << TypeName(v.type)
            << "    " << ShownData(v) << '\n';
}

int Query(const KeyName& name, const std::optional<std::string>& valueName) {
  RegKey key = OpenKey(name, KEY_READ);
  if (valueName) {
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueEx(key.get(), valueName->c_str(), nullptr, &type, nullptr, &size);
    std::string data(size, '\0');
    if (rc == ERROR_SUCCESS)
      rc = RegQueryValueEx(key.get(), valueName->c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(data.data()), &size);
    if (rc == ERROR_FILE_NOT_FOUND)
      Fail("value not found: " + (valueName->empty() ? "(Default)" : *valueName) + " in " +
           name.typed);
    if (rc != ERROR_SUCCESS) FailWith(rc, name);
    data.resize(size);
    std::cout << name.display() << '\n';
    PrintValue(Value{*valueName, type, data});
    return 0;
  }
  std::vector<Value> values = ReadValues(key.get(), name);
  std::vector<std::string> subkeys = ReadSubkeys(key.get(), name);
  std::cout << name.display() << '\n';
  for (const Value& v : values) PrintValue(v);
  if (!subkeys.empty()) std::cout << '\n';
  for (const std::string& sub : subkeys) std::cout << name.child(sub).display() << '\n';
  return 0;
}

std::string ParseData(DWORD type, const std::string& text) {
  if (type == REG_SZ) return text + '\0';
  if (type == REG_DWORD) {
    const char* begin = text.c_str();
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(begin, &end, hex ? 16 : 10);
    if (text.empty() || text[0] == '-' || text[0] == '+' || *end != '\0' || errno != 0 ||
        v > 0xFFFFFFFFull)
      Fail("not a DWORD (decimal or 0x hex, at most 0xffffffff): " + text);
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
  }
  std::string digits;
  for (char c : text)
    if (c != ',' && c != ' ') digits += c;
  std::string out;
  if (digits.size() % 2 != 0) Fail("not hex bytes (e.g. 0102ff or 01,02,ff): " + text);
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    auto nibble = [&](char c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      Fail("not hex bytes (e.g. 0102ff or 01,02,ff): " + text);
    };
    out += static_cast<char>(nibble(digits[i]) * 16 + nibble(digits[i + 1]));
  }
  return out;
}

DWORD ParseType(const std::string& text) {
  if (EqualsNoCase(text, "REG_SZ")) return REG_SZ;
  if (EqualsNoCase(text, "REG_DWORD")) return REG_DWORD;
  if (EqualsNoCase(text, "REG_BINARY")) return REG_BINARY;
  Fail("unknown type (REG_SZ, REG_DWORD or REG_BINARY): " + text);
}

void SetValue(HKEY key, const KeyName& name, const std::string& valueName, DWORD type,
              const std::string& data) {
  LONG rc =
      RegSetValueEx(key, valueName.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                    static_cast<DWORD>(data.size()));
  if (rc != ERROR_SUCCESS) FailWith(rc, name);
}

RegKey CreateKey(const KeyName& name) {
  RegKey key;
  LONG rc = RegCreateKeyEx(name.root, name.path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr);
  if (rc != ERROR_SUCCESS) FailWith(rc, name);
  return key;
}

int Add(const KeyName& name, const std::optional<std::string>& valueName,
        const std::optional<std::string>& typeText, const std::optional<std::string>& dataText) {
  // Parse everything before writing anything: bad input leaves the registry as it was.
  bool writeValue = typeText || dataText || (valueName && !valueName->empty());
  DWORD type = typeText ? ParseType(*typeText) : REG_SZ;
  std::string data = ParseData(type, dataText.value_or(type == REG_DWORD ? "0" : ""));
  RegKey key = CreateKey(name);
  if (writeValue) SetValue(key.get(), name, valueName.value_or(""), type, data);
  return 0;
}

int Delete(const KeyName& name, const std::optional<std::string>& valueName) {
  if (valueName) {
    RegKey key = OpenKey(name, KEY_QUERY_VALUE | KEY_SET_VALUE);
    LONG rc = RegDeleteValue(key.get(), valueName->c_str());
    if (rc == ERROR_FILE_NOT_FOUND)
      Fail("value not found: " + (valueName->empty() ? "(Default)" : *valueName) + " in " +
           name.typed);
    if (rc != ERROR_SUCCESS) FailWith(rc, name);
    return 0;
  }
  if (name.path.empty()) Fail("a hive's root key cannot be deleted: " + name.typed);
  LONG rc = RegDeleteTree(name.root, name.path.c_str());
  if (rc != ERROR_SUCCESS) FailWith(rc, name);
  return 0;
}

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + '"';
}

// One value as a line of the export format. Data that the quoted or dword forms would not give
// back byte for byte is written as hex with its type, so an import restores it exactly.
std::string ExportLine(const Value& v) {
  std::string line = v.name.empty() ? "@" : Quoted(v.name);
  line += '=';
  if (v.type == REG_SZ) {
    if (auto text = PlainText(v.data)) return line + Quoted(*text);
  }
  if (v.type == REG_DWORD && v.data.size() == 4) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08x", DwordOf(v.data));
    return line + buf;
  }
  if (v.type == REG_BINARY) return line + "hex:" + Hex(v.data, ",", false);
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "hex(%x):", v.type);
  return line + prefix + Hex(v.data, ",", false);
}

void ExportKey(HKEY key, const KeyName& name, std::string& out) {
  out += "[" + name.display() + "]\n";
  for (const Value& v : ReadValues(key, name)) out += ExportLine(v) + "\n";
  out += "\n";
  for (const std::string& sub : ReadSubkeys(key, name)) {
    KeyName childName = name.child(sub);
    RegKey child;
    LONG rc = RegOpenKeyEx(key, sub.c_str(), 0, KEY_READ, child.put());
    if (rc != ERROR_SUCCESS) FailWith(rc, childName);
    ExportKey(child.get(), childName, out);
  }
}

int Export(const KeyName& name) {
  RegKey key = OpenKey(name, KEY_READ);
  // Built whole before printing, so a failure part-way prints nothing but the error.
  std::string out = std::string(kHeader) + "\n\n";
  ExportKey(key.get(), name, out);
  std::cout << out;
  return 0;
}

std::string Utf16ToUtf8(std::string_view bytes) {
  std::string out;
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

// Reads a quoted string at the start of text (backslash escapes the next character); returns
// the rest after the closing quote.
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

class Importer {
 public:
  explicit Importer(std::string file) : m_file(std::move(file)) {}

  int run() {
    std::ifstream in(m_file, std::ios::binary);
    if (!in) Fail("cannot read file: " + m_file);
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string content = buffer.str();
    if (content.rfind("\xFF\xFE", 0) == 0)
      content = Utf16ToUtf8(std::string_view(content).substr(2));
    if (content.rfind("\xEF\xBB\xBF", 0) == 0) content.erase(0, 3);

    std::vector<std::string> lines;
    std::istringstream text(content);
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    bool headerSeen = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      m_line = i + 1;
      std::string line(Trim(lines[i]));
      // Long hex data continues on the next line after a trailing backslash.
      while (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string::npos &&
             i + 1 < lines.size())
        line = line.substr(0, line.size() - 1) + std::string(Trim(lines[++i]));
      if (line.empty() || line[0] == ';') continue;
      if (!headerSeen) {
        if (line != kHeader && line != "REGEDIT4")
          fail(std::string("not a registry file (first line must be \"") + kHeader + "\")");
        headerSeen = true;
        continue;
      }
      if (line[0] == '[')
        section(line);
      else
        value(line);
    }
    if (!headerSeen)
      fail(std::string("not a registry file (first line must be \"") + kHeader + "\")");
    return 0;
  }

 private:
  [[noreturn]] void fail(const std::string& message) {
    Fail(m_file + ":" + std::to_string(m_line) + ": " + message);
  }

  void section(const std::string& line) {
    if (line.back() != ']') fail("section without closing ]: " + line);
    std::string inner = line.substr(1, line.size() - 2);
    bool remove = !inner.empty() && inner[0] == '-';
    if (remove) inner.erase(0, 1);
    auto name = ParseKey(inner);
    if (!name)
      fail(
          "not a registry key (must begin with HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE or "
          "HKEY_CLASSES_ROOT): " +
          inner);
    m_key.reset();
    if (remove) {
      if (name->path.empty()) fail("a hive's root key cannot be deleted: " + name->display());
      LONG rc = RegDeleteTree(name->root, name->path.c_str());
      if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) FailWith(rc, *name);
      return;
    }
    m_name = *name;
    m_key = CreateKey(m_name);
  }

  void value(const std::string& line) {
    if (!m_key) fail("value outside a key section: " + line);
    std::string valueName;
    std::string_view rest = line;
    if (rest[0] == '@') {
      rest.remove_prefix(1);
    } else {
      auto after = ReadQuoted(rest, valueName);
      if (!after) fail("value name must be @ or a quoted name: " + line);
      rest = *after;
    }
    rest = Trim(rest);
    if (rest.empty() || rest[0] != '=') fail("missing = after the value name: " + line);
    rest = Trim(rest.substr(1));
    if (rest == "-") {
      LONG rc = RegDeleteValue(m_key.get(), valueName.c_str());
      if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) FailWith(rc, m_name);
      return;
    }
    DWORD type = REG_SZ;
    std::string data;
    if (rest.front() == '"') {
      auto after = ReadQuoted(rest, data);
      if (!after || !Trim(*after).empty()) fail("unterminated string: " + line);
      data += '\0';
    } else if (rest.rfind("dword:", 0) == 0) {
      std::string digits(rest.substr(6));
      if (digits.empty() || digits.size() > 8 ||
          digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        fail("dword data must be up to 8 hex digits: " + line);
      type = REG_DWORD;
      data = ParseData(REG_DWORD, "0x" + digits);
    } else if (rest.rfind("hex", 0) == 0) {
      rest.remove_prefix(3);
      type = REG_BINARY;
      if (!rest.empty() && rest[0] == '(') {
        auto close = rest.find(')');
        std::string number(rest.substr(1, close == std::string_view::npos ? 0 : close - 1));
        if (close == std::string_view::npos || number.empty() || number.size() > 8 ||
            number.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
          fail("bad hex(type): " + line);
        type = static_cast<DWORD>(std::strtoul(number.c_str(), nullptr, 16));
        rest.remove_prefix(close + 1);
      }
      if (rest.empty() || rest[0] != ':') fail("missing : after hex: " + line);
      rest.remove_prefix(1);
      try {
        data = ParseData(REG_BINARY, std::string(rest));
      } catch (const Failure& f) {
        fail(f.message);
      }
    } else {
      fail("unknown value data: " + line);
    }
    SetValue(m_key.get(), m_name, valueName, type, data);
  }

  std::string m_file;
  std::size_t m_line = 0;
  KeyName m_name;
  RegKey m_key;
};

int Run(int argc, char** argv) {
  if (argc < 2) Fail("missing command; try zembra-reg --help");
  std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << kUsage;
    return 0;
  }
  if (argc < 3)
    Fail("missing " + std::string(command == "import" ? "FILE" : "KEY") + " for " + command);
  std::string target = argv[2];
  std::optional<std::string> valueName, type, data;
  for (int i = 3; i < argc; ++i) {
    std::string option = argv[i];
    std::optional<std::string>* slot = option == "--value"  ? &valueName
                                       : option == "--type" ? &type
                                       : option == "--data" ? &data
                                                            : nullptr;
    if (!slot) Fail("unknown option: " + option);
    if (i + 1 >= argc) Fail("missing argument after " + option);
    *slot = argv[++i];
  }
  bool addOnly = (type || data) && command != "add";
  bool noValue = valueName && (command == "export" || command == "import");
  if (addOnly || noValue) Fail("option not allowed with " + command);

  if (command == "query") return Query(ParseKeyOrFail(target), valueName);
  if (command == "add") return Add(ParseKeyOrFail(target), valueName, type, data);
  if (command == "delete") return Delete(ParseKeyOrFail(target), valueName);
  if (command == "export") return Export(ParseKeyOrFail(target));
  if (command == "import") return Importer(target).run();
  Fail("unknown command: " + command + " (query, add, delete, export or import)");
}

}  // namespace

int main(int argc, char** argv) {
  // This tool names the damaged hive in its own one-line message.
  RegistryReportDamageOnStderr(false);
  try {
    return Run(argc, argv);
  } catch (const Failure& f) {
    std::cout.flush();
    std::cerr << "zembra-reg: " << f.message << '\n';
    return 1;
  }
}
