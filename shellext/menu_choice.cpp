#include "shellext/menu_choice.h"

#include "platform/core/process.h"
#include "platform/core/text.h"
#include "shellext/string_table.h"

unsigned ClassifySelection(const std::vector<std::string>& paths) {
  unsigned bits = 0;
  for (auto it = paths.rbegin(); it != paths.rend(); ++it) {
    const std::size_t dot = it->rfind('.');
    if (dot == std::string::npos) continue;
    const std::string_view ending = std::string_view(*it).substr(dot);
    if (EqualsNoCase(ending, ".asc")) {
      bits |= kKeyFileBit;
    } else if (EqualsNoCase(ending, ".gpg") || EqualsNoCase(ending, ".pgp")) {
      bits |= kEncryptedFileBit;
    } else {
      bits |= kOtherFileBit;
    }
  }
  return bits;
}

unsigned ActionIdFor(unsigned bits, std::size_t pathCount) {
  if (bits == kKeyFileBit) return pathCount == 1 ? IDS_IMPORT_KEY : IDS_IMPORT_KEYS;
  if (bits == kEncryptedFileBit) return IDS_DECRYPT;
  return IDS_ENCRYPT;
}

unsigned HelpTextIdFor(unsigned offset, unsigned actionId) {
  if (offset == 0) return IDS_HELP_ZEMBRA;
  if (offset != 1) return 0;
  switch (actionId) {
    case IDS_DECRYPT: return IDS_HELP_DECRYPT;
    case IDS_ENCRYPT: return IDS_HELP_ENCRYPT;
    case IDS_IMPORT_KEY:
    case IDS_IMPORT_KEYS: return IDS_HELP_IMPORT;
    default: return 0;  // no menu was built yet
  }
}

int CommandNumberFor(unsigned offset, unsigned actionId) {
  if (offset == 0) return 0;
  if (offset != 1) return -1;
  switch (actionId) {
    case IDS_DECRYPT:
    case IDS_IMPORT_KEY:
    case IDS_IMPORT_KEYS: return 1;
    case IDS_ENCRYPT: return 2;
    default: return -1;  // the item was never shown
  }
}

std::string LauncherCommandLine(const std::string& folder, int number,
                                const std::vector<std::string>& paths) {
  // Argument 0 is read up to the next quote with its backslashes literal, so the folder goes
  // in as it is.
  std::string line = "\"" + folder + "/ZembraShellExtApp\" " + std::to_string(number);
  for (const std::string& path : paths) {
    line += ' ';
    line += QuoteArgument(path);
    line += ' ';
  }
  return line;
}
