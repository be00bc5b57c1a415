// The registrar's script language on any text. A script that reads is written out again with
// every name and value quoted, and that text reads back as the same keys and values.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "platform/core/registry.h"
#include "shellext/registrar/registrar_script.h"

namespace {

// Quoted, with quotes doubled and '%' written "%%", which the replacements turn back into '%'.
std::string Quoted(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    if (c == '%') out += '%';
    out += c;
  }
  return out + "'";
}

std::string ValueText(const ScriptValue& value) {
  if (value.type == REG_DWORD) {
    FUZZ_CHECK(value.data.size() == sizeof(DWORD));
    DWORD n = 0;
    for (std::size_t i = 0; i < sizeof n; ++i)
      n |= static_cast<DWORD>(static_cast<unsigned char>(value.data[i])) << (8 * i);
    return "d " + std::to_string(n);
  }
  if (value.type == REG_BINARY) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : value.data) {
      hex += kHex[c >> 4];
      hex += kHex[c & 15];
    }
    return "b " + Quoted(hex);
  }
  FUZZ_CHECK(value.type == REG_SZ);
  return "s " + Quoted(value.data);
}

const char* FlagText(ScriptKey::Flag flag) {
  switch (flag) {
    case ScriptKey::Flag::ForceRemove: return "ForceRemove ";
    case ScriptKey::Flag::NoRemove: return "NoRemove ";
    case ScriptKey::Flag::Delete: return "Delete ";
    case ScriptKey::Flag::None: break;
  }
  return "";
}

void AppendKey(const ScriptKey& key, std::string& out) {
  out += FlagText(key.flag) + Quoted(key.name);
  if (key.hasDefault) out += " = " + ValueText(key.defaultValue);
  out += "\n{\n";
  for (const ScriptNamedValue& named : key.values)
    out += "val " + Quoted(named.name) + " = " + ValueText(named.value) + "\n";
  for (const ScriptKey& subkey : key.subkeys) AppendKey(subkey, out);
  out += "}\n";
}

bool SameValue(const ScriptValue& a, const ScriptValue& b) {
  return a.type == b.type && a.data == b.data;
}

bool SameKey(const ScriptKey& a, const ScriptKey& b) {
  if (a.flag != b.flag || a.name != b.name || a.hasDefault != b.hasDefault) return false;
  if (a.hasDefault && !SameValue(a.defaultValue, b.defaultValue)) return false;
  if (a.values.size() != b.values.size() || a.subkeys.size() != b.subkeys.size()) return false;
  for (std::size_t i = 0; i < a.values.size(); ++i) {
    if (a.values[i].name != b.values[i].name || !SameValue(a.values[i].value, b.values[i].value))
      return false;
  }
  for (std::size_t i = 0; i < a.subkeys.size(); ++i)
    if (!SameKey(a.subkeys[i], b.subkeys[i])) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const ScriptReplacements replacements = {{"MODULE", "/usr/lib/zembra/libZembraShlExt.so"},
                                           {"CLSID", "{3B8F2A61-7C4D-4E19-A5B2-91D06E3F7C48}"}};
  const ParsedScript script = ParseRegistrarScript(text, replacements);
  if (!script.ok) {
    FUZZ_CHECK(script.error.find("line ") == 0 || script.error.find('%') != std::string::npos);
    return 0;
  }
  std::string written;
  for (const ScriptRoot& root : script.roots) {
    written += Quoted(root.hive) + "\n{\n";
    for (const ScriptKey& key : root.keys) AppendKey(key, written);
    written += "}\n";
  }
  const ParsedScript again = ParseRegistrarScript(written, {});
  FUZZ_CHECK(again.ok);
  FUZZ_CHECK(again.roots.size() == script.roots.size());
  for (std::size_t i = 0; i < script.roots.size(); ++i) {
    FUZZ_CHECK(again.roots[i].hive == script.roots[i].hive);
    FUZZ_CHECK(again.roots[i].keys.size() == script.roots[i].keys.size());
    for (std::size_t k = 0; k < script.roots[i].keys.size(); ++k)
      FUZZ_CHECK(SameKey(again.roots[i].keys[k], script.roots[i].keys[k]));
  }
  return 0;
}
