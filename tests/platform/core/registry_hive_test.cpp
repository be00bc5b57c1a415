// The hive files: read-only hives, hives that cannot be made, writers in several processes,
// a writer killed mid-write, and damaged or foreign files.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <grp.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <thread>

#include "platform/core/files.h"
#include "tests/platform/core/registry_test_support.h"
#include "tests/support/sqlite_integrity.h"

using ::testing::HasSubstr;

namespace {

constexpr uid_t kNobody = 65534;

// Runs calls in a child process (optionally as the unprivileged user "nobody") and returns the
// codes it got. The child leaves through _exit, so nothing of the test runs twice.
std::vector<LONG> InChild(const std::function<std::vector<LONG>()>& calls, bool asNobody) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    if (asNobody && (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
                     setresuid(kNobody, kNobody, kNobody) != 0))
      _exit(2);
    std::vector<LONG> codes = calls();
    ssize_t n = write(fds[1], codes.data(), codes.size() * sizeof(LONG));
    _exit(n == static_cast<ssize_t>(codes.size() * sizeof(LONG)) ? 0 : 3);
  }
  close(fds[1]);
  std::vector<LONG> codes;
  LONG code = 0;
  while (read(fds[0], &code, sizeof code) == sizeof code) codes.push_back(code);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  return codes;
}

LONG OpenCode(HKEY root, const char* path, REGSAM access) {
  RegKey key;
  return RegOpenKeyEx(root, path, 0, access, key.put());
}

LONG CreateCode(HKEY root, const char* path) {
  RegKey key;
  return RegCreateKeyEx(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
}

}  // namespace

class RegistryHive : public RegistryTest {};

TEST_F(RegistryHive, HiveFileWithoutWritePermissionRefusesWritesEvenForRoot) {
  {
    RegKey key = CreateKey("Software\\Fixed", HKEY_LOCAL_MACHINE);
    ASSERT_EQ(SetText(key.get(), "Type", "Full"), ERROR_SUCCESS);
  }
  ASSERT_EQ(chmod(hiveFile("hklm.db").c_str(), 0444), 0);
  std::string before = ReadFileBytes(hiveFile("hklm.db"));

  EXPECT_EQ(OpenCode(HKEY_LOCAL_MACHINE, "Software\\Fixed", KEY_WRITE), ERROR_ACCESS_DENIED);
  EXPECT_EQ(OpenCode(HKEY_LOCAL_MACHINE, "Software\\Fixed", KEY_ALL_ACCESS), ERROR_ACCESS_DENIED);
  EXPECT_EQ(CreateCode(HKEY_LOCAL_MACHINE, "Software\\New"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(SetText(HKEY_LOCAL_MACHINE, "AtRoot", "x"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, "Software\\Fixed"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, "Software\\Fixed"), ERROR_ACCESS_DENIED);

  // Reads still work, and an existing key opens through create-or-open with read rights.
  RegKey key;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Fixed", 0, KEY_READ, key.put()),
            ERROR_SUCCESS);
  EXPECT_EQ(QueryValue(key.get(), "Type").bytes, std::string("Full\0", 5));
  RegKey existing;
  EXPECT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "Software\\Fixed", 0, nullptr, 0, KEY_READ, nullptr,
                           existing.put(), nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(ReadFileBytes(hiveFile("hklm.db")), before);

  // Writable again: writes work again in the same process.
  ASSERT_EQ(chmod(hiveFile("hklm.db").c_str(), 0644), 0);
  EXPECT_EQ(SetText(HKEY_LOCAL_MACHINE, "AtRoot", "x"), ERROR_SUCCESS);
}

TEST_F(RegistryHive, MachineHiveIsReadOnlyForAnOrdinaryUser) {
  if (geteuid() != 0) GTEST_SKIP() << "acting as another user needs root";
  {
    RegKey key = CreateKey("SOFTWARE\\Orvel Ltd\\Zembra", HKEY_LOCAL_MACHINE);
    ASSERT_EQ(SetText(key.get(), "Type", "Full"), ERROR_SUCCESS);
  }
  // As /etc/zembra for a user: the folder and the file readable by all, writable by root only.
  ASSERT_EQ(chmod(folder().c_str(), 0755), 0);
  ASSERT_EQ(chmod(hiveFile("hklm.db").c_str(), 0644), 0);
  std::string before = ReadFileBytes(hiveFile("hklm.db"));

  std::vector<LONG> codes = InChild(
      [] {
        RegKey key;
        LONG open =
            RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvel Ltd\\Zembra", 0, KEY_READ, key.put());
        StoredValue type = QueryValue(key.get(), "Type");
        LONG sameText = type.bytes == std::string("Full\0", 5) ? 0 : 1;
        return std::vector<LONG>{
            open,
            type.status,
            sameText,
            OpenCode(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvel Ltd\\Zembra", KEY_ALL_ACCESS),
            CreateCode(HKEY_LOCAL_MACHINE, "SOFTWARE\\Other"),
            SetText(HKEY_LOCAL_MACHINE, "V", "x"),
            RegDeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvel Ltd")};
      },
      true);
  EXPECT_THAT(
      codes, ::testing::ElementsAre(ERROR_SUCCESS, ERROR_SUCCESS, 0, ERROR_ACCESS_DENIED,
                                    ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED));
  EXPECT_EQ(ReadFileBytes(hiveFile("hklm.db")), before);
}

TEST_F(RegistryHive, HiveThatCannotBeMadeIsMissingForReadsAndDeniedForWrites) {
  if (geteuid() != 0) GTEST_SKIP() << "acting as another user needs root";
  // A user cannot make a folder in a folder of root's.
  ASSERT_EQ(chmod(folder().c_str(), 0755), 0);
  std::string unreachable = folder() + "/root-only/zembra";
  std::vector<LONG> codes = InChild(
      [&] {
        setenv("ZEMBRA_REGISTRY_DIR", unreachable.c_str(), 1);
        return std::vector<LONG>{OpenCode(HKEY_LOCAL_MACHINE, "Software", KEY_READ),
                                 OpenCode(HKEY_LOCAL_MACHINE, nullptr, KEY_READ),
                                 OpenCode(HKEY_LOCAL_MACHINE, "Software", KEY_WRITE),
                                 CreateCode(HKEY_LOCAL_MACHINE, "Software\\New"),
                                 SetText(HKEY_CURRENT_USER, "V", "x")};
      },
      true);
  EXPECT_THAT(
      codes, ::testing::ElementsAre(ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED,
                                    ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED));
  struct stat st {};
  EXPECT_NE(stat((folder() + "/root-only").c_str(), &st), 0);
}

TEST_F(RegistryHive, HiveTheUserMayNotReadIsAccessDenied) {
  if (geteuid() != 0) GTEST_SKIP() << "acting as another user needs root";
  ASSERT_EQ(CreateCode(HKEY_LOCAL_MACHINE, "Software\\Private"), ERROR_SUCCESS);
  ASSERT_EQ(chmod(folder().c_str(), 0755), 0);
  ASSERT_EQ(chmod(hiveFile("hklm.db").c_str(), 0600), 0);
  std::vector<LONG> codes = InChild(
      [] {
        return std::vector<LONG>{OpenCode(HKEY_LOCAL_MACHINE, "Software\\Private", KEY_READ),
                                 CreateCode(HKEY_LOCAL_MACHINE, "Software\\Private")};
      },
      true);
  EXPECT_THAT(codes, ::testing::ElementsAre(ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED));
}

TEST_F(RegistryHive, TwoWriterProcessesOnOneKeyLoseNoValue) {
  // Each writer is a loop of zembra-reg processes, so every write opens the hive afresh and
  // the two loops keep meeting at the lock.
  constexpr int kValues = 60;
  const std::string tool = ZembraRegPath();
  ASSERT_EQ(CreateCode(HKEY_CURRENT_USER, "Software\\Shared"), ERROR_SUCCESS);
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  std::vector<pid_t> writers;
  for (char prefix : {'A', 'B'}) {
    pid_t pid = fork();
    if (pid == 0) {
      close(go[1]);
      char byte;
      if (read(go[0], &byte, 1) != 0) _exit(100);  // both start when the pipe closes
      int failures = 0;
      for (int i = 0; i < kValues; ++i) {
        std::string name = prefix + std::to_string(i);
        std::string data = name + "-data";
        pid_t add = fork();
        if (add == 0) {
          int null = open("/dev/null", O_WRONLY);
          dup2(null, 1);
          execl(tool.c_str(), "zembra-reg", "add", "HKCU\\Software\\Shared", "--value",
                name.c_str(), "--data", data.c_str(), static_cast<char*>(nullptr));
          _exit(127);
        }
        int status = 0;
        waitpid(add, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failures;
      }
      _exit(failures > 99 ? 99 : failures);
    }
    writers.push_back(pid);
  }
  close(go[0]);
  close(go[1]);
  for (pid_t pid : writers) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "writer failures: " << (WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  }

  RegKey key;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Shared", 0, KEY_READ, key.put()),
            ERROR_SUCCESS);
  DWORD values = 0;
  ASSERT_EQ(RegQueryInfoKey(key.get(), nullptr, nullptr, &values, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(values, 2u * kValues);
  for (char prefix : {'A', 'B'})
    for (int i = 0; i < kValues; ++i) {
      std::string name = prefix + std::to_string(i);
      EXPECT_EQ(QueryValue(key.get(), name.c_str()).bytes, name + "-data" + '\0');
    }
}

TEST_F(RegistryHive, ThreadsSharingOneConnectionLoseNoValue) {
  constexpr int kValues = 100;
  auto writer = [](char prefix, int* failures) {
    for (int i = 0; i < kValues; ++i) {
      RegKey key;
      std::string name = prefix + std::to_string(i);
      if (RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Threads", 0, nullptr, 0, KEY_ALL_ACCESS,
                         nullptr, key.put(), nullptr) != ERROR_SUCCESS ||
          SetText(key.get(), name.c_str(), name) != ERROR_SUCCESS ||
          QueryValue(key.get(), name.c_str()).bytes != name + '\0')
        ++*failures;
    }
  };
  int failuresA = 0, failuresB = 0;
  std::thread a(writer, 'A', &failuresA);
  std::thread b(writer, 'B', &failuresB);
  a.join();
  b.join();
  EXPECT_EQ(failuresA, 0);
  EXPECT_EQ(failuresB, 0);
  RegKey key;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Threads", 0, KEY_READ, key.put()),
            ERROR_SUCCESS);
  EXPECT_EQ(ValueNames(key.get()).size(), 2u * kValues);
}

TEST_F(RegistryHive, WriterKilledMidWriteLeavesOldOrNewValue) {
  constexpr std::size_t kBlobSize = 256 * 1024;
  for (int round = 0; round < 20; ++round) {
    int started[2];
    ASSERT_EQ(pipe(started), 0);
    pid_t pid = fork();
    if (pid == 0) {
      close(started[0]);
      RegKey key;
      if (RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Durable", 0, nullptr, 0, KEY_ALL_ACCESS,
                         nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        _exit(1);
      // Each write replaces the whole blob with one repeated byte, so a torn write shows.
      for (unsigned n = 1;; ++n) {
        std::string blob(kBlobSize, static_cast<char>(n % 251));
        if (SetBytes(key.get(), "Blob", REG_BINARY, blob) != ERROR_SUCCESS) _exit(2);
        if (n == 1 && write(started[1], "s", 1) != 1) _exit(3);
      }
    }
    close(started[1]);
    char byte = 0;
    ASSERT_EQ(read(started[0], &byte, 1), 1) << "writer did not start in round " << round;
    close(started[0]);
    usleep(static_cast<useconds_t>((round % 7) * 1500));  // vary where the kill lands
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "writer ended by itself: " << status;

    RegKey key;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Durable", 0, KEY_READ, key.put()),
              ERROR_SUCCESS);
    StoredValue blob = QueryValue(key.get(), "Blob");
    ASSERT_EQ(blob.status, ERROR_SUCCESS) << "round " << round;
    ASSERT_EQ(blob.bytes.size(), kBlobSize) << "round " << round;
    EXPECT_EQ(blob.bytes.find_first_not_of(blob.bytes[0]), std::string::npos)
        << "torn value in round " << round;
    ASSERT_EQ(IntegrityCheck(hiveFile("hkcu.db")), "ok") << "round " << round;
  }
}

namespace {

std::string Garbage(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + 7) % 256);
  return bytes;
}

// The file content for each kind of damage; empty for a foreign SQLite database.
std::string DamagedBytes(std::string_view kind) {
  if (kind == "garbage") return Garbage(8192);
  if (kind == "text") return "not a database\n";
  if (kind == "truncatedSqlite") return std::string("SQLite format 3\0", 16) + Garbage(3000);
  return {};
}

}  // namespace

class DamagedHive : public RegistryTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(DamagedHive, IsReportedAsBadDbAndLeftUnchanged) {
  const std::string file = hiveFile("hkcu.db");
  const std::string bytes = DamagedBytes(GetParam());
  if (bytes.empty()) {
    // A foreign SQLite database.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE notes(text); INSERT INTO notes VALUES('mine');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  } else {
    WriteFileBytes(file, bytes);
  }
  const std::string before = ReadFileBytes(file);

  ::testing::internal::CaptureStderr();
  LONG open = OpenCode(HKEY_CURRENT_USER, "Software", KEY_READ);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(open, ERROR_BADDB);
  EXPECT_THAT(err, HasSubstr("registry hive " + file + " is damaged or not a Zembra registry"));

  EXPECT_EQ(CreateCode(HKEY_CURRENT_USER, "Software\\New"), ERROR_BADDB);
  EXPECT_EQ(SetText(HKEY_CURRENT_USER, "V", "x"), ERROR_BADDB);
  EXPECT_EQ(RegDeleteTree(HKEY_CURRENT_USER, "Software"), ERROR_BADDB);
  EXPECT_EQ(ReadFileBytes(file), before);
  // The other hives are not affected.
  EXPECT_EQ(CreateCode(HKEY_CLASSES_ROOT, ".gpg"), ERROR_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedHive,
                         ::testing::Values("garbage", "text", "truncatedSqlite", "foreignSqlite"),
                         [](const auto& p) { return std::string(p.param); });

TEST_F(RegistryHive, EmptyFileBecomesANewHive) {
  WriteFileBytes(hiveFile("hkcu.db"), "");
  EXPECT_EQ(OpenCode(HKEY_CURRENT_USER, "Software\\Classes", KEY_READ), ERROR_SUCCESS);
}

namespace {

// A writer that dies in the middle of a large transaction on the hive, after SQLite has spilled
// changed pages into the file: its journal stays behind, hot, until somebody rolls it back.
void KillWriterMidTransaction(const std::string& hive) {
  pid_t pid = fork();
  if (pid == 0) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(hive.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) _exit(1);
    sqlite3_exec(db,
                 "PRAGMA cache_size = 2; BEGIN IMMEDIATE;"
                 " UPDATE vals SET data = CAST('Half' AS BLOB);"
                 " WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400)"
                 " INSERT INTO vals(key, name, folded, type, data)"
                 " SELECT 1, 'filler' || i, 'FILLER' || i, 3, zeroblob(4000) FROM n;",
                 nullptr, nullptr, nullptr);
    kill(getpid(), SIGKILL);
    _exit(2);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status)) << "writer status " << status;
}

}  // namespace

// After a writer is killed, a reader who may not write the hive used to get "access denied"
// (and the product then fell back to the portable key ring); it reads the last committed state.
TEST_F(RegistryHive, ReaderWithoutWriteAccessReadsPastAKilledWritersJournal) {
  {
    RegKey key = CreateKey("SOFTWARE\\Orvel Ltd\\Zembra", HKEY_LOCAL_MACHINE);
    ASSERT_EQ(SetText(key.get(), "Type", "Full"), ERROR_SUCCESS);
  }
  std::string hive = hiveFile("hklm.db");
  KillWriterMidTransaction(hive);
  ASSERT_TRUE(PathExists(hive + "-journal"));
  ASSERT_EQ(chmod(hive.c_str(), 0444), 0);  // read-only for everybody, root included
  std::string before = ReadFileBytes(hive);

  std::vector<LONG> codes = InChild(
      [] {
        RegKey key;
        LONG open =
            RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvel Ltd\\Zembra", 0, KEY_READ, key.put());
        StoredValue type = QueryValue(key.get(), "Type");
        return std::vector<LONG>{open, type.status, type.bytes == std::string("Full\0", 5) ? 0 : 1,
                                 SetText(HKEY_LOCAL_MACHINE, "V", "x")};
      },
      false);
  EXPECT_THAT(codes, ::testing::ElementsAre(ERROR_SUCCESS, ERROR_SUCCESS, 0, ERROR_ACCESS_DENIED));
  // The reader wrote nothing: the journal waits for somebody who may write.
  EXPECT_EQ(ReadFileBytes(hive), before);
  EXPECT_TRUE(PathExists(hive + "-journal"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder()), {}), 2);

  // The first writer rolls it back; the hive is whole.
  ASSERT_EQ(chmod(hive.c_str(), 0644), 0);
  RegKey key;
  ASSERT_EQ(
      RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvel Ltd\\Zembra", 0, KEY_ALL_ACCESS, key.put()),
      ERROR_SUCCESS);
  EXPECT_EQ(QueryValue(key.get(), "Type").bytes, std::string("Full\0", 5));
  EXPECT_EQ(IntegrityCheck(hive), "ok");
}

TEST_F(RegistryHive, HiveTransactionIsSeenWholeOrNotAtAllByOtherProcesses) {
  RegKey key = CreateKey("Software\\Batch");
  ASSERT_EQ(SetText(key.get(), "a", "old"), ERROR_SUCCESS);
  auto valuesSeenByAnother = [] {
    return InChild(
        [] {
          RegKey k;
          RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Batch", 0, KEY_READ, k.put());
          return std::vector<LONG>{static_cast<LONG>(ValueNames(k.get()).size()),
                                   QueryValue(k.get(), "a").bytes == std::string("new\0", 4)};
        },
        false);
  };

  ASSERT_EQ(RegBeginHiveTransaction(HKEY_CURRENT_USER), ERROR_SUCCESS);
  EXPECT_EQ(RegBeginHiveTransaction(HKEY_CURRENT_USER), ERROR_INVALID_PARAMETER);
  ASSERT_EQ(SetText(key.get(), "a", "new"), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key.get(), "b", "new"), ERROR_SUCCESS);
  EXPECT_EQ(QueryValue(key.get(), "b").status, ERROR_SUCCESS);  // this process sees its own
  EXPECT_THAT(valuesSeenByAnother(), ::testing::ElementsAre(1, 0));
  ASSERT_EQ(RegRollbackHiveTransaction(HKEY_CURRENT_USER), ERROR_SUCCESS);
  EXPECT_THAT(valuesSeenByAnother(), ::testing::ElementsAre(1, 0));
  EXPECT_EQ(QueryValue(key.get(), "b").status, ERROR_FILE_NOT_FOUND);

  ASSERT_EQ(RegBeginHiveTransaction(HKEY_CURRENT_USER), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key.get(), "a", "new"), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key.get(), "b", "new"), ERROR_SUCCESS);
  // A failing call inside undoes only itself.
  EXPECT_EQ(RegDeleteValue(key.get(), "missing"), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegCommitHiveTransaction(HKEY_CURRENT_USER), ERROR_SUCCESS);
  EXPECT_THAT(valuesSeenByAnother(), ::testing::ElementsAre(2, 1));
  EXPECT_EQ(RegCommitHiveTransaction(HKEY_CURRENT_USER), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryHive, KeyPathsAreBoundedOnEveryWayIn) {
  std::string deep;
  for (std::size_t i = 0; i < kRegMaxKeyDepth; ++i) deep += i ? "\\k" : "k";
  RegKey last = CreateKey(deep.c_str());
  ASSERT_TRUE(last);
  RegKey key;
  EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, (deep + "\\k").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                           nullptr, key.put(), nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(
      RegCreateKeyEx(last.get(), "k", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
      ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, (deep + "\\k").c_str(), 0, KEY_READ, key.put()),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyEx(last.get(), "k", 0, KEY_READ, key.put()), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(CreateCode(HKEY_CURRENT_USER, ("Software\\" + std::string(256, 'n')).c_str()),
            ERROR_INVALID_PARAMETER);
  // Deleting the deep tree walks no recursion of ours either.
  EXPECT_EQ(RegDeleteTree(HKEY_CURRENT_USER, "k"), ERROR_SUCCESS);
  EXPECT_EQ(OpenCode(HKEY_CURRENT_USER, "k", KEY_READ), ERROR_FILE_NOT_FOUND);
}
