// Values: types byte for byte, names without regard to case, the default value, the size-first
// protocol, enumeration and key information.
#include <gmock/gmock.h>

#include "tests/platform/core/registry_test_support.h"

using ::testing::ElementsAre;

class RegistryValues : public RegistryTest {};

TEST_F(RegistryValues, TypesRoundTripByteForByte) {
  RegKey key = CreateKey("Software\\Orvel\\Zembra");
  const std::string utf8 =
      "Gr\xC3\xBC\xC3\x9F"
      "e";
  const std::string binary("\x00\x01\xFF\x80\x00", 5);
  ASSERT_EQ(SetText(key.get(), "Text", utf8), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key.get(), "Number", 0xA0B0C0D0), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(key.get(), "Blob", REG_BINARY, binary), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(key.get(), "Empty", REG_BINARY, ""), ERROR_SUCCESS);
  // Stored exactly as given, even a string without its NUL.
  ASSERT_EQ(SetBytes(key.get(), "Unterminated", REG_SZ, "abc"), ERROR_SUCCESS);

  // Read back through a new handle, so nothing comes from the writer's memory.
  RegKey reader;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Orvel\\Zembra", 0, KEY_READ, reader.put()),
            ERROR_SUCCESS);
  StoredValue text = QueryValue(reader.get(), "Text");
  EXPECT_EQ(text.status, ERROR_SUCCESS);
  EXPECT_EQ(text.type, REG_SZ);
  EXPECT_EQ(text.bytes, utf8 + '\0');
  StoredValue number = QueryValue(reader.get(), "Number");
  EXPECT_EQ(number.type, REG_DWORD);
  EXPECT_EQ(number.bytes, std::string("\xD0\xC0\xB0\xA0", 4));
  StoredValue blob = QueryValue(reader.get(), "Blob");
  EXPECT_EQ(blob.type, REG_BINARY);
  EXPECT_EQ(blob.bytes, binary);
  StoredValue empty = QueryValue(reader.get(), "Empty");
  EXPECT_EQ(empty.status, ERROR_SUCCESS);
  EXPECT_EQ(empty.type, REG_BINARY);
  EXPECT_EQ(empty.bytes, "");
  EXPECT_EQ(QueryValue(reader.get(), "Unterminated").bytes, "abc");
}

TEST_F(RegistryValues, SettingAgainReplacesTypeAndData) {
  RegKey key = CreateKey("Software\\Replace");
  ASSERT_EQ(SetText(key.get(), "V", "long text value"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key.get(), "V", 7), ERROR_SUCCESS);
  StoredValue v = QueryValue(key.get(), "V");
  EXPECT_EQ(v.type, REG_DWORD);
  EXPECT_EQ(v.bytes, std::string("\x07\x00\x00\x00", 4));
}

TEST_F(RegistryValues, NamesIgnoreCaseAndKeepTheirCase) {
  RegKey key = CreateKey("Software\\MixedCase");
  ASSERT_EQ(SetText(key.get(), "Colour", "red"), ERROR_SUCCESS);
  EXPECT_EQ(QueryValue(key.get(), "COLOUR").bytes, std::string("red\0", 4));
  // Writing under another case replaces the value and keeps the first name.
  ASSERT_EQ(SetText(key.get(), "colour", "blue"), ERROR_SUCCESS);
  EXPECT_THAT(ValueNames(key.get()), ElementsAre("Colour"));
  EXPECT_EQ(QueryValue(key.get(), "Colour").bytes, std::string("blue\0", 5));

  // Letters beyond ASCII fold too.
  ASSERT_EQ(SetText(key.get(), "\xC3\x84rger", "x"), ERROR_SUCCESS);           // Ärger
  EXPECT_EQ(QueryValue(key.get(), "\xC3\xA4RGER").status, ERROR_SUCCESS);      // äRGER
  EXPECT_EQ(QueryValue(key.get(), "\xD0\x9A\xD0\xBB\xD1\x8E\xD1\x87").status,  // Ключ
            ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(SetText(key.get(), "\xD0\x9A\xD0\xBB\xD1\x8E\xD1\x87", "k"), ERROR_SUCCESS);
  EXPECT_EQ(QueryValue(key.get(), "\xD0\xBA\xD0\x9B\xD0\xAE\xD0\xA7").status,  // кЛЮЧ
            ERROR_SUCCESS);

  RegKey again;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "SOFTWARE\\mixedcase", 0, KEY_READ, again.put()),
            ERROR_SUCCESS);
  RegKey software;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "software", 0, KEY_READ, software.put()),
            ERROR_SUCCESS);
  EXPECT_THAT(SubkeyNames(software.get()), ElementsAre("Classes", "MixedCase"));
}

TEST_F(RegistryValues, NullAndEmptyNameAreTheDefaultValue) {
  RegKey key = CreateKey("Software\\Default");
  EXPECT_EQ(QueryValue(key.get(), nullptr).status, ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(SetText(key.get(), nullptr, "default"), ERROR_SUCCESS);
  EXPECT_EQ(QueryValue(key.get(), "").bytes, std::string("default\0", 8));
  ASSERT_EQ(SetText(key.get(), "", "changed"), ERROR_SUCCESS);
  EXPECT_EQ(QueryValue(key.get(), nullptr).bytes, std::string("changed\0", 8));
  EXPECT_THAT(ValueNames(key.get()), ElementsAre(""));
  EXPECT_EQ(RegDeleteValue(key.get(), nullptr), ERROR_SUCCESS);
  EXPECT_EQ(QueryValue(key.get(), "").status, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValues, ShortBufferGivesMoreDataAndTheNeededSize) {
  RegKey key = CreateKey("Software\\Sizes");
  ASSERT_EQ(SetText(key.get(), "Name", "0123456789"), ERROR_SUCCESS);

  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueEx(key.get(), "Name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 11u);

  BYTE small[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  size = sizeof small;
  EXPECT_EQ(RegQueryValueEx(key.get(), "Name", nullptr, &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 11u);

  BYTE exact[11];
  size = sizeof exact;
  EXPECT_EQ(RegQueryValueEx(key.get(), "Name", nullptr, &type, exact, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(exact), size), std::string("0123456789\0", 11));

  EXPECT_EQ(RegQueryValueEx(key.get(), "Name", nullptr, &type, exact, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(QueryValue(key.get(), "Missing").status, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValues, EnumerationListsValuesInOrderAndSubkeysSorted) {
  RegKey key = CreateKey("Software\\Enum");
  ASSERT_EQ(SetText(key.get(), "Zeta", "z"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key.get(), "alpha", 1), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key.get(), "", "d"), ERROR_SUCCESS);
  CreateKey("Software\\Enum\\beta");
  CreateKey("Software\\Enum\\Alpha");
  CreateKey("Software\\Enum\\Gamma\\Deeper");

  EXPECT_THAT(ValueNames(key.get()), ElementsAre("Zeta", "alpha", ""));
  EXPECT_THAT(SubkeyNames(key.get()), ElementsAre("Alpha", "beta", "Gamma"));

  char name[16];
  DWORD length = sizeof name, type = 0, size = 8;
  BYTE data[8];
  ASSERT_EQ(RegEnumValue(key.get(), 1, name, &length, nullptr, &type, data, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(name, length), "alpha");
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(size, 4u);

  // A name buffer without room for the NUL is short.
  length = 4;
  EXPECT_EQ(RegEnumValue(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  length = 5;
  EXPECT_EQ(RegEnumKeyEx(key.get(), 1, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(std::string(name), "beta");
  EXPECT_EQ(RegEnumKeyEx(key.get(), 3, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryValues, QueryInfoCountsAndLongestNames) {
  RegKey key = CreateKey("Software\\Info");
  ASSERT_EQ(SetText(key.get(), "Short", "a"), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(key.get(), "LongestName", REG_BINARY, std::string(300, 'x')), ERROR_SUCCESS);
  CreateKey("Software\\Info\\A");
  CreateKey("Software\\Info\\Longer");

  DWORD subKeys = 0, maxSubKey = 0, values = 0, maxValueName = 0, maxValueSize = 0;
  ASSERT_EQ(RegQueryInfoKey(key.get(), &subKeys, &maxSubKey, &values, &maxValueName, &maxValueSize),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 2u);
  EXPECT_EQ(maxSubKey, 6u);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(maxValueName, 11u);
  EXPECT_EQ(maxValueSize, 300u);

  RegKey empty = CreateKey("Software\\Info\\A");
  ASSERT_EQ(RegQueryInfoKey(empty.get(), &subKeys, nullptr, &values, &maxValueName, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 0u);
  EXPECT_EQ(values, 0u);
  EXPECT_EQ(maxValueName, 0u);
}

TEST_F(RegistryValues, DeleteValueRemovesOnlyThatValue) {
  RegKey key = CreateKey("Software\\Del");
  ASSERT_EQ(SetText(key.get(), "Keep", "k"), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key.get(), "Drop", "d"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValue(key.get(), "DROP"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValue(key.get(), "Drop"), ERROR_FILE_NOT_FOUND);
  EXPECT_THAT(ValueNames(key.get()), ElementsAre("Keep"));
}

TEST_F(RegistryValues, ReadOnlyHandleRefusesWrites) {
  CreateKey("Software\\Locked");
  RegKey key;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Locked", 0, KEY_READ, key.put()),
            ERROR_SUCCESS);
  EXPECT_EQ(SetText(key.get(), "V", "x"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValue(key.get(), "V"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(QueryValue(key.get(), "V").status, ERROR_FILE_NOT_FOUND);
}
