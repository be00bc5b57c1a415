// zembra-reg given files a hostile user would write: every bad file is refused with its file and
// line, and a refused import changes nothing.
#include <gmock/gmock.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>

#include "tests/platform/core/registry_test_support.h"

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\n\n";

class ZembraRegHostile : public RegistryTest {
 protected:
  // Writes the file and imports it.
  ToolResult import(const std::string& content) {
    std::string file = folder() + "/in.reg";
    WriteFileBytes(file, content);
    return RunTool({"import", file});
  }
  std::string file() const { return folder() + "/in.reg"; }

  bool keyExists(const char* path, HKEY root = HKEY_CURRENT_USER) {
    RegKey key;
    return RegOpenKeyEx(root, path, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
  }
};

// A literal with its NULs.
template <std::size_t N>
std::string Bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}

std::string DeepPath(std::size_t levels) {
  std::string path = "HKEY_CURRENT_USER\\Software";
  for (std::size_t i = 1; i < levels; ++i) path += "\\k";
  return path;
}

}  // namespace

TEST_F(ZembraRegHostile, KeyDeeperThanTheLimitIsRefusedAndExportDoesNotRecurse) {
  // 40,000 levels used to import and then crash the export.
  ToolResult deep = import(std::string(kHeader) + "[" + DeepPath(40000) + "]\n\"v\"=\"x\"\n");
  EXPECT_EQ(deep.exitCode, 1);
  EXPECT_THAT(deep.err,
              StartsWith("zembra-reg: " + file() + ":3: key path deeper than 512 levels"));
  EXPECT_FALSE(keyExists("Software\\k"));

  // At the limit everything works, and the export is one section a level, each written once.
  ToolResult atLimit = import(std::string(kHeader) + "[" + DeepPath(512) + "]\n\"v\"=\"x\"\n");
  ASSERT_EQ(atLimit.exitCode, 0) << atLimit.err;
  ToolResult exported = RunTool({"export", "HKCU\\Software\\k"});
  ASSERT_EQ(exported.exitCode, 0) << exported.err;
  std::size_t sections = 0;
  for (std::size_t at = exported.out.find("\n["); at != std::string::npos;
       at = exported.out.find("\n[", at + 1))
    ++sections;
  EXPECT_EQ(sections, 511u);
  EXPECT_THAT(exported.out, HasSubstr("[" + DeepPath(512) + "]\n\"v\"=\"x\"\n"));

  // One more level through a handle at the limit is refused too.
  RegKey last;
  std::string below = DeepPath(512).substr(std::string("HKEY_CURRENT_USER\\").size());
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, below.c_str(), 0, KEY_ALL_ACCESS, last.put()),
            ERROR_SUCCESS);
  RegKey deeper;
  EXPECT_EQ(RegCreateKeyEx(last.get(), "one more", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                           deeper.put(), nullptr),
            ERROR_INVALID_PARAMETER);
}

TEST_F(ZembraRegHostile, WrappedHexValueImportsInLinearTime) {
  // 4 MB of hex wrapped as the registry editor wraps it: 157 s when joining was quadratic.
  std::string bytes;
  std::string content = std::string(kHeader) + "[HKEY_CURRENT_USER\\Software\\Big]\n\"Blob\"=hex:";
  std::size_t column = 12;
  for (std::size_t i = 0; i < 1400000; ++i) {
    static const char kDigits[] = "0123456789abcdef";
    auto b = static_cast<unsigned char>(i * 7);
    bytes += static_cast<char>(b);
    content += kDigits[b >> 4];
    content += kDigits[b & 15];
    content += ',';
    column += 3;
    if (column > 76) {
      content += "\\\n  ";
      column = 2;
    }
  }
  content.pop_back();
  content += "00\n";
  bytes += '\0';
  auto start = std::chrono::steady_clock::now();
  ToolResult result = import(content);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_LT(seconds, 20.0);
  RegKey key;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Big", 0, KEY_READ, key.put()),
            ERROR_SUCCESS);
  StoredValue blob = QueryValue(key.get(), "Blob");
  EXPECT_EQ(blob.type, REG_BINARY);
  EXPECT_TRUE(blob.bytes == bytes) << "value of " << blob.bytes.size() << " bytes differs";
}

TEST_F(ZembraRegHostile, NulInANameIsRefusedWithFileAndLine) {
  // "a<NUL>b" used to store a value named "a" and exit with 0.
  ToolResult value = import(std::string(kHeader) + "[HKEY_CURRENT_USER\\Software\\Nul]\n" +
                            Bytes("\"a\0b\"=\"x\"\n"));
  EXPECT_EQ(value.exitCode, 1);
  EXPECT_THAT(value.err, StartsWith("zembra-reg: " + file() + ":4: NUL character in value name"));
  ToolResult key = import(std::string(kHeader) + Bytes("[HKEY_CURRENT_USER\\Software\\a\0b]\n"));
  EXPECT_EQ(key.exitCode, 1);
  EXPECT_THAT(key.err, StartsWith("zembra-reg: " + file() + ":3: NUL character in key name"));
  EXPECT_FALSE(keyExists("Software\\Nul"));
  EXPECT_FALSE(keyExists("Software\\a"));
}

TEST_F(ZembraRegHostile, EmptyValueDataIsRefusedWithFileAndLine) {
  for (const char* line : {"\"a\"=", "@=", "\"a\"=   "}) {
    ToolResult result =
        import(std::string(kHeader) + "[HKEY_CURRENT_USER\\Software\\Empty]\n" + line + "\n");
    EXPECT_EQ(result.exitCode, 1) << line;
    EXPECT_THAT(result.err,
                StartsWith("zembra-reg: " + file() + ":4: missing value data after =: "))
        << line;
  }
  EXPECT_FALSE(keyExists("Software\\Empty"));
}

TEST_F(ZembraRegHostile, ImportStoppingAtABadLineWritesNothing) {
  ToolResult result = import(std::string(kHeader) +
                             "[HKEY_CURRENT_USER\\Software\\Partial]\n"
                             "\"first\"=\"written before the bad line\"\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Partial]\n"
                             "\"second\"=dword:00000001\n"
                             "\"third\"=dword:nothex\n");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_THAT(result.err, StartsWith("zembra-reg: " + file() + ":7: dword data"));
  EXPECT_FALSE(keyExists("Software\\Partial"));
  EXPECT_FALSE(keyExists("SOFTWARE\\Partial", HKEY_LOCAL_MACHINE));
}

TEST_F(ZembraRegHostile, ImportThatCannotWriteOneHiveLeavesTheOthersUnchanged) {
  { RegKey made = CreateKey("SOFTWARE", HKEY_LOCAL_MACHINE); }
  ASSERT_EQ(chmod(hiveFile("hklm.db").c_str(), 0444), 0);  // read-only, even for root
  ToolResult result = import(std::string(kHeader) +
                             "[HKEY_CURRENT_USER\\Software\\Both]\n"
                             "\"user\"=\"x\"\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Both]\n"
                             "\"machine\"=\"y\"\n");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err,
            "zembra-reg: " + file() + ":5: access denied: HKEY_LOCAL_MACHINE\\SOFTWARE\\Both\n");
  EXPECT_FALSE(keyExists("Software\\Both"));
  ASSERT_EQ(chmod(hiveFile("hklm.db").c_str(), 0644), 0);
}

TEST_F(ZembraRegHostile, KeyNameOverTheLimitSaysSoWithFileAndLine) {
  std::string name(256, 'n');
  ToolResult imported =
      import(std::string(kHeader) + "[HKEY_CURRENT_USER\\Software\\" + name + "]\n");
  EXPECT_EQ(imported.exitCode, 1);
  EXPECT_THAT(imported.err,
              StartsWith("zembra-reg: " + file() + ":3: key name longer than 255 bytes: nnn"));
  ToolResult added = RunTool({"add", "HKCU\\Software\\" + name});
  EXPECT_EQ(added.exitCode, 1);
  EXPECT_THAT(added.err, StartsWith("zembra-reg: key name longer than 255 bytes: nnn"));
  EXPECT_EQ(std::count(added.err.begin(), added.err.end(), '\n'), 1);
}

TEST_F(ZembraRegHostile, HiveThatIsAFolderSaysSoInOneLine) {
  ASSERT_EQ(mkdir(hiveFile("hkcu.db").c_str(), 0700), 0);
  std::string expected =
      "zembra-reg: registry hive is a folder, not a file: " + hiveFile("hkcu.db") + "\n";
  EXPECT_EQ(RunTool({"query", "HKCU\\Software"}).err, expected);
  EXPECT_EQ(RunTool({"add", "HKCU\\Software\\X"}).err, expected);
  ToolResult imported = import(std::string(kHeader) + "[HKEY_CURRENT_USER\\Software\\X]\n");
  EXPECT_EQ(imported.err, "zembra-reg: " + file() + ":3: registry hive is a folder, not a file: " +
                              hiveFile("hkcu.db") + "\n");
}

// Only hex data goes on over lines: a string holding "=hex" and ending in a backslash (as an
// export writes C:\=hex\) used to swallow the value on the next line.
TEST_F(ZembraRegHostile, StringEndingInABackslashDoesNotSwallowTheNextLine) {
  ToolResult result = import(std::string(kHeader) +
                             "[HKEY_CURRENT_USER\\Software\\Paths]\n"
                             "\"Folder\"=\"C:\\\\=hex\\\\\"\n"
                             "\"Next\"=\"kept\"\n");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  RegKey key;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Paths", 0, KEY_READ, key.put()),
            ERROR_SUCCESS);
  EXPECT_EQ(QueryValue(key.get(), "Folder").bytes, std::string("C:\\=hex\\\0", 9));
  EXPECT_EQ(QueryValue(key.get(), "Next").bytes, std::string("kept\0", 5));
}
