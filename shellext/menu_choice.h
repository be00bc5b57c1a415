// What the context menu offers for a selection, and the launcher command line a choice writes.
// Free of the shell's interfaces, so both are tested directly.
#pragma once

#include <string>
#include <vector>

// Bits of a selection's classification.
constexpr unsigned kKeyFileBit = 1;        // ".asc"
constexpr unsigned kEncryptedFileBit = 2;  // ".gpg", ".pgp"
constexpr unsigned kOtherFileBit = 4;      // any other text from the last '.'

// The bits of all paths. Each path counts by the text from its last '.' to its end (the dot
// may lie in a folder name); a path without a '.' adds nothing.
unsigned ClassifySelection(const std::vector<std::string>& paths);

// String id of the second item: 9132/9133 for key files only (one path or several), 9130 for
// encrypted files only, 9131 otherwise.
unsigned ActionIdFor(unsigned bits, std::size_t pathCount);

// Help text id for a command offset after the menu showed actionId; 0 when there is none.
unsigned HelpTextIdFor(unsigned offset, unsigned actionId);

// Launcher command number for a command offset; -1 when the offset starts nothing.
int CommandNumberFor(unsigned offset, unsigned actionId);

// The launcher's command line: the quoted launcher path in the folder, a blank, the number,
// and for each path a blank, the quoted path and a blank. Paths are quoted so that the
// launcher's splitter gives each of them back byte for byte.
std::string LauncherCommandLine(const std::string& folder, int number,
                                const std::vector<std::string>& paths);
