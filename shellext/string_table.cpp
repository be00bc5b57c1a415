#include "shellext/string_table.h"

std::string LoadShellString(unsigned id) {
  switch (id) {
    case IDS_DECRYPT: return "Decrypt with Zembra";
    case IDS_ENCRYPT: return "Encrypt with Zembra";
    case IDS_IMPORT_KEY: return "Import Key";
    case IDS_IMPORT_KEYS: return "Import Keys";
    case IDS_HELP_ZEMBRA: return "Encrypt/decrypt file(s) with Zembra";
    case IDS_HELP_DECRYPT: return "Decrypt file(s) with Zembra";
    case IDS_HELP_ENCRYPT: return "Encrypt file(s) with Zembra";
    case IDS_HELP_IMPORT: return "Import key(s) into Zembra";
    case IDS_ZEMBRA: return "Zembra...";
    default: return {};
  }
}
