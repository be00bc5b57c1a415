#include "shellext/registrar/registrar_script.h"

#include <cstdlib>

#include "platform/core/registry.h"

namespace {

constexpr int kMaxDepth = 32;

// A parse failure; carries the message up to the entry point.
struct ScriptError {
  std::string message;
};

bool ApplyReplacements(std::string_view text, const ScriptReplacements& replacements,
                       std::string& out, std::string& error) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    const std::size_t end = text.find('%', i + 1);
    if (end == std::string_view::npos) {
      error = "a '%' without its closing '%'";
      return false;
    }
    const std::string name(text.substr(i + 1, end - i - 1));
    if (name.empty()) {
      out += '%';
    } else {
      auto it = replacements.find(name);
      if (it == replacements.end()) {
        error = "no replacement for %" + name + "%";
        return false;
      }
      out += it->second;
    }
    i = end;
  }
  return true;
}

struct Token {
  std::string text;
  bool quoted = false;
  int line = 1;
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

class Parser {
 public:
  explicit Parser(std::string_view text) : m_text(text) { Advance(); }

  std::vector<ScriptRoot> Script() {
    std::vector<ScriptRoot> roots;
    while (!m_end) {
      ScriptRoot root;
      root.hive = Word("a hive name");
      Expect("{");
      while (!IsSymbol("}")) root.keys.push_back(Key(1));
      Advance();
      roots.push_back(std::move(root));
    }
    return roots;
  }

 private:
  [[noreturn]] void Fail(const std::string& message) const {
    throw ScriptError{"line " + std::to_string(m_token.line) + ": " + message};
  }

  bool IsSymbol(const char* symbol) const {
    if (m_end) Fail(std::string("missing '") + symbol + "'");
    return !m_token.quoted && m_token.text == symbol;
  }

  void Expect(const char* symbol) {
    if (!IsSymbol(symbol))
      Fail(std::string("'") + symbol + "' expected, found '" + m_token.text + "'");
    Advance();
  }

  // A name: a quoted text, or a bare word that is not one of the symbols.
  std::string Word(const char* what) {
    if (m_end) Fail(std::string(what) + " expected at the end");
    if (!m_token.quoted && (m_token.text == "{" || m_token.text == "}" || m_token.text == "="))
      Fail(std::string(what) + " expected, found '" + m_token.text + "'");
    std::string word = std::move(m_token.text);
    Advance();
    return word;
  }

  ScriptValue Value() {
    const std::string type = Word("a value type");
    const std::string data = Word("a value");
    ScriptValue value;
    if (type == "s" || type == "S") {
      value.type = REG_SZ;
      value.data = data;
    } else if (type == "d" || type == "D") {
      value.type = REG_DWORD;
      // Decimal, or hexadecimal after "0x": a leading zero does not make it octal.
      const bool hex = data.size() > 2 && data[0] == '0' && (data[1] == 'x' || data[1] == 'X');
      char* end = nullptr;
      const unsigned long long n = std::strtoull(data.c_str(), &end, hex ? 16 : 10);
      if (data.empty() || *end != '\0' || n > 0xFFFFFFFFull || data[0] == '-')
        Fail("'" + data + "' is not a DWORD");
      const auto v = static_cast<DWORD>(n);
      value.data.assign(reinterpret_cast<const char*>(&v), sizeof v);
    } else if (type == "b" || type == "B") {
      value.type = REG_BINARY;
      if (data.size() % 2 != 0) Fail("binary data needs pairs of hex digits");
      for (std::size_t i = 0; i < data.size(); i += 2) {
        const std::string pair = data.substr(i, 2);
        char* end = nullptr;
        const unsigned long byte = std::strtoul(pair.c_str(), &end, 16);
        if (*end != '\0' || pair[0] == '-' || pair[0] == '+' || IsSpace(pair[0]))
          Fail("'" + data + "' is not hex data");
        value.data += static_cast<char>(byte);
      }
    } else {
      Fail("unknown value type '" + type + "'");
    }
    return value;
  }

  ScriptKey Key(int depth) {
    if (depth > kMaxDepth) Fail("keys nested too deeply");
    ScriptKey key;
    if (!m_token.quoted) {
      if (m_token.text == "ForceRemove") key.flag = ScriptKey::Flag::ForceRemove;
      if (m_token.text == "NoRemove") key.flag = ScriptKey::Flag::NoRemove;
      if (m_token.text == "Delete") key.flag = ScriptKey::Flag::Delete;
      if (key.flag != ScriptKey::Flag::None) Advance();
    }
    key.name = Word("a key name");
    if (key.name.empty() || key.name.find('\\') != std::string::npos)
      Fail("'" + key.name + "' is not a key name");
    if (!m_end && IsSymbol("=")) {
      Advance();
      key.hasDefault = true;
      key.defaultValue = Value();
    }
    if (!m_end && IsSymbol("{")) {
      Advance();
      while (!IsSymbol("}")) {
        if (!m_token.quoted && m_token.text == "val") {
          Advance();
          ScriptNamedValue named;
          named.name = Word("a value name");
          Expect("=");
          named.value = Value();
          key.values.push_back(std::move(named));
        } else {
          key.subkeys.push_back(Key(depth + 1));
        }
      }
      Advance();
    }
    return key;
  }

  void Advance() {
    while (m_pos < m_text.size() && IsSpace(m_text[m_pos])) {
      if (m_text[m_pos] == '\n') ++m_line;
      ++m_pos;
    }
    m_token = Token{{}, false, m_line};
    if (m_pos >= m_text.size()) {
      m_end = true;
      return;
    }
    if (m_text[m_pos] == '\'') {
      m_token.quoted = true;
      ++m_pos;
      for (;;) {
        if (m_pos >= m_text.size()) Fail("a quoted text without its closing quote");
        const char c = m_text[m_pos++];
        if (c == '\n') ++m_line;
        if (c != '\'') {
          m_token.text += c;
        } else if (m_pos < m_text.size() && m_text[m_pos] == '\'') {
          m_token.text += '\'';
          ++m_pos;
        } else {
          break;
        }
      }
      return;
    }
    while (m_pos < m_text.size() && !IsSpace(m_text[m_pos])) m_token.text += m_text[m_pos++];
  }

  std::string_view m_text;
  std::size_t m_pos = 0;
  int m_line = 1;
  Token m_token;
  bool m_end = false;
};

}  // namespace

ParsedScript ParseRegistrarScript(std::string_view text, const ScriptReplacements& replacements) {
  ParsedScript result;
  std::string expanded;
  if (!ApplyReplacements(text, replacements, expanded, result.error)) return result;
  try {
    Parser parser(expanded);
    result.roots = parser.Script();
    result.ok = true;
  } catch (const ScriptError& e) {
    result.error = e.message;
  }
  return result;
}
