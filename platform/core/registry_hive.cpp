#include "platform/core/registry_hive.h"
#include "platform/core/files.h"
#include "platform/core/text.h"
#include "platform/core/unique_fd.h"

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
  Stmt stmt(db, sql);
  int rc = stmt.step();
  if (rc != SQLITE_ROW) return rc;
  value = static_cast<int>(stmt.integer(0));
  return SQLITE_OK;
}

int CreateSeedKey(sqlite3* db, std::string_view path) {
  sqlite3_int64 parent = kRootKey;
  while (!path.empty()) {
    auto cut = path.find('\\');
    std::string_view name = path.substr(0, cut);
    path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
    std::string folded = FoldName(name);
    Stmt stmt(db,
              "INSERT INTO keys(parent, name, folded) VALUES(?1, ?2, ?3)"
              " ON CONFLICT(parent, folded) DO UPDATE SET parent = parent RETURNING id");
    int rc = stmt.bind(1, parent).bind(2, name).bind(3, folded).step();
    if (rc != SQLITE_ROW) return rc;
    parent = stmt.integer(0);
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
  bool snapshot = false;  // a copy in memory, valid while the journal it was made past is there
};

std::string JournalFile(const std::string& path) { return path + "-journal"; }

bool CopyFile(const std::string& from, const std::string& to) {
  UniqueFd in(open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.valid()) return false;
  UniqueFd out(open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!out.valid()) return false;
  char buffer[64 * 1024];
  for (;;) {
    std::int64_t n = ReadFd(in.get(), buffer, sizeof buffer);
    if (n < 0) return false;
    if (n == 0) return true;
    if (WriteFd(out.get(), buffer, static_cast<std::size_t>(n)) < 0) return false;
  }
}

// The hive's last committed state, in memory, for a reader that may not write the file while a
// journal left by a killed writer lies beside it (SQLite would refuse such a reader until
// somebody who may write rolls the journal back). The file and its journal are copied into a
// private folder, where SQLite rolls the journal back on the copy; the result is moved into
// memory and the copies removed. Null when it cannot be made.
sqlite3* OpenSnapshot(const std::string& path) {
  std::string tmp = Getenv("TMPDIR");
  std::string pattern =
      (tmp.empty() || tmp[0] != '/' ? std::string("/tmp") : tmp) + "/zembra-hive.XXXXXX";
  if (!mkdtemp(pattern.data())) return nullptr;
  std::string copy = pattern + "/hive.db";
  sqlite3* memory = nullptr;
  if (CopyFile(path, copy) && CopyFile(JournalFile(path), JournalFile(copy))) {
    sqlite3* disk = nullptr;
    if (sqlite3_open_v2(copy.c_str(), &disk, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
        Exec(disk, "SELECT count(*) FROM sqlite_master") == SQLITE_OK &&
        sqlite3_open_v2(":memory:", &memory, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) == SQLITE_OK) {
      sqlite3_backup* backup = sqlite3_backup_init(memory, "main", disk, "main");
      int rc = backup ? sqlite3_backup_step(backup, -1) : SQLITE_ERROR;
      if (backup) sqlite3_backup_finish(backup);
      if (rc != SQLITE_DONE) {
        sqlite3_close_v2(memory);
        memory = nullptr;
      }
    }
    sqlite3_close_v2(disk);
  }
  unlink(JournalFile(copy).c_str());
  unlink(copy.c_str());
  rmdir(pattern.c_str());
  return memory;
}

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

void Report(Cache& cache, const std::string& path, const char* what) {
  if (!cache.reportToStderr || !cache.reported.insert(path).second) return;
  std::string line = "zembra: registry hive " + path + " " + what + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

void ReportDamage(Cache& cache, const std::string& path) {
  Report(cache, path, "is damaged or not a Zembra registry; it is left unchanged");
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
    UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, machine ? 0644 : 0600));
    if (!fd.valid() && errno != EEXIST) return ERROR_FILE_NOT_FOUND;
    fd.reset();
    if (stat(path.c_str(), &st) != 0) return ERROR_FILE_NOT_FOUND;
    created = true;
  }
  if (!S_ISREG(st.st_mode)) {  // a folder or a device is never taken for a hive
    ReportDamage(cache, path);
    return ERROR_BADDB;
  }
  // A hive this user may not read (another user's, or a machine hive kept private).
  if (!created && access(path.c_str(), R_OK) != 0) {
    Report(cache, path, "cannot be read (access denied); its settings are not used");
    return ERROR_ACCESS_DENIED;
  }
  bool writable = PathWritable(path);
  // A reader without write access checks for a killed writer's journal on every opening: its
  // connection could not read past it.
  bool journal = !writable && access(JournalFile(path).c_str(), F_OK) == 0;

  auto found = cache.entries.find(path);
  if (!created && found != cache.entries.end() && found->second.device == st.st_dev &&
      found->second.inode == st.st_ino && found->second.writable == writable &&
      found->second.snapshot == journal) {
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
  bool snapshot = false;
  if (result == ERROR_ACCESS_DENIED && journal) {
    if (sqlite3* copy = OpenSnapshot(path)) {
      opened = std::make_shared<Hive>(path, copy);
      result = PrepareSchema(copy, id, false);
      snapshot = true;
    }
  }
  if (result == ERROR_BADDB) ReportDamage(cache, path);
  if (result != ERROR_SUCCESS) return result;

  cache.entries[path] = CacheEntry{opened, st.st_dev, st.st_ino, writable, snapshot};
  cache.reported.erase(path);
  hive = std::move(opened);
  return ERROR_SUCCESS;
}

std::string FoldName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  std::size_t i = 0;
  while (i < name.size()) {
    std::size_t start = i;
    long c = DecodeUtf8(name, i);
    // Bytes that are not UTF-8 compare as they are.
    char32_t upper = c < 0 ? 0 : UpperCase(static_cast<char32_t>(c));
    if (c < 0 || upper == static_cast<char32_t>(c))
      out.append(name.substr(start, i - start));
    else
      AppendUtf8(out, upper);
  }
  return out;
}

LONG FromSqlite(int rc, bool writing) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE: return ERROR_SUCCESS;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return ERROR_ACCESS_DENIED;
    case SQLITE_CANTOPEN: return writing ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT: return ERROR_BADDB;
    case SQLITE_NOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return writing ? ERROR_CANTWRITE : ERROR_CANTREAD;
  }
}

}  // namespace registry_detail
