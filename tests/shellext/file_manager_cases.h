// What every file manager's module is tested for, through that file manager's side of it (a
// test host): the selections and their items, hostile paths, remote files, and a server that
// is missing or does not load. Each module's test runs these with its own host.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/shellext/file_manager_test_host.h"
#include "tests/shellext/shell_test_support.h"

// One registry and one registered server (a probe launcher beside it) for a test suite: the
// module finds the server through the registry, as it would in a session, and keeps it loaded
// until its shutdown. Made before the host, released after it.
class RegisteredProbe {
 public:
  RegisteredProbe();
  const ProbeFolder& probe() const { return m_probe; }
  // The launcher's arguments at its next run (nullopt when it did not run in time).
  std::optional<std::vector<std::string>> WaitForNextArgv();

 private:
  ScopedRegistry m_registry;
  ProbeFolder m_probe;
  int m_runs = 0;
};

// The selections and the second item each gives; the first is always "Zembra...".
struct SelectionCase {
  std::vector<std::string> paths;
  const char* action;
  const char* tip;
};
const std::vector<SelectionCase>& MenuSelections();

// Paths a file manager hands over that a naive host would mangle.
std::vector<std::string> HostilePaths();

// Each selection gives "Zembra..." and its action, in that order, with their tips.
void ExpectSelectionsGiveTheHandlersItems(FileManagerTestHost& host);
// Activating the second item for the hostile paths starts the launcher with each path as one
// argument, byte for byte.
void ExpectHostilePathsReachTheLauncher(FileManagerTestHost& host, RegisteredProbe& server);
// A selection with a remote file, and an empty one, get no items.
void ExpectRemoteFilesGetNoItems(FileManagerTestHost& host);
// With no registered server, and with a registered file that is not the server, the module
// shows nothing and keeps answering; once the server is registered, its items come. Runs with
// a registry of its own; the module must not have loaded a server before.
// installedServer: where the module looks when the registry names nothing.
void ExpectNoItemsWithoutAServerThatLoads(FileManagerTestHost& host,
                                          const std::string& installedServer);

// The suites every module's test runs, over the process's one host of that module (a module is
// loaded once per process, as in the file manager). HostOf gives that host.
template <FileManagerTestHost& (*HostOf)()>
class ModuleWithServer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_server = std::make_unique<RegisteredProbe>(); }
  static void TearDownTestSuite() {
    HostOf().ShutDownModule();
    s_server.reset();
  }
  void SetUp() override { ASSERT_TRUE(host().ok()) << host().error(); }
  static FileManagerTestHost& host() { return HostOf(); }
  static RegisteredProbe& server() { return *s_server; }

 private:
  static inline std::unique_ptr<RegisteredProbe> s_server;
};

template <FileManagerTestHost& (*HostOf)()>
class ModuleWithoutServer : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(host().ok()) << host().error(); }
  void TearDown() override { host().ShutDownModule(); }
  static FileManagerTestHost& host() { return HostOf(); }
};
