// The registrar's script language: what it reads, what it refuses with which message, and what
// registration and removal do with each kind of key.
#include <gtest/gtest.h>

#include "platform/core/registry.h"
#include "shellext/registrar/registrar_script.h"
#include "shellext/registration_scripts.h"
#include "tests/shellext/shell_test_support.h"

namespace {

ParsedScript Parse(const std::string& text, const ScriptReplacements& replacements = {}) {
  return ParseRegistrarScript(text, replacements);
}

std::string ErrorOf(const std::string& text) {
  const ParsedScript script = Parse(text);
  EXPECT_FALSE(script.ok) << text;
  return script.error;
}

}  // namespace

TEST(RegistrarScript, ReadsKeysFlagsValuesAndReplacements) {
  const ParsedScript script = Parse(
      "HKCR\n{\n  NoRemove CLSID\n  {\n    ForceRemove 'It''s a key' = s '%MODULE%'\n    {\n"
      "      val Count = d '0x10'\n      val Raw = b '00ff'\n      Plain\n    }\n  }\n}\n",
      {{"MODULE", "/opt/o''neil/m.so 100%%"}});
  ASSERT_TRUE(script.ok) << script.error;
  ASSERT_EQ(script.roots.size(), 1u);
  EXPECT_EQ(script.roots[0].hive, "HKCR");
  const ScriptKey& clsid = script.roots[0].keys.at(0);
  EXPECT_EQ(clsid.flag, ScriptKey::Flag::NoRemove);
  const ScriptKey& key = clsid.subkeys.at(0);
  EXPECT_EQ(key.flag, ScriptKey::Flag::ForceRemove);
  EXPECT_EQ(key.name, "It's a key");
  EXPECT_EQ(key.defaultValue.data, "/opt/o'neil/m.so 100%%");  // replacements go in as given
  ASSERT_EQ(key.values.size(), 2u);
  EXPECT_EQ(key.values[0].value.type, REG_DWORD);
  EXPECT_EQ(key.values[0].value.data, std::string("\x10\0\0\0", 4));
  EXPECT_EQ(key.values[1].value.data, std::string("\x00\xff", 2));
  EXPECT_EQ(key.subkeys.at(0).name, "Plain");
  EXPECT_EQ(key.subkeys[0].flag, ScriptKey::Flag::None);
}

TEST(RegistrarScript, ADwordWithALeadingZeroIsDecimal) {
  const ParsedScript script =
      Parse("HKCR { Key { val A = d '010' val B = d '0X1f' val C = d '0' } }");
  ASSERT_TRUE(script.ok) << script.error;
  const std::vector<ScriptNamedValue>& values = script.roots.at(0).keys.at(0).values;
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0].value.data, std::string("\x0a\0\0\0", 4));
  EXPECT_EQ(values[1].value.data, std::string("\x1f\0\0\0", 4));
  EXPECT_EQ(values[2].value.data, std::string("\0\0\0\0", 4));
  EXPECT_EQ(ErrorOf("HKCR { Key = d '0x' }"), "line 1: '0x' is not a DWORD");
}

TEST(RegistrarScript, TheServersScriptsRead) {
  const ScriptReplacements r{{"MODULE", "/m.so"}, {"MODULEDIR", "/"}};
  for (const std::string& text :
       {RegistrationScript(IDR_ZEMBRASHELLEXT), RegistrationScript(IDR_ZEMBRASHLEXT),
        TypeLibraryScript(ModuleTypeLibrary())}) {
    const ParsedScript script = Parse(text, r);
    EXPECT_TRUE(script.ok) << script.error << "\n" << text;
  }
  EXPECT_EQ(RegistrationScript(113), "");
}

TEST(RegistrarScript, BrokenScriptsAreRefusedWithTheirLine) {
  EXPECT_EQ(ErrorOf("HKCR\n{\n  Key\n"), "line 4: missing '}'");
  EXPECT_EQ(ErrorOf("HKCR\n{\n  Key = s 'open\n}"),
            "line 3: a quoted text without its closing quote");
  EXPECT_EQ(ErrorOf("HKCR { Key = q 'x' }"), "line 1: unknown value type 'q'");
  EXPECT_EQ(ErrorOf("HKCR { Key = d 'ten' }"), "line 1: 'ten' is not a DWORD");
  EXPECT_EQ(ErrorOf("HKCR { Key = d '4294967296' }"), "line 1: '4294967296' is not a DWORD");
  EXPECT_EQ(ErrorOf("HKCR { Key = b 'abc' }"), "line 1: binary data needs pairs of hex digits");
  EXPECT_EQ(ErrorOf("HKCR { Key = b 'zz' }"), "line 1: 'zz' is not hex data");
  EXPECT_EQ(ErrorOf("HKCR { 'a\\b' }"), "line 1: 'a\\b' is not a key name");
  EXPECT_EQ(ErrorOf("HKCR { Key { val = s 'x' } }"), "line 1: a value name expected, found '='");
  EXPECT_EQ(ErrorOf("HKCR Key"), "line 1: '{' expected, found 'Key'");
  EXPECT_EQ(ErrorOf("HKCR { %NOPE% }"), "no replacement for %NOPE%");
  EXPECT_EQ(ErrorOf("HKCR { 50% }"), "a '%' without its closing '%'");
  std::string deep = "HKCR {";
  for (int i = 0; i < 100; ++i) deep += " k {";
  EXPECT_EQ(ErrorOf(deep), "line 1: keys nested too deeply");
  EXPECT_TRUE(Parse("").ok);  // no roots, nothing to do
}

TEST(RegistrarScript, RemovalKeepsKeysThatHoldSomeoneElsesSubkeys) {
  ScopedRegistry registry;
  const ParsedScript script = Parse(
      "HKCU { NoRemove Shared { val Ours = s 'x' Mine = s 'm' { Leaf } Gone = s 'g' "
      "Delete Old } }");
  ASSERT_TRUE(script.ok) << script.error;
  {
    RegKey old, foreign;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "Shared\\Old\\Inside", 0, nullptr, 0, KEY_WRITE,
                             nullptr, old.put(), nullptr),
              ERROR_SUCCESS);
  }
  ASSERT_EQ(RunRegistrarScript(script, true), S_OK);
  EXPECT_EQ(
      registry.Export("HKCU\\Shared"),
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Shared]\n\"Ours\"=\"x\"\n\n"
      "[HKEY_CURRENT_USER\\Shared\\Gone]\n@=\"g\"\n\n"
      "[HKEY_CURRENT_USER\\Shared\\Mine]\n@=\"m\"\n\n"
      "[HKEY_CURRENT_USER\\Shared\\Mine\\Leaf]\n\n");
  {
    RegKey foreign;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "Shared\\Mine\\Foreign", 0, nullptr, 0, KEY_WRITE,
                             nullptr, foreign.put(), nullptr),
              ERROR_SUCCESS);
  }
  ASSERT_EQ(RunRegistrarScript(script, false), S_OK);
  EXPECT_EQ(registry.Export("HKCU\\Shared"),
            "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Shared]\n\n"
            "[HKEY_CURRENT_USER\\Shared\\Mine]\n@=\"m\"\n\n"
            "[HKEY_CURRENT_USER\\Shared\\Mine\\Foreign]\n\n");
}

TEST(RegistrarScript, UnknownHiveIsRefused) {
  const ParsedScript script = Parse("HKXX { Key }");
  ASSERT_TRUE(script.ok);
  EXPECT_EQ(RunRegistrarScript(script, true), E_INVALIDARG);
}
