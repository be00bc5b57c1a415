// SQLite's own verdict on a database file, as the registry tests read it.
#pragma once

#include <string>

// "ok", or what PRAGMA integrity_check finds ("cannot open" when the file does not open). The
// file is opened for writing where it may be, so that a journal left by a killed writer is rolled
// back first, as the next writer would.
std::string IntegrityCheck(const std::string& file);
