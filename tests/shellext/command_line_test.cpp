// The launcher command line that a menu choice writes, read back by the launcher's splitter.
#include <gtest/gtest.h>

#include "platform/core/process.h"
#include "shellext/menu_choice.h"

namespace {

// Paths that a Linux file name allows and that plain quoting would hand over changed.
std::vector<std::string> HostilePaths() {
  return {
      "/home/u/two words.gpg",
      "/home/u/say \"hi\".gpg",
      "/home/u/ends in backslash\\",
      "/home/u/back\\\\\"slash\\\"quote",
      "/home/u/new\nline.gpg",
      "/home/u/100% sure %MODULE%.gpg",
      "-rf",
      "/home/u/\xff\xfe not utf-8.gpg",
      "/home/u/" + std::string(4000, 'x'),
      "/home/u/tab\there.gpg",
  };
}

}  // namespace

TEST(LauncherCommandLine, OnePathGivesTheDocumentedForm) {
  EXPECT_EQ(LauncherCommandLine("/opt/zembra", 1, {"/home/u/a b.gpg"}),
            "\"/opt/zembra/ZembraShellExtApp\" 1 \"/home/u/a b.gpg\" ");
  EXPECT_EQ(LauncherCommandLine("/opt/zembra", 2, {"/a", "/b"}),
            "\"/opt/zembra/ZembraShellExtApp\" 2 \"/a\"  \"/b\" ");
  EXPECT_EQ(LauncherCommandLine("/opt/zembra", 0, {}), "\"/opt/zembra/ZembraShellExtApp\" 0");
}

// The fault: paths were quoted without escaping, so a trailing backslash or a quote in a
// name gave the launcher different arguments (and so different files).
TEST(LauncherCommandLine, HostilePathsReachTheLauncherByteForByte) {
  const std::vector<std::string> paths = HostilePaths();
  const std::vector<std::string> args =
      SplitCommandLine(LauncherCommandLine("/opt/my zembra", 1, paths));
  ASSERT_EQ(args.size(), paths.size() + 2);
  EXPECT_EQ(args[0], "/opt/my zembra/ZembraShellExtApp");
  EXPECT_EQ(args[1], "1");
  for (std::size_t i = 0; i < paths.size(); ++i) EXPECT_EQ(args[i + 2], paths[i]) << i;
}

TEST(MenuChoice, SelectionsGiveTheirItemAndCommand) {
  struct Case {
    std::vector<std::string> paths;
    unsigned actionId;
    int command;
  };
  const Case cases[] = {
      {{"/d/a.asc"}, 9132, 1},
      {{"/d/a.asc", "/d/B.ASC"}, 9133, 1},
      {{"/d/folder", "/d/a.asc"}, 9133, 1},  // two paths, though one has no dot
      {{"/d/x.gpg", "/d/y.pgp"}, 9130, 1},
      {{"/d/x.signed.gpg"}, 9130, 1},
      {{"/d/X.GPG"}, 9130, 1},
      {{"/d/x.gpg", "/d/y.txt"}, 9131, 2},
      {{"/d/x.gpg.bak"}, 9131, 2},
      {{"/d/my.dir/readme"}, 9131, 2},
      {{"/d/readme", "/d/notes"}, 9131, 2},
      {{"/d/x.asc", "/d/y.gpg"}, 9131, 2},
  };
  for (const Case& c : cases) {
    const unsigned action = ActionIdFor(ClassifySelection(c.paths), c.paths.size());
    EXPECT_EQ(action, c.actionId) << c.paths[0];
    EXPECT_EQ(CommandNumberFor(1, action), c.command) << c.paths[0];
    EXPECT_EQ(CommandNumberFor(0, action), 0);
  }
}
