// The text forms of the associations: program paths, open commands, desktop entries, the
// user's mimeapps.list and the MIME database's patterns.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "zembra/associations/desktop_entry.h"
#include "zembra/associations/file_associations.h"
#include "zembra/associations/mime_globs.h"
#include "zembra/associations/mimeapps_list.h"

using ::testing::ElementsAre;

namespace {

std::string Replaced(std::string path, const char* extension) {
  ReplaceExtension(path, extension);
  return path;
}

}  // namespace

TEST(ReplaceExtension, ReplacesTheLastNamesExtensionOnly) {
  EXPECT_EQ(Replaced("C:\\Program Files\\Zembra\\Zembra.dll", ".exe"),
            "C:\\Program Files\\Zembra\\Zembra.exe");
  EXPECT_EQ(Replaced("/opt/zembra/Zembra.dll", "exe"), "/opt/zembra/Zembra.exe");
  EXPECT_EQ(Replaced("/opt/zembra/Zembra", ".exe"), "/opt/zembra/Zembra.exe");
  EXPECT_EQ(Replaced("/opt/zembra/Zembra", "exe"), "/opt/zembra/Zembra.exe");
  // A dot in a folder name is not the extension.
  EXPECT_EQ(Replaced("/opt/zembra.d/Zembra", ".exe"), "/opt/zembra.d/Zembra.exe");
  EXPECT_EQ(Replaced("C:\\my.folder\\Zembra", ".exe"), "C:\\my.folder\\Zembra.exe");
  EXPECT_EQ(Replaced("D:Zembra", ".exe"), "D:Zembra.exe");
  // The first character is never looked at.
  EXPECT_EQ(Replaced(".profile", ".exe"), ".profile.exe");
  EXPECT_EQ(Replaced("a.b.dll", ".exe"), "a.b.exe");
}

TEST(ProgramPathForLibrary, TakesLibAndSoOffTheName) {
  EXPECT_EQ(ProgramPathForLibrary("/opt/zembra/libZembra.so"), "/opt/zembra/Zembra");
  EXPECT_EQ(ProgramPathForLibrary("/opt/zembra/libZembra.so.1.2"), "/opt/zembra/Zembra");
  EXPECT_EQ(ProgramPathForLibrary("/opt/lib.so.dir/libZembra.so"), "/opt/lib.so.dir/Zembra");
  EXPECT_EQ(ProgramPathForLibrary("/opt/zembra/Zembra"), "/opt/zembra/Zembra");
}

TEST(ProgramPathFromCommand, QuotedAndUnquotedWithAndWithoutOptions) {
  EXPECT_EQ(ProgramPathFromCommand("\"/opt/my apps/Zembra\" \"%1\""), "/opt/my apps/Zembra");
  EXPECT_EQ(ProgramPathFromCommand("\"/opt/unterminated"), "/opt/unterminated");
  EXPECT_EQ(ProgramPathFromCommand("/usr/bin/viewer %1"), "/usr/bin/viewer");
  // Blanks of the path survive when an option with a slash follows.
  EXPECT_EQ(ProgramPathFromCommand("C:\\Program Files\\Viewer\\v.exe /open \"%1\""),
            "C:\\Program Files\\Viewer\\v.exe");
  EXPECT_EQ(ProgramPathFromCommand("/usr/bin/viewer \"%1\""), "/usr/bin/viewer");
  EXPECT_EQ(ProgramPathFromCommand("/usr/bin/viewer --open"), "/usr/bin/viewer");
  EXPECT_EQ(ProgramPathFromCommand("/usr/bin/viewer"), "/usr/bin/viewer");
}

TEST(DesktopEntry, ExecLineOfAPathWithBlanksQuotesAndPercentIsQuoted) {
  const std::string path = "/opt/my \"odd\" 100% $dir\\x/Zembra";
  const std::string entry = MakeDesktopEntry(path, {"application/pgp-encrypted"}, "Zembra", "A");
  const std::optional<std::string> exec = DesktopEntryValue(entry, "Desktop Entry", "Exec");
  ASSERT_TRUE(exec);
  // Quoted, '"', '$' and '\' escaped inside, '%' doubled; then the backslashes of the string
  // value doubled again.
  EXPECT_EQ(*exec, "\"/opt/my \\\\\"odd\\\\\" 100%% \\\\$dir\\\\\\\\x/Zembra\" %f");
  EXPECT_THAT(SplitExecLine(UnescapeDesktopString(*exec)), ElementsAre(path, "%f"));

  const std::optional<std::string> action =
      DesktopEntryValue(entry, "Desktop Action associations", "Exec");
  ASSERT_TRUE(action);
  EXPECT_THAT(SplitExecLine(UnescapeDesktopString(*action)), ElementsAre(path, "--associations"));
}

TEST(DesktopEntry, PlainPathStaysBareAndEntryDeclaresTypesAndIcon) {
  const std::string entry =
      MakeDesktopEntry("/opt/zembra/Zembra", {"application/pgp-encrypted", "application/pgp-keys"},
                       "Zembra", "Zembra Shell Integration");
  EXPECT_EQ(DesktopEntryValue(entry, "Desktop Entry", "Exec"), "/opt/zembra/Zembra %f");
  EXPECT_EQ(DesktopEntryValue(entry, "Desktop Entry", "MimeType"),
            "application/pgp-encrypted;application/pgp-keys;");
  EXPECT_EQ(DesktopEntryValue(entry, "Desktop Entry", "Icon"), "zembra");
  EXPECT_EQ(DesktopEntryValue(entry, "Desktop Entry", "Name"), "Zembra");
  EXPECT_EQ(DesktopEntryValue(entry, "Desktop Action associations", "Name"),
            "Zembra Shell Integration");
}

// The installed entry stands for Zembra in the application grid; the one the associations write
// for the user must not make it appear there twice, and still opens the types it declares.
TEST(Faults, TheAssociationsEntryDoesNotShowZembraTwiceInTheApplicationGrid) {
  const std::string entry =
      MakeDesktopEntry("/usr/lib/zembra/Zembra", {"application/pgp-encrypted"}, "Zembra",
                       "Zembra Shell Integration");
  EXPECT_EQ(DesktopEntryValue(entry, "Desktop Entry", "NoDisplay"), "true");
  EXPECT_EQ(DesktopEntryValue(entry, "Desktop Entry", "MimeType"), "application/pgp-encrypted;");
  EXPECT_EQ(DesktopEntryValue(entry, "Desktop Entry", "Exec"), "/usr/lib/zembra/Zembra %f");
}

TEST(DesktopEntry, ValuesComeFromTheFirstGroupOfThatNameOnly) {
  const std::string text =
      "# comment\n[Other]\nName=no\n[Desktop Entry]\nName[de]=Nein\nName = Yes \n"
      "[Desktop Entry]\nExec=second\n";
  EXPECT_EQ(DesktopEntryValue(text, "Desktop Entry", "Name"), "Yes");
  EXPECT_EQ(DesktopEntryValue(text, "Desktop Entry", "Exec"), std::nullopt);
  EXPECT_EQ(DesktopEntryValue(text, "Missing", "Name"), std::nullopt);
}

// Another program's defaults, several groups, comments, blank lines, and no end on the last
// line: all of it stays byte for byte.
constexpr const char* kBusyMimeApps =
    "# chosen by the user\n"
    "[Added Associations]\n"
    "application/pgp-encrypted=other.desktop;\n"
    "\n"
    "[Default Applications]\n"
    "text/html=firefox.desktop;\n"
    "# a comment inside\n"
    "application/pgp-keys = seahorse.desktop;kleopatra.desktop\n"
    "\n"
    "[Removed Associations]\n"
    "image/png=gimp.desktop;";

TEST(MimeAppsList, AddAndRemoveKeepEverythingElseByteForByte) {
  std::string text = kBusyMimeApps;
  text = AddDefaultApplication(text, "application/pgp-keys", "zembra.desktop");
  text = AddDefaultApplication(text, "application/pgp-encrypted", "zembra.desktop");
  EXPECT_EQ(text,
            "# chosen by the user\n"
            "[Added Associations]\n"
            "application/pgp-encrypted=other.desktop;\n"
            "\n"
            "[Default Applications]\n"
            "application/pgp-encrypted=zembra.desktop;\n"
            "text/html=firefox.desktop;\n"
            "# a comment inside\n"
            "application/pgp-keys = zembra.desktop;seahorse.desktop;kleopatra.desktop\n"
            "\n"
            "[Removed Associations]\n"
            "image/png=gimp.desktop;");
  EXPECT_THAT(ListedApplications(text, kDefaultApplications, "application/pgp-keys"),
              ElementsAre("zembra.desktop", "seahorse.desktop", "kleopatra.desktop"));
  // Adding again changes nothing.
  EXPECT_EQ(AddDefaultApplication(text, "application/pgp-keys", "zembra.desktop"), text);

  text = RemoveDefaultApplication(text, "application/pgp-keys", "zembra.desktop");
  text = RemoveDefaultApplication(text, "application/pgp-encrypted", "zembra.desktop");
  EXPECT_EQ(text, kBusyMimeApps);
}

TEST(MimeAppsList, MissingGroupIsAddedAndTakenBackWhole) {
  const std::string original = "[Added Associations]\r\ntext/plain=vim.desktop;\r\n";
  std::string text = AddDefaultApplication(original, "application/pgp-encrypted", "zembra.desktop");
  EXPECT_EQ(
      text,
      original + "\r\n[Default Applications]\r\napplication/pgp-encrypted=zembra.desktop;\r\n");
  EXPECT_EQ(RemoveDefaultApplication(text, "application/pgp-encrypted", "zembra.desktop"),
            original);

  const std::string created = AddDefaultApplication("", "application/pgp-keys", "zembra.desktop");
  EXPECT_EQ(created, "[Default Applications]\napplication/pgp-keys=zembra.desktop;\n");
  EXPECT_EQ(RemoveDefaultApplication(created, "application/pgp-keys", "zembra.desktop"), "");
}

TEST(MimeAppsList, RemovalTakesOnlyOurItemFromTheFront) {
  // The user put us further back by hand: that choice is theirs and stays.
  const std::string text = "[Default Applications]\na/b=other.desktop;zembra.desktop;\n";
  EXPECT_EQ(RemoveDefaultApplication(text, "a/b", "zembra.desktop"), text);
  // A type we never touched, and a file without the group, stay as they are.
  EXPECT_EQ(RemoveDefaultApplication(text, "c/d", "zembra.desktop"), text);
  EXPECT_EQ(RemoveDefaultApplication("x=y\n", "a/b", "zembra.desktop"), "x=y\n");
  // A header on the last line without a line end.
  EXPECT_EQ(AddDefaultApplication("[Default Applications]", "a/b", "z.desktop"),
            "[Default Applications]\na/b=z.desktop;\n");
}

TEST(MimeAppsList, HeaderEndingInACarriageReturnOnTheLastLineKeepsTheEntryOffIt) {
  // Written onto the header line, the entry would spoil the header and never be read.
  const std::string claimed = AddDefaultApplication("[Default Applications]\r", "a/b", "z.desktop");
  EXPECT_EQ(claimed, "[Default Applications]\r\na/b=z.desktop;\n");
  EXPECT_THAT(ListedApplications(claimed, kDefaultApplications, "a/b"),
              testing::ElementsAre("z.desktop"));
  EXPECT_THAT(ListedApplications(RemoveDefaultApplication(claimed, "a/b", "z.desktop"),
                                 kDefaultApplications, "a/b"),
              testing::IsEmpty());
}

TEST(MimeGlobs, TypesOfAnExtensionInDatabaseOrder) {
  const std::string globs2 =
      "# glob weights\n"
      "50:application/pgp-encrypted:*.gpg\n"
      "50:application/pgp-keys:*.GPG\n"
      "50:text/x-sig:*.sig\n"
      "40:application/x-case:*.gpg:cs\n"
      "10:application/pgp-encrypted:*.gpg\n"
      "10:application/x-tarball:*.tar.gpg\n"
      "broken line\n"
      "5::*.gpg\n";
  EXPECT_THAT(
      MimeTypesFromGlobs2(globs2, ".gpg"),
      ElementsAre("application/pgp-encrypted", "application/pgp-keys", "application/x-case"));
  EXPECT_THAT(MimeTypesFromGlobs2(globs2, ".GPG"),
              ElementsAre("application/pgp-encrypted", "application/pgp-keys"));
  EXPECT_TRUE(MimeTypesFromGlobs2(globs2, ".asc").empty());
  EXPECT_TRUE(MimeTypesFromGlobs2(globs2, "").empty());
}
