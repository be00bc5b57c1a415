// The Nautilus module loaded through its module entry points, as Nautilus loads it, with file
// infos of the test's own: its menu items, their tips, and what activating one starts.
#include <gtest/gtest.h>

#include "tests/shellext/file_manager_cases.h"
#include "tests/shellext/nautilus_test_host.h"

namespace {

FileManagerTestHost& Nautilus() {
  static NautilusTestHost host(BuiltFile("libzembra-nautilus.so"));
  return host;
}

using NautilusModule = ModuleWithServer<Nautilus>;
using NautilusModuleAlone = ModuleWithoutServer<Nautilus>;

}  // namespace

// First: the module must not have loaded a server yet when run in one process.
TEST_F(NautilusModuleAlone, NoServerOrOneThatFailsToLoadGivesNoItems) {
  ExpectNoItemsWithoutAServerThatLoads(host(), ZEMBRA_INSTALLED_SHELLEXT);
}

TEST_F(NautilusModule, SelectionsGiveTheHandlersItemsWithTips) {
  ExpectSelectionsGiveTheHandlersItems(host());
}

TEST_F(NautilusModule, ActivatingAnItemStartsTheLauncherOnTheSelection) {
  const std::vector<std::string> paths{"/d/x.gpg", "/d/with \"quote\".pgp"};
  ASSERT_EQ(host().ItemsFor(paths).size(), 2u);
  host().Activate(1);
  const auto argv = server().WaitForNextArgv();
  ASSERT_TRUE(argv) << "the launcher did not run";
  EXPECT_EQ(*argv, (std::vector<std::string>{"1", paths[0], paths[1]}));
}

TEST_F(NautilusModule, HostilePathsReachTheLauncherByteForByte) {
  ExpectHostilePathsReachTheLauncher(host(), server());
}

TEST_F(NautilusModule, RemoteFilesGetNoItems) { ExpectRemoteFilesGetNoItems(host()); }
