#include "platform/core/registry_hive.h"
#include "platform/core/text.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>

namespace registry_detail {

namespace {

// "ZREG": marks a file as one of our hives; any other id means a foreign database.
constexpr int kApplicationId = 0x5A524547;
constexpr int kSchemaVersion = 1;

// Keys a Windows machine always has and that the product opens without creating them.
constexpr const char* kMachineSeed[] = {
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
    "SOFTWARE\\Classes",
};
constexpr const char* kUserSeed[] = {"Software\\Classes"};

constexpr const char* kSchema =
    "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER,"
    " name TEXT NOT NULL, folded TEXT NOT NULL);"
    "CREATE UNIQUE INDEX keys_by_name ON keys(parent, folded);"
    "CREATE TABLE vals(id INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER NOT NULL,"
    " name TEXT NOT NULL, folded TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL);"
    "CREATE UNIQUE INDEX vals_by_name ON vals(key, folded);"
    "INSERT INTO keys(id, parent, name, folded) VALUES(1, NULL, '', '');";

std::string Getenv(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string HomeFolder() {
  std::string home = Getenv("HOME");
  if (!home.empty()) return home;
  if (passwd* pw = getpwuid(geteuid()); pw && pw->pw_dir) return pw->pw_dir;
  return {};
}

std::string ParentFolder(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// mkdir -p; true when the folder exists afterwards.
bool MakeFolders(const std::string& folder, mode_t mode) {
  struct stat st {};
  if (stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::string parent = ParentFolder(folder);
  if (parent != folder && !MakeFolders(parent, mode)) return false;
  return mkdir(folder.c_str(), mode) == 0 || errno == EEXIST;
}

char32_t UpperCase(char32_t c) {
  if (c >= 'a' && c <= 'z') return c - 0x20;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

// One statement run to its end; SQLITE_OK or the failing code.
int Exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

int QueryInt(sqlite3* db, const char* sql, int& value) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
      value = sqlite3_column_int(stmt, 0);
      rc = SQLITE_OK;
    }
  }
  sqlite3_finalize(stmt);
  return rc;
}

int CreateSeedKey(sqlite3* db, std::string_view path) {
  sqlite3_int64 parent = kRootKey;
  while (!path.empty()) {
    auto cut = path.find('\\');
    std::string_view name = path.substr(0, cut);
    path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
    std::string folded = FoldName(name);
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(
        db,
        "INSERT INTO keys(parent, name, folded) VALUES(?1, ?2, ?3)"
        " ON CONFLICT(parent, folded) DO UPDATE SET parent = parent RETURNING id",
        -1, &stmt, nullptr);
    if (rc != SQLITE_OK) return rc;
    sqlite3_bind_int64(stmt, 1, parent);
    sqlite3_bind_text(stmt, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(stmt, 3, folded.data(), static_cast<int>(folded.size()), SQLITE_TRANSIENT);
    rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) parent = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_ROW) return rc;
  }
  return SQLITE_OK;
}

// Checks that the file is one of our hives, or makes it one when it is a new, empty database.
// Nothing is written to a file that holds anything else.
LONG PrepareSchema(sqlite3* db, HiveId id, bool writable) {
  int appId = 0;
  int rc = QueryInt(db, "PRAGMA application_id", appId);
  if (rc != SQLITE_OK) return FromSqlite(rc, false);
  int version = 0;
  if (appId == kApplicationId) {
    rc = QueryInt(db, "PRAGMA user_version", version);
    if (rc != SQLITE_OK) return FromSqlite(rc, false);
    return version == kSchemaVersion ? ERROR_SUCCESS : ERROR_BADDB;
  }
  if (appId != 0) return ERROR_BADDB;
  int tables = 0;
  rc = QueryInt(db, "SELECT count(*) FROM sqlite_master", tables);
  if (rc != SQLITE_OK) return FromSqlite(rc, false);
  if (tables != 0) return ERROR_BADDB;
  if (!writable) return ERROR_FILE_NOT_FOUND;

  // Another process may be making the same new hive: decide again under the write lock.
  rc = Exec(db, "BEGIN IMMEDIATE");
  if (rc != SQLITE_OK) return FromSqlite(rc, true);
  rc = QueryInt(db, "PRAGMA application_id", appId);
  if (rc == SQLITE_OK) rc = QueryInt(db, "SELECT count(*) FROM sqlite_master", tables);
  if (rc == SQLITE_OK && appId == kApplicationId) return FromSqlite(Exec(db, "COMMIT"), true);
  if (rc == SQLITE_OK && (appId != 0 || tables != 0)) {
    Exec(db, "ROLLBACK");
    return ERROR_BADDB;
  }
  if (rc == SQLITE_OK) rc = Exec(db, kSchema);
  std::string pragmas = "PRAGMA application_id = " + std::to_string(kApplicationId) +
                        "; PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
  if (rc == SQLITE_OK) rc = Exec(db, pragmas.c_str());
  if (id == HiveId::LocalMachine) {
    for (const char* key : kMachineSeed)
      if (rc == SQLITE_OK) rc = CreateSeedKey(db, key);
  } else if (id == HiveId::CurrentUser) {
    for (const char* key : kUserSeed)
      if (rc == SQLITE_OK) rc = CreateSeedKey(db, key);
  }
  if (rc == SQLITE_OK) rc = Exec(db, "COMMIT");
  if (rc != SQLITE_OK) Exec(db, "ROLLBACK");
  return FromSqlite(rc, true);
}

struct CacheEntry {
  std::shared_ptr<Hive> hive;
  dev_t device = 0;
  ino_t inode = 0;
  bool writable = false;
};

// The process-wide registry state: one connection per hive file, and the files already
// reported as damaged (reported once per process).
struct Cache {
  std::mutex mutex;
  pid_t pid = 0;
  std::map<std::string, CacheEntry> entries;
  std::set<std::string> reported;
  bool reportToStderr = true;
};

Cache& TheCache() {
  static Cache* cache = new Cache;  // never destroyed: handles may outlive static destruction
  return *cache;
}

bool PathWritable(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  // A hive with no write permission for anyone is read-only even for root, who otherwise
  // passes every permission check.
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
  // The rollback journal is made beside the file, so the folder must take writes too.
  return access(path.c_str(), W_OK) == 0 && access(ParentFolder(path).c_str(), W_OK) == 0;
}

void ReportDamage(Cache& cache, const std::string& path) {
  if (!cache.reportToStderr || !cache.reported.insert(path).second) return;
  std::string line = "zembra: registry hive " + path +
                     " is damaged or not a Zembra registry; it is left unchanged\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace

Hive::~Hive() { sqlite3_close_v2(m_db); }

bool Hive::writable() const { return PathWritable(m_path); }

std::string HiveFile(HiveId id) {
  const char* file = id == HiveId::ClassesRoot   ? "hkcr.db"
                     : id == HiveId::CurrentUser ? "hkcu.db"
                                                 : "hklm.db";
  std::string folder = Getenv("ZEMBRA_REGISTRY_DIR");
  if (folder.empty()) {
    if (id == HiveId::LocalMachine) {
      folder = "/etc/zembra";
    } else {
      std::string config = Getenv("XDG_CONFIG_HOME");
      if (config.empty() || config[0] != '/') {
        std::string home = HomeFolder();
        if (home.empty()) return {};
        config = home + "/.config";
      }
      folder = config + "/zembra";
    }
  }
  if (folder.back() != '/') folder += '/';
  return folder + file;
}

void SetDamageReporting(bool toStderr) {
  Cache& cache = TheCache();
  std::lock_guard lock(cache.mutex);
  cache.reportToStderr = toStderr;
}

LONG OpenHive(HiveId id, std::shared_ptr<Hive>& hive) {
  hive.reset();
  std::string path = HiveFile(id);
  if (path.empty()) return ERROR_FILE_NOT_FOUND;

  Cache& cache = TheCache();
  std::lock_guard lock(cache.mutex);
  if (cache.pid != getpid()) {
    // A connection must not be used across fork(); the parent's stay open for the parent, so
    // the child's copies are dropped without closing them.
    for (auto& [name, entry] : cache.entries) new std::shared_ptr<Hive>(std::move(entry.hive));
    cache.entries.clear();
    cache.pid = getpid();
  }

  struct stat st {};
  bool created = false;
  if (stat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) return ERROR_FILE_NOT_FOUND;
    // Machine hive readable by everyone; the user's own hives only by the user.
    bool machine = id == HiveId::LocalMachine && Getenv("ZEMBRA_REGISTRY_DIR").empty();
    if (!MakeFolders(ParentFolder(path), machine ? 0755 : 0700)) return ERROR_FILE_NOT_FOUND;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, machine ? 0644 : 0600);
    if (fd < 0 && errno != EEXIST) return ERROR_FILE_NOT_FOUND;
    if (fd >= 0) close(fd);
    if (stat(path.c_str(), &st) != 0) return ERROR_FILE_NOT_FOUND;
    created = true;
  }
  // A hive this user may not read (another user's, or a machine hive kept private).
  if (!created && access(path.c_str(), R_OK) != 0) return ERROR_ACCESS_DENIED;
  bool writable = PathWritable(path);

  auto found = cache.entries.find(path);
  if (!created && found != cache.entries.end() && found->second.device == st.st_dev &&
      found->second.inode == st.st_ino && found->second.writable == writable) {
    hive = found->second.hive;
    return ERROR_SUCCESS;
  }
  if (found != cache.entries.end()) cache.entries.erase(found);

  sqlite3* db = nullptr;
  int flags = (writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_FULLMUTEX;
  int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  auto opened = std::make_shared<Hive>(path, db);
  if (rc != SQLITE_OK) return ERROR_FILE_NOT_FOUND;
  // Writers queue behind each other (BEGIN IMMEDIATE) instead of failing at once. The
  // journal stays the default rollback journal, so that readers need no write access to the
  // folder, and a writer killed mid-way leaves a journal that the next reader rolls back.
  sqlite3_busy_timeout(db, 10000);
  sqlite3_extended_result_codes(db, 0);

  LONG result = PrepareSchema(db, id, writable);
  if (result == ERROR_BADDB) ReportDamage(cache, path);
  if (result != ERROR_SUCCESS) return result;

  cache.entries[path] = CacheEntry{opened, st.st_dev, st.st_ino, writable};
  cache.reported.erase(path);
  hive = std::move(opened);
  return ERROR_SUCCESS;
}

std::string FoldName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  std::size_t i = 0;
  while (i < name.size()) {
    auto b = static_cast<unsigned char>(name[i]);
    std::size_t len = b < 0x80         ? 1
                      : (b >> 5) == 6  ? 2
                      : (b >> 4) == 14 ? 3
                      : (b >> 3) == 30 ? 4
                                       : 0;
    bool valid = len != 0 && i + len <= name.size();
    char32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    for (std::size_t k = 1; valid && k < len; ++k) {
      auto cont = static_cast<unsigned char>(name[i + k]);
      if ((cont & 0xC0) != 0x80) valid = false;
      c = (c << 6) | (cont & 0x3F);
    }
    if (!valid) {
      out += name[i++];  // not UTF-8: compared as it is
      continue;
    }
    char32_t upper = UpperCase(c);
    if (upper == c)
      out.append(name.substr(i, len));
    else
      AppendUtf8(out, upper);
    i += len;
  }
  return out;
}

LONG FromSqlite(int rc, bool writing) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return ERROR_SUCCESS;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return ERROR_ACCESS_DENIED;
    case SQLITE_CANTOPEN:
      return writing ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      return ERROR_BADDB;
    case SQLITE_NOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return writing ? ERROR_CANTWRITE : ERROR_CANTREAD;
  }
}

}  // namespace registry_detail
