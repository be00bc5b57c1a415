// The Nautilus module loaded through its module entry points, as Nautilus loads it, with file
// infos of the test's own: its menu items, their tips, and what activating one starts.
#include <gtest/gtest.h>

#include <memory>

#include "tests/shellext/nautilus_test_host.h"
#include "tests/shellext/shell_test_support.h"

namespace {

class NautilusModule : public ::testing::Test {
 protected:
  // One registry and one registered server for the suite: the module finds the server through
  // the registry, as it would in a session, and keeps it loaded until its shutdown.
  static void SetUpTestSuite() {
    s_registry = std::make_unique<ScopedRegistry>();
    s_probe = std::make_unique<ProbeFolder>();
    ShellExtModule server(s_probe->module());
    ASSERT_EQ(server.Install(true), S_OK);
    s_host = std::make_unique<NautilusTestHost>(BuiltFile("libzembra-nautilus.so"));
  }
  static void TearDownTestSuite() {
    s_host.reset();
    s_probe.reset();
    s_registry.reset();
  }
  void SetUp() override { ASSERT_TRUE(s_host->ok()) << s_host->error(); }

  static inline std::unique_ptr<ScopedRegistry> s_registry;
  static inline std::unique_ptr<ProbeFolder> s_probe;
  static inline std::unique_ptr<NautilusTestHost> s_host;
};

}  // namespace

TEST_F(NautilusModule, SelectionsGiveTheHandlersItemsWithTips) {
  struct Case {
    std::vector<std::string> paths;
    const char* action;
    const char* tip;
  };
  const Case cases[] = {
      {{"/d/a.asc"}, "Import Key", "Import key(s) into Zembra"},
      {{"/d/a.asc", "/d/B.ASC"}, "Import Keys", "Import key(s) into Zembra"},
      {{"/d/folder", "/d/a.asc"}, "Import Keys", "Import key(s) into Zembra"},
      {{"/d/x.gpg", "/d/y.pgp"}, "Decrypt with Zembra", "Decrypt file(s) with Zembra"},
      {{"/d/x.signed.gpg"}, "Decrypt with Zembra", "Decrypt file(s) with Zembra"},
      {{"/d/x.gpg", "/d/y.txt"}, "Encrypt with Zembra", "Encrypt file(s) with Zembra"},
      {{"/d/x.gpg.bak"}, "Encrypt with Zembra", "Encrypt file(s) with Zembra"},
      {{"/d/my.dir/readme"}, "Encrypt with Zembra", "Encrypt file(s) with Zembra"},
  };
  for (const Case& c : cases) {
    const std::vector<NautilusItemShown> items = s_host->ItemsFor(c.paths);
    ASSERT_EQ(items.size(), 2u) << c.paths[0];
    EXPECT_EQ(items[0].label, "Zembra...");
    EXPECT_EQ(items[0].tip, "Encrypt/decrypt file(s) with Zembra");
    EXPECT_EQ(items[1].label, c.action) << c.paths[0];
    EXPECT_EQ(items[1].tip, c.tip) << c.paths[0];
  }
}

TEST_F(NautilusModule, ActivatingAnItemStartsTheLauncherOnTheSelection) {
  const std::vector<std::string> paths{"/d/x.gpg", "/d/with \"quote\".pgp"};
  ASSERT_EQ(s_host->ItemsFor(paths).size(), 2u);
  s_host->Activate(1);
  const auto argv = s_probe->WaitForArgv();
  ASSERT_TRUE(argv) << "the launcher did not run";
  EXPECT_EQ(*argv, (std::vector<std::string>{"1", paths[0], paths[1]}));
}

TEST_F(NautilusModule, RemoteFilesGetNoItems) {
  EXPECT_TRUE(s_host->ItemsFor({"/d/x.gpg", "sftp://host/y.gpg"}).empty());
  EXPECT_TRUE(s_host->ItemsFor({}).empty());
}
