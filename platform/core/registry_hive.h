// The hive databases behind the registry: where each hive lives, its schema, and the
// process-wide cache of open connections. Private to platform/core.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/core/win_types.h"

namespace registry_detail {

enum class HiveId { ClassesRoot = 0, CurrentUser = 1, LocalMachine = 2 };

// Row id of every hive's root key.
constexpr sqlite3_int64 kRootKey = 1;

// One open connection to a hive file. Handles keep it alive after the cache has moved on to
// another folder, so a handle always talks to the hive it was opened in.
class Hive {
 public:
  Hive(std::string path, sqlite3* db) : m_path(std::move(path)), m_db(db) {}
  ~Hive();
  Hive(const Hive&) = delete;
  Hive& operator=(const Hive&) = delete;

  sqlite3* db() const { return m_db; }
  const std::string& path() const { return m_path; }
  // Decided again on every write, so a hive made read-only while open stops taking writes.
  bool writable() const;

 private:
  std::string m_path;
  sqlite3* m_db;
};

// One prepared statement, finalised when it goes. A failed preparation makes every later step
// return its error.
class Stmt {
 public:
  Stmt(sqlite3* db, const char* sql) { m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
  ~Stmt() { sqlite3_finalize(m_stmt); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;

  Stmt& bind(int i, sqlite3_int64 v) {
    if (m_rc == SQLITE_OK) sqlite3_bind_int64(m_stmt, i, v);
    return *this;
  }
  Stmt& bind(int i, std::string_view text) {
    if (m_rc == SQLITE_OK)
      sqlite3_bind_text(m_stmt, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Stmt& bindBlob(int i, const BYTE* data, DWORD size) {
    // An empty blob, not NULL: a zero-length value is still a value.
    if (m_rc != SQLITE_OK) return *this;
    if (size == 0)
      sqlite3_bind_zeroblob(m_stmt, i, 0);
    else
      sqlite3_bind_blob(m_stmt, i, data, static_cast<int>(size), SQLITE_TRANSIENT);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or the error.
  int step() { return m_rc == SQLITE_OK ? sqlite3_step(m_stmt) : m_rc; }
  sqlite3_int64 integer(int col) const { return sqlite3_column_int64(m_stmt, col); }
  std::string text(int col) const {
    auto p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, col));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, col)))
             : std::string();
  }
  std::string blob(int col) const {
    auto p = static_cast<const char*>(sqlite3_column_blob(m_stmt, col));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, col)))
             : std::string();
  }

 private:
  sqlite3_stmt* m_stmt = nullptr;
  int m_rc;
};

// The hive file for the current environment; empty when no folder can be named.
std::string HiveFile(HiveId id);

// The hive's connection for the current environment: opened on first use, created (and seeded)
// when the file is missing and can be made. ERROR_FILE_NOT_FOUND: missing and cannot be made;
// ERROR_ACCESS_DENIED: there but not readable by this user;
// ERROR_BADDB: the file is not one of our hives (it is left untouched).
LONG OpenHive(HiveId id, std::shared_ptr<Hive>& hive);

// Whether a damaged or foreign hive is also reported by a line on standard error.
void SetDamageReporting(bool toStderr);

// Name as compared: case folded for ASCII, Latin-1, Greek and Cyrillic letters.
std::string FoldName(std::string_view name);

// SQLite result to the Win32 code the registry functions return.
LONG FromSqlite(int rc, bool writing);

}  // namespace registry_detail
