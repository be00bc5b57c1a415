// zembra-reg as a user runs it: add, query, delete, export and import, exit codes and the one
// line on standard error.
#include <gmock/gmock.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/platform/core/registry_test_support.h"

using ::testing::HasSubstr;

class ZembraReg : public RegistryTest {};

TEST_F(ZembraReg, AddQueryDeleteRoundTrip) {
  EXPECT_EQ(RunTool({"add", "HKCU\\Software\\Orvel\\Zembra", "--value", "Name", "--data",
                     "Gr\xC3\xBC\xC3\x9F"
                     "e"})
                .exitCode,
            0);
  EXPECT_EQ(RunTool({"add", "HKEY_CURRENT_USER\\Software\\Orvel\\Zembra", "--value",
                     "Use default keys", "--type", "REG_DWORD", "--data", "0x10"})
                .exitCode,
            0);
  EXPECT_EQ(RunTool({"add", "hkcu\\Software\\Orvel\\Zembra", "--value", "Keys", "--type",
                     "REG_BINARY", "--data", "01,02,ff"})
                .exitCode,
            0);
  EXPECT_EQ(RunTool({"add", "HKCU\\Software\\Orvel\\Zembra", "--type", "REG_DWORD", "--data", "10"})
                .exitCode,
            0);
  EXPECT_EQ(RunTool({"add", "HKCU\\Software\\Orvel\\Zembra\\Sub"}).exitCode, 0);

  // What the tool wrote is what the registry functions read.
  RegKey key;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Orvel\\Zembra", 0, KEY_READ, key.put()),
            ERROR_SUCCESS);
  EXPECT_EQ(QueryValue(key.get(), "Name").bytes,
            "Gr\xC3\xBC\xC3\x9F"
            "e" +
                std::string(1, '\0'));
  EXPECT_EQ(QueryValue(key.get(), "Use default keys").bytes, std::string("\x10\0\0\0", 4));
  StoredValue keys = QueryValue(key.get(), "Keys");
  EXPECT_EQ(keys.type, REG_BINARY);
  EXPECT_EQ(keys.bytes, "\x01\x02\xFF");
  EXPECT_EQ(QueryValue(key.get(), "").bytes, std::string("\x0A\0\0\0", 4));

  ToolResult query = RunTool({"query", "HKCU\\Software\\Orvel\\Zembra"});
  EXPECT_EQ(query.exitCode, 0);
  EXPECT_EQ(query.err, "");
  EXPECT_EQ(query.out,
            "HKEY_CURRENT_USER\\Software\\Orvel\\Zembra\n"
            "    Name    REG_SZ    Gr\xC3\xBC\xC3\x9F"
            "e\n"
            "    Use default keys    REG_DWORD    0x10\n"
            "    Keys    REG_BINARY    0102FF\n"
            "    (Default)    REG_DWORD    0xa\n"
            "\n"
            "HKEY_CURRENT_USER\\Software\\Orvel\\Zembra\\Sub\n");
  ToolResult one = RunTool({"query", "HKCU\\Software\\Orvel\\Zembra", "--value", "KEYS"});
  EXPECT_EQ(one.exitCode, 0);
  EXPECT_THAT(one.out, HasSubstr("    KEYS    REG_BINARY    0102FF\n"));

  EXPECT_EQ(RunTool({"delete", "HKCU\\Software\\Orvel\\Zembra", "--value", "Name"}).exitCode, 0);
  EXPECT_EQ(QueryValue(key.get(), "Name").status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RunTool({"delete", "HKCU\\Software\\Orvel"}).exitCode, 0);
  EXPECT_EQ(QueryValue(key.get(), "Keys").status, ERROR_KEY_DELETED);
}

TEST_F(ZembraReg, FailuresExitWithOneLineOnStandardError) {
  ToolResult missing = RunTool({"query", "HKCU\\Foo"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "zembra-reg: key not found: HKCU\\Foo\n");

  EXPECT_EQ(RunTool({"add", "HKCU\\Foo"}).exitCode, 0);
  ToolResult noValue = RunTool({"query", "HKCU\\Foo", "--value", "Bar"});
  EXPECT_EQ(noValue.exitCode, 1);
  EXPECT_EQ(noValue.err, "zembra-reg: value not found: Bar in HKCU\\Foo\n");

  ToolResult badHive = RunTool({"query", "HKXX\\Foo"});
  EXPECT_EQ(badHive.exitCode, 1);
  EXPECT_THAT(badHive.err, HasSubstr("zembra-reg: not a registry key"));

  // Bad data is refused before anything is written: the key is not created.
  ToolResult badDword = RunTool({"add", "HKCU\\Bad", "--type", "REG_DWORD", "--data", "12x"});
  EXPECT_EQ(badDword.exitCode, 1);
  EXPECT_EQ(badDword.err, "zembra-reg: not a DWORD (decimal or 0x hex, at most 0xffffffff): 12x\n");
  ToolResult tooBig = RunTool({"add", "HKCU\\Bad", "--type", "REG_DWORD", "--data", "4294967296"});
  EXPECT_EQ(tooBig.exitCode, 1);
  ToolResult badHex = RunTool({"add", "HKCU\\Bad", "--type", "REG_BINARY", "--data", "0g"});
  EXPECT_EQ(badHex.exitCode, 1);
  EXPECT_EQ(RunTool({"query", "HKCU\\Bad"}).exitCode, 1);

  ToolResult rootDelete = RunTool({"delete", "HKLM"});
  EXPECT_EQ(rootDelete.exitCode, 1);
  EXPECT_EQ(rootDelete.err, "zembra-reg: a hive's root key cannot be deleted: HKLM\n");

  ToolResult usage = RunTool({"frobnicate", "HKCU"});
  EXPECT_EQ(usage.exitCode, 1);
  EXPECT_EQ(std::count(usage.err.begin(), usage.err.end(), '\n'), 1);
}

TEST_F(ZembraReg, ExportWritesTheRegistryEditorFormat) {
  RegKey key = CreateKey("Software\\Export");
  ASSERT_EQ(SetText(key.get(), "Path", "C:\\Program Files\\\"Zembra\""), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key.get(), nullptr, "default"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key.get(), "Count", 10), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(key.get(), "Bytes", REG_BINARY, "\x01\x02"), ERROR_SUCCESS);
  // Strings that the quoted form cannot carry byte for byte go out as typed hex.
  ASSERT_EQ(SetBytes(key.get(), "Lines", REG_SZ, std::string("a\nb\0", 4)), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(key.get(), "NoNul", REG_SZ, "ab"), ERROR_SUCCESS);
  CreateKey("Software\\Export\\Child");

  ToolResult exported = RunTool({"export", "HKCU\\software\\export"});
  EXPECT_EQ(exported.exitCode, 0);
  EXPECT_EQ(exported.out,
            "Windows Registry Editor Version 5.00\n"
            "\n"
            "[HKEY_CURRENT_USER\\software\\export]\n"
            "\"Path\"=\"C:\\\\Program Files\\\\\\\"Zembra\\\"\"\n"
            "@=\"default\"\n"
            "\"Count\"=dword:0000000a\n"
            "\"Bytes\"=hex:01,02\n"
            "\"Lines\"=hex(1):61,0a,62,00\n"
            "\"NoNul\"=hex(1):61,62\n"
            "\n"
            "[HKEY_CURRENT_USER\\software\\export\\Child]\n"
            "\n");
}

TEST_F(ZembraReg, ImportRestoresAnExportByteForByte) {
  RegKey key = CreateKey("Software\\Trip");
  ASSERT_EQ(SetText(key.get(), "Quote", "say \"hi\" \\ bye"), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(key.get(), "Odd", REG_SZ, std::string("x\0y", 3)), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(key.get(), "Empty", REG_BINARY, ""), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key.get(), nullptr, 0xFFFFFFFF), ERROR_SUCCESS);
  RegKey deep = CreateKey("Software\\Trip\\A\\B");
  ASSERT_EQ(SetBytes(deep.get(), "Expand", REG_EXPAND_SZ, std::string("%HOME%\0", 7)),
            ERROR_SUCCESS);
  key.reset();
  deep.reset();

  ToolResult exported = RunTool({"export", "HKCU\\Software\\Trip"});
  ASSERT_EQ(exported.exitCode, 0);
  std::string file = folder() + "/trip.reg";
  WriteFileBytes(file, exported.out);
  ASSERT_EQ(RunTool({"delete", "HKCU\\Software\\Trip"}).exitCode, 0);
  ToolResult imported = RunTool({"import", file});
  EXPECT_EQ(imported.exitCode, 0) << imported.err;
  EXPECT_EQ(RunTool({"export", "HKCU\\Software\\Trip"}).out, exported.out);

  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Trip", 0, KEY_READ, key.put()),
            ERROR_SUCCESS);
  EXPECT_EQ(QueryValue(key.get(), "Quote").bytes, std::string("say \"hi\" \\ bye\0", 15));
  EXPECT_EQ(QueryValue(key.get(), "Odd").bytes, std::string("x\0y", 3));
  EXPECT_EQ(QueryValue(key.get(), "Empty").status, ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Trip\\A\\B", 0, KEY_READ, deep.put()),
            ERROR_SUCCESS);
  StoredValue expand = QueryValue(deep.get(), "Expand");
  EXPECT_EQ(expand.type, REG_EXPAND_SZ);
  EXPECT_EQ(expand.bytes, std::string("%HOME%\0", 7));
}

TEST_F(ZembraReg, ImportDeletesKeysAndValuesAndReadsContinuedLines) {
  RegKey old = CreateKey("Software\\Old\\Sub");
  RegKey keep = CreateKey("Software\\Keep");
  ASSERT_EQ(SetText(keep.get(), "Drop", "d"), ERROR_SUCCESS);
  std::string file = folder() + "/changes.reg";
  WriteFileBytes(file,
                 "Windows Registry Editor Version 5.00\r\n"
                 "\r\n"
                 "; comment\r\n"
                 "[-HKEY_CURRENT_USER\\Software\\Old]\r\n"
                 "\r\n"
                 "[HKEY_CURRENT_USER\\Software\\Keep]\r\n"
                 "\"Drop\"=-\r\n"
                 "\"Long\"=hex:01,02,\\\r\n"
                 "  03,04\r\n");
  ToolResult imported = RunTool({"import", file});
  EXPECT_EQ(imported.exitCode, 0) << imported.err;
  EXPECT_EQ(QueryValue(old.get(), nullptr).status, ERROR_KEY_DELETED);
  EXPECT_EQ(QueryValue(keep.get(), "Drop").status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(QueryValue(keep.get(), "Long").bytes, "\x01\x02\x03\x04");

  WriteFileBytes(file,
                 "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\X]\n\"A\"=what\n");
  ToolResult bad = RunTool({"import", file});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_EQ(bad.err, "zembra-reg: " + file + ":4: unknown value data: \"A\"=what\n");
  WriteFileBytes(file, "hello\n");
  EXPECT_THAT(RunTool({"import", file}).err, HasSubstr(file + ":1: not a registry file"));
}

TEST_F(ZembraReg, DamagedHiveIsNamedInTheMessageAndLeftUnchanged) {
  WriteFileBytes(hiveFile("hklm.db"), "not a database at all");
  ToolResult result = RunTool({"add", "HKLM\\Software\\X", "--value", "V", "--data", "d"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err,
            "zembra-reg: registry hive is damaged or not a Zembra registry (left "
            "unchanged): " +
                hiveFile("hklm.db") + "\n");
  EXPECT_EQ(ReadFileBytes(hiveFile("hklm.db")), "not a database at all");
}

TEST_F(ZembraReg, OrdinaryUserCanReadButNotWriteTheMachineHive) {
  if (geteuid() != 0) GTEST_SKIP() << "acting as another user needs root";
  ASSERT_EQ(
      RunTool({"add", "HKLM\\SOFTWARE\\Orvel Ltd\\Zembra", "--value", "Type", "--data", "Full"})
          .exitCode,
      0);
  ASSERT_EQ(chmod(folder().c_str(), 0755), 0);
  ASSERT_EQ(chmod(hiveFile("hklm.db").c_str(), 0644), 0);
  const std::vector<std::string> asNobody = {"setpriv", "--reuid=65534", "--regid=65534",
                                             "--clear-groups", "--"};
  ToolResult read =
      RunTool({"query", "HKLM\\SOFTWARE\\Orvel Ltd\\Zembra", "--value", "Type"}, asNobody);
  EXPECT_EQ(read.exitCode, 0) << read.err;
  EXPECT_THAT(read.out, HasSubstr("    Type    REG_SZ    Full\n"));
  ToolResult write =
      RunTool({"add", "HKLM\\SOFTWARE\\Orvel Ltd\\Zembra", "--value", "Type", "--data", "Portable"},
              asNobody);
  EXPECT_EQ(write.exitCode, 1);
  EXPECT_EQ(write.err, "zembra-reg: access denied: HKLM\\SOFTWARE\\Orvel Ltd\\Zembra\n");
}

// A hive that cannot grow (a full disk; here a file size limit) refuses the write; the number
// comes with what it means.
class Faults : public RegistryTest {};

TEST_F(Faults, ARegistryErrorNumberComesWithWhatItMeans) {
  ASSERT_EQ(RunTool({"add", "HKCU\\Software\\Orvel\\Zembra"}).exitCode, 0);
  const std::vector<std::string> fullDisk = {"sh", "-c",
                                             "trap '' XFSZ; ulimit -f 1; exec \"$0\" \"$@\""};
  ToolResult result = RunTool({"add", "HKCU\\Software\\Orvel\\Zembra", "--value", "Big", "--type",
                               "REG_BINARY", "--data", std::string(64 * 1024, 'a')},
                              fullDisk);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err,
            "zembra-reg: registry error 1013 (the hive file could not be written, for a full "
            "disk, a write error or another program holding it too long): "
            "HKCU\\Software\\Orvel\\Zembra\n");
  EXPECT_EQ(RunTool({"query", "HKCU\\Software\\Orvel\\Zembra", "--value", "Big"}).exitCode, 1);
}

TEST(RegistryErrorText, EveryNumberTheRegistryGivesHasAReason) {
  for (const LONG rc :
       {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE,
        ERROR_NOT_ENOUGH_MEMORY, ERROR_INVALID_DATA, ERROR_INVALID_PARAMETER, ERROR_MORE_DATA,
        ERROR_NO_MORE_ITEMS, ERROR_BADDB, ERROR_CANTREAD, ERROR_CANTWRITE, ERROR_KEY_DELETED}) {
    EXPECT_NE(RegistryErrorText(rc), RegistryErrorText(-1)) << rc;
  }
  EXPECT_EQ(RegistryErrorText(ERROR_CANTREAD), "the hive file could not be read");
}
