#include "platform/core/registry.h"

#include <unistd.h>

#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/core/registry_hive.h"

using registry_detail::FoldName;
using registry_detail::FromSqlite;
using registry_detail::Hive;
using registry_detail::HiveId;
using registry_detail::kRootKey;
using registry_detail::Stmt;

// An open key: the hive it lives in and its row. The row may vanish under the handle (another
// handle or process deletes the key); every use checks it, so the caller sees
// ERROR_KEY_DELETED rather than a stale answer.
// NOLINTNEXTLINE(bugprone-reserved-identifier): the Windows handle type's own name.
struct HKEY__ {
  std::shared_ptr<Hive> hive;
  sqlite3_int64 id;
  REGSAM access;
  std::size_t depth = 0;  // levels below the hive's root
};

namespace {

constexpr REGSAM kDelete = 0x00010000;
constexpr REGSAM kWriteDac = 0x00040000;
constexpr REGSAM kWriteOwner = 0x00080000;
constexpr REGSAM kKeyCreateLink = 0x0020;
constexpr REGSAM kMaximumAllowed = 0x02000000;
constexpr REGSAM kGenericAll = 0x10000000;
constexpr REGSAM kGenericWrite = 0x40000000;
constexpr REGSAM kGenericRead = 0x80000000;
constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | kKeyCreateLink | kDelete | kWriteDac | kWriteOwner;

// Open handles, so that a stale or twice-closed handle is refused instead of followed.
struct Handles {
  std::mutex mutex;
  std::unordered_set<HKEY> open;
  // One registry call at a time per process: threads share a hive's connection, and a
  // transaction on it belongs to one call.
  std::mutex calls;
  // The hives with a transaction open across calls (by HiveId), kept on that connection, and
  // the process that opened them: a child of fork() must not use the parent's transaction.
  std::shared_ptr<Hive> spanning[3];
  pid_t spanningPid = 0;
};

Handles& TheHandles() {
  static Handles* handles = new Handles;  // never destroyed: keys may be closed at exit
  return *handles;
}

// The hive's transaction that spans calls, or null. Callers hold the call lock.
std::shared_ptr<Hive>& Spanning(HiveId id) {
  Handles& handles = TheHandles();
  if (handles.spanningPid != getpid()) {
    // Inherited through fork(): the parent's connection stays the parent's, never closed here.
    for (auto& hive : handles.spanning)
      if (hive) new std::shared_ptr<Hive>(std::move(hive));
    for (auto& hive : handles.spanning) hive.reset();
    handles.spanningPid = getpid();
  }
  return handles.spanning[static_cast<int>(id)];
}

int Exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

// One transaction; rolled back unless committed. A write transaction takes the write lock at
// once (BEGIN IMMEDIATE), so two writers queue instead of one failing half-way. Inside a hive
// transaction that spans calls it is a savepoint of that one.
class Transaction {
 public:
  Transaction(sqlite3* db, bool write)
      : m_db(db), m_write(write), m_nested(sqlite3_get_autocommit(db) == 0) {
    m_rc = Exec(db, m_nested ? "SAVEPOINT call" : write ? "BEGIN IMMEDIATE" : "BEGIN");
  }
  ~Transaction() {
    if (m_rc != SQLITE_OK || m_done) return;
    if (m_nested) {
      Exec(m_db, "ROLLBACK TO call");
      Exec(m_db, "RELEASE call");
    } else {
      Exec(m_db, "ROLLBACK");
    }
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  LONG status() const { return FromSqlite(m_rc, m_write); }
  LONG commit() {
    m_done = true;
    return FromSqlite(Exec(m_db, m_nested ? "RELEASE call" : "COMMIT"), m_write);
  }

 private:
  sqlite3* m_db;
  bool m_write;
  bool m_nested;
  bool m_done = false;
  int m_rc;
};

bool IsPredefined(HKEY key) {
  return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE;
}

HiveId HiveOf(HKEY predefined) {
  return predefined == HKEY_CLASSES_ROOT   ? HiveId::ClassesRoot
         : predefined == HKEY_CURRENT_USER ? HiveId::CurrentUser
                                           : HiveId::LocalMachine;
}

REGSAM MapGeneric(REGSAM access) {
  if (access & kGenericRead) access |= KEY_READ;
  if (access & kGenericWrite) access |= KEY_WRITE;
  if (access & kGenericAll) access |= KEY_ALL_ACCESS;
  return access & ~(kGenericRead | kGenericWrite | kGenericAll);
}

// The hive, row and rights behind a handle.
LONG Resolve(HKEY key, HKEY__& out) {
  if (IsPredefined(key)) {
    out.id = kRootKey;
    out.access = KEY_ALL_ACCESS;
    out.depth = 0;
    // Callers hold the call lock, which guards the spanning transactions.
    if (auto& spanning = Spanning(HiveOf(key))) {
      out.hive = spanning;
      return ERROR_SUCCESS;
    }
    return registry_detail::OpenHive(HiveOf(key), out.hive);
  }
  if (!key) return ERROR_INVALID_HANDLE;
  Handles& handles = TheHandles();
  std::lock_guard lock(handles.mutex);
  if (!handles.open.count(key)) return ERROR_INVALID_HANDLE;
  out = *key;
  return ERROR_SUCCESS;
}

std::unique_lock<std::mutex> OneCallAtATime() {
  return std::unique_lock<std::mutex>(TheHandles().calls);
}

// As Resolve, for a call that writes: a hive that is missing and cannot be made refuses the
// write as a read-only one does.
LONG ResolveForWrite(HKEY key, HKEY__& out) {
  LONG rc = Resolve(key, out);
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_ACCESS_DENIED : rc;
}

HKEY NewHandle(const HKEY__& key) {
  HKEY handle = new HKEY__(key);
  Handles& handles = TheHandles();
  std::lock_guard lock(handles.mutex);
  handles.open.insert(handle);
  return handle;
}

LONG SplitPath(const char* path, std::vector<std::string_view>& parts) {
  parts.clear();
  std::string_view rest = path ? path : "";
  while (!rest.empty()) {
    auto cut = rest.find('\\');
    std::string_view part = rest.substr(0, cut);
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    if (part.empty()) continue;  // "A\\B" and a trailing backslash name the same key as "A\B"
    if (part.size() > kRegMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    // Bounded here, so that no path walks or nests without limit.
    if (parts.size() == kRegMaxKeyDepth) return ERROR_INVALID_PARAMETER;
    parts.push_back(part);
  }
  return ERROR_SUCCESS;
}

LONG KeyExists(sqlite3* db, sqlite3_int64 id) {
  Stmt s(db, "SELECT 1 FROM keys WHERE id = ?1");
  int rc = s.bind(1, id).step();
  if (rc == SQLITE_ROW) return ERROR_SUCCESS;
  return rc == SQLITE_DONE ? ERROR_KEY_DELETED : FromSqlite(rc, false);
}

// What every reading call starts with: the handle resolved, its right checked, a read
// transaction open, and the key still there. Valid (and the transaction open) while it lives.
class KeyRead {
 public:
  KeyRead(HKEY handle, REGSAM right) {
    m_status = Resolve(handle, m_key);
    if (m_status != ERROR_SUCCESS) return;
    if (!(m_key.access & right)) {
      m_status = ERROR_ACCESS_DENIED;
      return;
    }
    m_txn.emplace(m_key.hive->db(), false);
    m_status = m_txn->status();
    if (m_status == ERROR_SUCCESS) m_status = KeyExists(db(), m_key.id);
  }

  LONG status() const { return m_status; }
  sqlite3* db() const { return m_key.hive->db(); }
  sqlite3_int64 id() const { return m_key.id; }

 private:
  HKEY__ m_key;
  std::optional<Transaction> m_txn;
  LONG m_status;
};

// ERROR_SUCCESS with the child's row, ERROR_FILE_NOT_FOUND, or a database failure.
LONG FindChild(sqlite3* db, sqlite3_int64 parent, std::string_view name, sqlite3_int64& child) {
  Stmt s(db, "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2");
  int rc = s.bind(1, parent).bind(2, FoldName(name)).step();
  if (rc == SQLITE_ROW) {
    child = s.integer(0);
    return ERROR_SUCCESS;
  }
  return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : FromSqlite(rc, false);
}

// Follows path from the key; *missing receives the index of the first part that does not
// exist (parts.size() when all do).
LONG Walk(sqlite3* db, sqlite3_int64 start, const std::vector<std::string_view>& parts,
          sqlite3_int64& id, std::size_t& missing) {
  LONG rc = KeyExists(db, start);
  if (rc != ERROR_SUCCESS) return rc;
  id = start;
  for (missing = 0; missing < parts.size(); ++missing) {
    sqlite3_int64 child = 0;
    rc = FindChild(db, id, parts[missing], child);
    if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    id = child;
  }
  return ERROR_SUCCESS;
}

LONG FoundKey(sqlite3* db, sqlite3_int64 start, const std::vector<std::string_view>& parts,
              sqlite3_int64& id) {
  std::size_t missing = 0;
  LONG rc = Walk(db, start, parts, id, missing);
  if (rc != ERROR_SUCCESS) return rc;
  return missing == parts.size() ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

// Deletes the key's values and all keys below it; the key itself too unless keepKey.
LONG DeleteBelow(sqlite3* db, sqlite3_int64 id, bool keepKey) {
  static constexpr const char* kTree =
      "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL"
      " SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) ";
  std::string vals = std::string(kTree) + "DELETE FROM vals WHERE key IN tree";
  std::string keys = std::string(kTree) + "DELETE FROM keys WHERE id IN tree AND id != ?2";
  Stmt v(db, vals.c_str());
  int rc = v.bind(1, id).step();
  if (rc != SQLITE_DONE) return FromSqlite(rc, true);
  Stmt k(db, keys.c_str());
  rc = k.bind(1, id).bind(2, keepKey ? id : sqlite3_int64{-1}).step();
  return rc == SQLITE_DONE ? ERROR_SUCCESS : FromSqlite(rc, true);
}

LONG CopyName(const std::string& name, char* buffer, DWORD* length) {
  if (!buffer || !length) return ERROR_INVALID_PARAMETER;
  if (name.size() >= *length) return ERROR_MORE_DATA;
  std::memcpy(buffer, name.data(), name.size());
  buffer[name.size()] = '\0';
  *length = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

// Type and data out of a stored value, by the size-first protocol: data null asks only the size.
LONG CopyValue(DWORD storedType, const std::string& bytes, DWORD* type, BYTE* data, DWORD* size) {
  if (type) *type = storedType;
  if (data && !size) return ERROR_INVALID_PARAMETER;
  if (!size) return ERROR_SUCCESS;
  auto needed = static_cast<DWORD>(bytes.size());
  if (data && *size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  // A value's bytes as stored: a text value keeps its own terminator among them.
  // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
  if (data && needed) std::memcpy(data, bytes.data(), needed);
  *size = needed;
  return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyEx(HKEY key, const char* subKey, DWORD options, REGSAM access, HKEY* result) {
  auto serialised = OneCallAtATime();
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  access = MapGeneric(access);
  HKEY__ base;
  LONG rc = (access & kWriteRights) ? ResolveForWrite(key, base) : Resolve(key, base);
  if (rc != ERROR_SUCCESS) return rc;
  if (access & kMaximumAllowed)
    access = (access & ~kMaximumAllowed) | (base.hive->writable() ? KEY_ALL_ACCESS : KEY_READ);
  if ((access & kWriteRights) && !base.hive->writable()) return ERROR_ACCESS_DENIED;
  std::vector<std::string_view> parts;
  rc = SplitPath(subKey, parts);
  if (rc != ERROR_SUCCESS) return rc;
  std::size_t depth = base.depth + parts.size();
  if (depth > kRegMaxKeyDepth) return ERROR_INVALID_PARAMETER;

  sqlite3* db = base.hive->db();
  Transaction txn(db, false);
  if (txn.status() != ERROR_SUCCESS) return txn.status();
  sqlite3_int64 id = 0;
  rc = FoundKey(db, base.id, parts, id);
  if (rc != ERROR_SUCCESS) return rc;
  *result = NewHandle(HKEY__{base.hive, id, access, depth});
  return ERROR_SUCCESS;
}

LONG RegCreateKeyEx(HKEY key, const char* subKey, DWORD reserved, const char* keyClass,
                    DWORD options, REGSAM access, const void* security, HKEY* result,
                    DWORD* disposition) {
  auto serialised = OneCallAtATime();
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  HKEY__ base;
  LONG rc = ResolveForWrite(key, base);
  if (rc != ERROR_SUCCESS) return rc;
  std::vector<std::string_view> parts;
  rc = SplitPath(subKey, parts);
  if (rc != ERROR_SUCCESS) return rc;
  std::size_t depth = base.depth + parts.size();
  if (depth > kRegMaxKeyDepth) return ERROR_INVALID_PARAMETER;
  access = MapGeneric(access) & ~kMaximumAllowed;
  bool writable = base.hive->writable();
  if ((access & kWriteRights) && !writable) return ERROR_ACCESS_DENIED;
  sqlite3* db = base.hive->db();

  // An existing key opens with read rights on a read-only hive, as HKLM does for users.
  sqlite3_int64 id = 0;
  std::size_t missing = 0;
  {
    Transaction txn(db, false);
    if (txn.status() != ERROR_SUCCESS) return txn.status();
    rc = Walk(db, base.id, parts, id, missing);
    if (rc != ERROR_SUCCESS) return rc;
  }
  if (missing < parts.size()) {
    if (!writable || !(base.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    Transaction txn(db, true);
    if (txn.status() != ERROR_SUCCESS) return txn.status();
    // Walk again under the write lock: another process may have made some of the path.
    rc = Walk(db, base.id, parts, id, missing);
    if (rc != ERROR_SUCCESS) return rc;
    bool createdAny = missing < parts.size();
    for (; missing < parts.size(); ++missing) {
      Stmt s(db, "INSERT INTO keys(parent, name, folded) VALUES(?1, ?2, ?3)");
      int step = s.bind(1, id).bind(2, parts[missing]).bind(3, FoldName(parts[missing])).step();
      if (step != SQLITE_DONE) return FromSqlite(step, true);
      id = sqlite3_last_insert_rowid(db);
    }
    rc = txn.commit();
    if (rc != ERROR_SUCCESS) return rc;
    if (disposition) *disposition = createdAny ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  } else if (disposition) {
    *disposition = REG_OPENED_EXISTING_KEY;
  }
  *result = NewHandle(HKEY__{base.hive, id, access, depth});
  return ERROR_SUCCESS;
}

LONG RegQueryValueEx(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                     DWORD* size) {
  auto serialised = OneCallAtATime();
  KeyRead k(key, KEY_QUERY_VALUE);
  if (k.status() != ERROR_SUCCESS) return k.status();
  sqlite3* db = k.db();
  Stmt s(db, "SELECT type, data FROM vals WHERE key = ?1 AND folded = ?2");
  int step = s.bind(1, k.id()).bind(2, FoldName(valueName ? valueName : "")).step();
  if (step == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
  if (step != SQLITE_ROW) return FromSqlite(step, false);
  return CopyValue(static_cast<DWORD>(s.integer(0)), s.blob(1), type, data, size);
}

LONG RegSetValueEx(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                   DWORD size) {
  auto serialised = OneCallAtATime();
  if (!data && size) return ERROR_INVALID_PARAMETER;
  HKEY__ k;
  LONG rc = ResolveForWrite(key, k);
  if (rc != ERROR_SUCCESS) return rc;
  if (!(k.access & KEY_SET_VALUE) || !k.hive->writable()) return ERROR_ACCESS_DENIED;
  std::string_view name = valueName ? valueName : "";
  std::string folded = FoldName(name);
  sqlite3* db = k.hive->db();
  Transaction txn(db, true);
  if (txn.status() != ERROR_SUCCESS) return txn.status();
  rc = KeyExists(db, k.id);
  if (rc != ERROR_SUCCESS) return rc;
  // An existing value keeps its name's case and its place in the enumeration order.
  Stmt update(db, "UPDATE vals SET type = ?3, data = ?4 WHERE key = ?1 AND folded = ?2");
  int step = update.bind(1, k.id)
                 .bind(2, folded)
                 .bind(3, sqlite3_int64{type})
                 .bindBlob(4, data, size)
                 .step();
  if (step != SQLITE_DONE) return FromSqlite(step, true);
  if (sqlite3_changes(db) == 0) {
    Stmt insert(db, "INSERT INTO vals(key, folded, type, data, name) VALUES(?1, ?2, ?3, ?4, ?5)");
    step = insert.bind(1, k.id)
               .bind(2, folded)
               .bind(3, sqlite3_int64{type})
               .bindBlob(4, data, size)
               .bind(5, name)
               .step();
    if (step != SQLITE_DONE) return FromSqlite(step, true);
  }
  return txn.commit();
}

LONG RegDeleteValue(HKEY key, const char* valueName) {
  auto serialised = OneCallAtATime();
  HKEY__ k;
  LONG rc = ResolveForWrite(key, k);
  if (rc != ERROR_SUCCESS) return rc;
  if (!(k.access & KEY_SET_VALUE) || !k.hive->writable()) return ERROR_ACCESS_DENIED;
  sqlite3* db = k.hive->db();
  Transaction txn(db, true);
  if (txn.status() != ERROR_SUCCESS) return txn.status();
  rc = KeyExists(db, k.id);
  if (rc != ERROR_SUCCESS) return rc;
  Stmt s(db, "DELETE FROM vals WHERE key = ?1 AND folded = ?2");
  int step = s.bind(1, k.id).bind(2, FoldName(valueName ? valueName : "")).step();
  if (step != SQLITE_DONE) return FromSqlite(step, true);
  if (sqlite3_changes(db) == 0) return ERROR_FILE_NOT_FOUND;
  return txn.commit();
}

LONG RegEnumValue(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* reserved,
                  DWORD* type, BYTE* data, DWORD* size) {
  auto serialised = OneCallAtATime();
  KeyRead k(key, KEY_QUERY_VALUE);
  if (k.status() != ERROR_SUCCESS) return k.status();
  sqlite3* db = k.db();
  // Values enumerate in the order they were first set, as on Windows.
  Stmt s(db, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2");
  int step = s.bind(1, k.id()).bind(2, sqlite3_int64{index}).step();
  if (step == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
  if (step != SQLITE_ROW) return FromSqlite(step, false);
  LONG rc = CopyName(s.text(0), name, nameLength);
  if (rc != ERROR_SUCCESS) return rc;
  return CopyValue(static_cast<DWORD>(s.integer(1)), s.blob(2), type, data, size);
}

LONG RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* reserved,
                  char* keyClass, DWORD* classLength, void* lastWriteTime) {
  auto serialised = OneCallAtATime();
  KeyRead k(key, KEY_ENUMERATE_SUB_KEYS);
  if (k.status() != ERROR_SUCCESS) return k.status();
  sqlite3* db = k.db();
  // Subkeys enumerate sorted without regard to case, as on Windows.
  Stmt s(db, "SELECT name FROM keys WHERE parent = ?1 ORDER BY folded LIMIT 1 OFFSET ?2");
  int step = s.bind(1, k.id()).bind(2, sqlite3_int64{index}).step();
  if (step == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
  if (step != SQLITE_ROW) return FromSqlite(step, false);
  LONG rc = CopyName(s.text(0), name, nameLength);
  if (rc != ERROR_SUCCESS) return rc;
  // Keys have no class here; the last write time is not kept and the buffer is left as it is.
  if (keyClass && classLength && *classLength) keyClass[0] = '\0';
  if (classLength) *classLength = 0;
  return ERROR_SUCCESS;
}

LONG RegQueryInfoKey(HKEY key, DWORD* subKeys, DWORD* maxSubKeyLength, DWORD* values,
                     DWORD* maxValueNameLength, DWORD* maxValueSize) {
  auto serialised = OneCallAtATime();
  KeyRead k(key, KEY_QUERY_VALUE);
  if (k.status() != ERROR_SUCCESS) return k.status();
  sqlite3* db = k.db();
  Stmt ks(db,
          "SELECT count(*), coalesce(max(length(CAST(name AS BLOB))), 0) FROM keys"
          " WHERE parent = ?1");
  int step = ks.bind(1, k.id()).step();
  if (step != SQLITE_ROW) return FromSqlite(step, false);
  if (subKeys) *subKeys = static_cast<DWORD>(ks.integer(0));
  if (maxSubKeyLength) *maxSubKeyLength = static_cast<DWORD>(ks.integer(1));
  Stmt vs(db,
          "SELECT count(*), coalesce(max(length(CAST(name AS BLOB))), 0),"
          " coalesce(max(length(data)), 0) FROM vals WHERE key = ?1");
  step = vs.bind(1, k.id()).step();
  if (step != SQLITE_ROW) return FromSqlite(step, false);
  if (values) *values = static_cast<DWORD>(vs.integer(0));
  if (maxValueNameLength) *maxValueNameLength = static_cast<DWORD>(vs.integer(1));
  if (maxValueSize) *maxValueSize = static_cast<DWORD>(vs.integer(2));
  return ERROR_SUCCESS;
}

LONG RegDeleteKey(HKEY key, const char* subKey) {
  auto serialised = OneCallAtATime();
  if (!subKey) return ERROR_INVALID_PARAMETER;
  HKEY__ k;
  LONG rc = ResolveForWrite(key, k);
  if (rc != ERROR_SUCCESS) return rc;
  if (!k.hive->writable()) return ERROR_ACCESS_DENIED;
  sqlite3* db = k.hive->db();
  Transaction txn(db, true);
  if (txn.status() != ERROR_SUCCESS) return txn.status();
  std::vector<std::string_view> parts;
  rc = SplitPath(subKey, parts);
  if (rc != ERROR_SUCCESS) return rc;
  sqlite3_int64 id = 0;
  rc = FoundKey(db, k.id, parts, id);
  if (rc != ERROR_SUCCESS) return rc;
  if (id == kRootKey) return ERROR_ACCESS_DENIED;
  Stmt children(db, "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
  int step = children.bind(1, id).step();
  if (step == SQLITE_ROW) return ERROR_ACCESS_DENIED;
  if (step != SQLITE_DONE) return FromSqlite(step, true);
  rc = DeleteBelow(db, id, false);
  if (rc != ERROR_SUCCESS) return rc;
  return txn.commit();
}

LONG RegDeleteTree(HKEY key, const char* subKey) {
  auto serialised = OneCallAtATime();
  HKEY__ k;
  LONG rc = ResolveForWrite(key, k);
  if (rc != ERROR_SUCCESS) return rc;
  if (!k.hive->writable()) return ERROR_ACCESS_DENIED;
  sqlite3* db = k.hive->db();
  Transaction txn(db, true);
  if (txn.status() != ERROR_SUCCESS) return txn.status();
  std::vector<std::string_view> parts;
  rc = SplitPath(subKey, parts);
  if (rc != ERROR_SUCCESS) return rc;
  sqlite3_int64 id = 0;
  rc = FoundKey(db, k.id, parts, id);
  if (rc != ERROR_SUCCESS) return rc;
  // Without a subkey the key is emptied and stays; a hive's root always stays.
  rc = DeleteBelow(db, id, parts.empty() || id == kRootKey);
  if (rc != ERROR_SUCCESS) return rc;
  return txn.commit();
}

LONG RegCloseKey(HKEY key) {
  if (IsPredefined(key)) return ERROR_SUCCESS;
  if (!key) return ERROR_INVALID_HANDLE;
  Handles& handles = TheHandles();
  {
    std::lock_guard lock(handles.mutex);
    if (!handles.open.erase(key)) return ERROR_INVALID_HANDLE;
  }
  delete key;
  return ERROR_SUCCESS;
}

LONG RegBeginHiveTransaction(HKEY predefined) {
  auto serialised = OneCallAtATime();
  if (!IsPredefined(predefined)) return ERROR_INVALID_HANDLE;
  HKEY__ k;
  LONG rc = ResolveForWrite(predefined, k);
  if (rc != ERROR_SUCCESS) return rc;
  auto& spanning = Spanning(HiveOf(predefined));
  if (spanning) return ERROR_INVALID_PARAMETER;  // one at a time
  if (!k.hive->writable()) return ERROR_ACCESS_DENIED;
  rc = FromSqlite(Exec(k.hive->db(), "BEGIN IMMEDIATE"), true);
  if (rc != ERROR_SUCCESS) return rc;
  spanning = k.hive;
  return ERROR_SUCCESS;
}

namespace {

LONG EndHiveTransaction(HKEY predefined, bool commit) {
  auto serialised = OneCallAtATime();
  if (!IsPredefined(predefined)) return ERROR_INVALID_HANDLE;
  auto& spanning = Spanning(HiveOf(predefined));
  if (!spanning) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<Hive> hive = std::move(spanning);
  spanning.reset();
  sqlite3* db = hive->db();
  int rc = Exec(db, commit ? "COMMIT" : "ROLLBACK");
  // A failed commit leaves nothing half-done: what it held is rolled back.
  if (rc != SQLITE_OK && sqlite3_get_autocommit(db) == 0) Exec(db, "ROLLBACK");
  return FromSqlite(rc, true);
}

}  // namespace

LONG RegCommitHiveTransaction(HKEY predefined) { return EndHiveTransaction(predefined, true); }

LONG RegRollbackHiveTransaction(HKEY predefined) { return EndHiveTransaction(predefined, false); }

std::string RegistryHiveFile(HKEY predefined) {
  return registry_detail::HiveFile(HiveOf(predefined));
}

std::string RegistryErrorText(LONG rc) {
  switch (rc) {
    case ERROR_SUCCESS: return "no error";
    case ERROR_FILE_NOT_FOUND: return "the key or value does not exist";
    case ERROR_PATH_NOT_FOUND: return "the path does not exist";
    case ERROR_ACCESS_DENIED: return "access denied: the hive is read-only for this user";
    case ERROR_INVALID_HANDLE: return "the key is not open";
    case ERROR_NOT_ENOUGH_MEMORY: return "out of memory";
    case ERROR_INVALID_DATA: return "the data is not valid";
    case ERROR_INVALID_PARAMETER: return "a name or an argument is not valid";
    case ERROR_MORE_DATA: return "the data is larger than the buffer";
    case ERROR_NO_MORE_ITEMS: return "there are no more entries";
    case ERROR_BADDB: return "the hive file is damaged or not a Zembra registry";
    case ERROR_CANTREAD: return "the hive file could not be read";
    case ERROR_CANTWRITE:
      return "the hive file could not be written, for a full disk, a write error or another "
             "program holding it too long";
    case ERROR_KEY_DELETED: return "the key was deleted meanwhile";
    default: return "unknown error";
  }
}

void RegistryReportDamageOnStderr(bool report) { registry_detail::SetDamageReporting(report); }
