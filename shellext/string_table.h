// The shell extension's own string table (ids 9130 to 9138; the same texts as the library's
// message table, which this module does not link).
#pragma once

#include <string>

constexpr unsigned IDS_DECRYPT = 9130;
constexpr unsigned IDS_ENCRYPT = 9131;
constexpr unsigned IDS_IMPORT_KEY = 9132;
constexpr unsigned IDS_IMPORT_KEYS = 9133;
constexpr unsigned IDS_HELP_ZEMBRA = 9134;
constexpr unsigned IDS_HELP_DECRYPT = 9135;
constexpr unsigned IDS_HELP_ENCRYPT = 9136;
constexpr unsigned IDS_HELP_IMPORT = 9137;
constexpr unsigned IDS_ZEMBRA = 9138;

// The text of the id, UTF-8; empty for an id the table does not hold.
std::string LoadShellString(unsigned id);
