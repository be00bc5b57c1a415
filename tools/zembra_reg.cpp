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

#include "platform/core/files.h"
#include "platform/core/registry.h"
#include "platform/core/registry_file.h"
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

// Thrown to end the program with one line on standard error.
struct Failure {
  std::string message;
};

[[noreturn]] void Fail(std::string message) { throw Failure{std::move(message)}; }

using KeyName = RegKeyName;

KeyName ParseKeyOrFail(std::string_view text) {
  auto key = ParseRegKeyName(text);
  if (!key) Fail("not a registry key (must begin with HKCU, HKLM or HKCR): " + std::string(text));
  std::string problem = RegKeyPathProblem(*key);
  if (!problem.empty()) Fail(problem);
  return *key;
}

// The message for a failed registry call on a key.
std::string Describe(LONG rc, const KeyName& key) {
  std::string hive = RegistryHiveFile(key.root);
  if (IsFolder(hive)) return "registry hive is a folder, not a file: " + hive;
  switch (rc) {
    case ERROR_FILE_NOT_FOUND: return "key not found: " + key.typed;
    case ERROR_ACCESS_DENIED: return "access denied: " + key.typed;
    case ERROR_KEY_DELETED: return "key was deleted meanwhile: " + key.typed;
    case ERROR_BADDB:
      return "registry hive is damaged or not a Zembra registry (left unchanged): " + hive;
    case ERROR_INVALID_PARAMETER: {
      std::string problem = RegKeyPathProblem(key);
      return problem.empty() ? "not a valid key: " + key.typed : problem;
    }
    default:
      return "registry error " + std::to_string(rc) + " (" + RegistryErrorText(rc) +
             "): " + key.typed;
  }
}

[[noreturn]] void FailWith(LONG rc, const KeyName& key) { Fail(Describe(rc, key)); }

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
    case REG_NONE: return "REG_NONE";
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    default: return "REG_TYPE_" + std::to_string(type);
  }
}

DWORD DwordOf(std::string_view data) {
  DWORD v = 0;
  for (std::size_t i = 0; i < 4; ++i)
    v |= static_cast<DWORD>(static_cast<unsigned char>(data[i])) << (8 * i);
  return v;
}

std::string ShownData(const Value& v) {
  if (v.type == REG_SZ || v.type == REG_EXPAND_SZ) {
    if (auto text = RegPlainText(v.data)) return *text;
  }
  if (v.type == REG_DWORD && v.data.size() == 4) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", DwordOf(v.data));
    return buf;
  }
  return HexBytes(v.data, "", true);
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
  auto bytes = ParseHexBytes(text);
  if (!bytes) Fail("not hex bytes (e.g. 0102ff or 01,02,ff): " + text);
  return *bytes;
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

// Writes the key and every key below it, each section after its parent's, subkeys in their
// enumeration order. Walked with a list of keys still to write rather than by recursion, so
// that no depth of keys can exhaust the stack.
void ExportTree(HKEY top, const KeyName& topName, std::string& out) {
  struct Pending {
    RegKey key;
    KeyName name;
  };
  std::vector<Pending> stack;
  RegKey first;
  LONG rc = RegOpenKeyEx(top, nullptr, 0, KEY_READ, first.put());
  if (rc != ERROR_SUCCESS) FailWith(rc, topName);
  stack.push_back(Pending{std::move(first), topName});
  while (!stack.empty()) {
    Pending current = std::move(stack.back());
    stack.pop_back();
    out += "[" + current.name.display() + "]\n";
    for (const Value& v : ReadValues(current.key.get(), current.name))
      out += RegFileValueLine(v.name, v.type, v.data) + "\n";
    out += "\n";
    std::vector<std::string> subkeys = ReadSubkeys(current.key.get(), current.name);
    // Pushed last to first, so that the first subkey is written next.
    for (auto sub = subkeys.rbegin(); sub != subkeys.rend(); ++sub) {
      KeyName childName = current.name.child(*sub);
      RegKey child;
      rc = RegOpenKeyEx(current.key.get(), sub->c_str(), 0, KEY_READ, child.put());
      if (rc != ERROR_SUCCESS) FailWith(rc, childName);
      stack.push_back(Pending{std::move(child), std::move(childName)});
    }
  }
}

int Export(const KeyName& name) {
  RegKey key = OpenKey(name, KEY_READ);
  // Built whole before printing, so a failure part-way prints nothing but the error.
  std::string out = std::string(kRegFileHeader) + "\n\n";
  ExportTree(key.get(), name, out);
  std::cout << out;
  return 0;
}

// The hive transactions of an import: each hive's edits are one transaction, rolled back unless
// every edit of the file succeeded.
class HiveTransactions {
 public:
  ~HiveTransactions() {
    for (HKEY root : m_open) RegRollbackHiveTransaction(root);
  }
  LONG join(HKEY root) {
    for (HKEY open : m_open)
      if (open == root) return ERROR_SUCCESS;
    LONG rc = RegBeginHiveTransaction(root);
    if (rc == ERROR_SUCCESS) m_open.push_back(root);
    return rc;
  }
  LONG commit(HKEY& failed) {
    while (!m_open.empty()) {
      HKEY root = m_open.front();
      m_open.erase(m_open.begin());
      LONG rc = RegCommitHiveTransaction(root);
      if (rc != ERROR_SUCCESS) {
        failed = root;
        return rc;
      }
    }
    return ERROR_SUCCESS;
  }

 private:
  std::vector<HKEY> m_open;
};

class Importer {
 public:
  explicit Importer(std::string file) : m_file(std::move(file)) {}

  int run() {
    std::ifstream in(m_file, std::ios::binary);
    if (!in) Fail("cannot read file: " + m_file);
    std::stringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) Fail("cannot read file: " + m_file);
    std::vector<RegFileEdit> edits;
    RegFileError error;
    // Every line is checked before anything is written.
    if (!ParseRegFile(buffer.str(), edits, error)) fail(error.line, error.message);
    HiveTransactions transactions;
    RegKey key;
    const RegFileEdit* section = nullptr;
    for (const RegFileEdit& edit : edits) {
      LONG rc = transactions.join(edit.key.root);
      if (rc != ERROR_SUCCESS) fail(edit.line, Describe(rc, edit.key));
      switch (edit.kind) {
        case RegFileEdit::Kind::DeleteKey:
          key.reset();
          rc = RegDeleteTree(edit.key.root, edit.key.path.c_str());
          if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
          break;
        case RegFileEdit::Kind::CreateKey:
          section = &edit;
          rc = RegCreateKeyEx(edit.key.root, edit.key.path.c_str(), 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, key.put(),
                              nullptr);
          break;
        case RegFileEdit::Kind::SetValue:
          rc = RegSetValueEx(key.get(), edit.valueName.c_str(), 0, edit.type,
                             reinterpret_cast<const BYTE*>(edit.data.data()),
                             static_cast<DWORD>(edit.data.size()));
          break;
        case RegFileEdit::Kind::DeleteValue:
          rc = RegDeleteValue(key.get(), edit.valueName.c_str());
          if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
          break;
      }
      if (rc != ERROR_SUCCESS) fail(edit.line, Describe(rc, section ? section->key : edit.key));
    }
    key.reset();
    HKEY failed = nullptr;
    LONG rc = transactions.commit(failed);
    if (rc != ERROR_SUCCESS) {
      KeyName hive{failed, "", ""};
      hive.typed = hive.display();
      fail(0, Describe(rc, hive));
    }
    return 0;
  }

 private:
  [[noreturn]] void fail(std::size_t line, const std::string& message) {
    Fail(m_file + (line ? ":" + std::to_string(line) : std::string()) + ": " + message);
  }

  std::string m_file;
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
