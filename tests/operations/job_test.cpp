// The job as a value: reading the launcher's command line, what a start does, the keys prompt,
// and the sorting of automatic processing by name ending.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tests/support/log_capture.h"
#include "zembra/operations/job.h"
#include "zembra/operations/window_commands.h"

namespace {

Job FromCommandLine(std::vector<std::string> args) {
  args.insert(args.begin(), "ZembraShellExtApp");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return Job(static_cast<int>(args.size()), argv.data());
}

// Runs automatic processing and records what it asked for, in order.
std::vector<std::pair<FileAction, std::string>> AutoProcess(Job& job) {
  std::vector<std::pair<FileAction, std::string>> acted;
  job.AutoProcess(
      [&](FileAction action, const std::string& path) { acted.emplace_back(action, path); });
  return acted;
}

}  // namespace

TEST(JobCommandLine, ReadsTheNumberLikeWtoi) {
  EXPECT_EQ(FromCommandLine({"2x"}).command(), cmdEncrypt);
  EXPECT_EQ(FromCommandLine({"abc"}).command(), cmdNone);
  EXPECT_EQ(FromCommandLine({"  3"}).command(), cmdDecrypt);
  EXPECT_EQ(FromCommandLine({"+5"}).command(), cmdVerify);
  EXPECT_EQ(FromCommandLine({"-1"}).command(), static_cast<e_command>(-1));
  EXPECT_EQ(FromCommandLine({"7"}).command(), static_cast<e_command>(7));
}

TEST(JobCommandLine, AppendsPathsUnchangedAndInOrder) {
  Job job = FromCommandLine({"0", "b c.txt", "/x/a.gpg", "b c.txt", " padded ", "\xff\xfe.gpg"});
  EXPECT_EQ(job.command(), cmdNone);
  EXPECT_EQ(job.files(), (FileList{"b c.txt", "/x/a.gpg", "b c.txt", " padded ", "\xff\xfe.gpg"}));
}

TEST(JobCommandLine, AutoWithoutPathsHasAnEmptyList) {
  Job job = FromCommandLine({"1"});
  EXPECT_EQ(job.command(), cmdAuto);
  EXPECT_TRUE(job.files().empty());
}

// A line that lacks argument 1 must not be read past its end.
TEST(JobCommandLine, MissingCommandNumberGivesAnEmptyJobInsteadOfReadingPastArgv) {
  std::string self = "ZembraShellExtApp";
  char* argv[] = {self.data(), nullptr};
  Job job(1, argv);
  EXPECT_EQ(job.command(), cmdNone);
  EXPECT_TRUE(job.files().empty());
}

TEST(JobFileArray, CopiesTheCallersArray) {
  FileList callers{"a.txt", "b.gpg"};
  Job job(&callers, cmdEncrypt);
  callers.clear();
  EXPECT_EQ(job.command(), cmdEncrypt);
  EXPECT_EQ(job.files(), (FileList{"a.txt", "b.gpg"}));

  Job none(nullptr, cmdSign);
  EXPECT_EQ(none.command(), cmdSign);
  EXPECT_TRUE(none.files().empty());
}

// Only entries with a known ending leave the list; the rest wait for Encrypt, in their order.
TEST(AutoProcessing, SortsEntriesByEndingAndKeepsTheRest) {
  FileList files{"/f/report.SIGNED.GPG", "/f/notes.txt",    "/f/mail.PGP",
                 "/f/keys.asc",          "/f/data.txt.gpg", "/f/z.doc"};
  Job job(&files, cmdAuto);

  const auto acted = AutoProcess(job);

  EXPECT_EQ(acted, (std::vector<std::pair<FileAction, std::string>>{
                       {FileAction::Verify, "/f/report.SIGNED.GPG"},
                       {FileAction::Decrypt, "/f/mail.PGP"},
                       {FileAction::Import, "/f/keys.asc"},
                       {FileAction::Decrypt, "/f/data.txt.gpg"}}));
  EXPECT_EQ(job.files(), (FileList{"/f/notes.txt", "/f/z.doc"}));
  EXPECT_EQ(job.command(), cmdNone);
}

// The verify test needs a character before ".signed.gpg"; ".gpg" alone is no ending at all.
TEST(AutoProcessing, BareEndingsAreDecryptedOrKept) {
  FileList files{".signed.gpg", ".gpg", ".PGP", ".asc", "x.asc"};
  Job job(&files, cmdAuto);

  const auto acted = AutoProcess(job);

  EXPECT_EQ(acted, (std::vector<std::pair<FileAction, std::string>>{
                       {FileAction::Decrypt, ".signed.gpg"}, {FileAction::Import, "x.asc"}}));
  EXPECT_EQ(job.files(), (FileList{".gpg", ".PGP", ".asc"}));
  EXPECT_EQ(job.command(), cmdNone);
}

TEST(AutoProcessing, OtherCommandsAndEmptyListsAreLeftAlone) {
  FileList files{"a.gpg", "b.asc"};
  Job decrypt(&files, cmdDecrypt);
  EXPECT_TRUE(AutoProcess(decrypt).empty());
  EXPECT_EQ(decrypt.files(), files);
  EXPECT_EQ(decrypt.command(), cmdDecrypt);

  Job empty(nullptr, cmdAuto);
  EXPECT_TRUE(AutoProcess(empty).empty());
  EXPECT_EQ(empty.command(), cmdAuto);
}

TEST(JobStartWithPaths, PostsTheCommandsWindowCommand) {
  const FileList files{"/f/a.gpg"};
  const std::pair<e_command, int> expected[] = {{cmdAuto, ID_AUTO_PROCESS_FILES},
                                                {cmdEncrypt, ID_MENU_ENCRYPT},
                                                {cmdDecrypt, ID_DECRYPT_FILES},
                                                {cmdSign, ID_MENU_SIGN},
                                                {cmdVerify, ID_MENU_VERIFY}};
  for (const auto& [command, windowCommand] : expected) {
    SCOPED_TRACE(command);
    EXPECT_EQ(Job(&files, command).Start(true, false), (JobStart{.command = windowCommand}));
    EXPECT_EQ(Job(&files, command).Start(false, true),
              (JobStart{.command = windowCommand, .keysPrompt = true}));
  }
}

TEST(JobStartWithPaths, OtherNumbersStartNothing) {
  const FileList files{"/f/a.gpg"};
  for (int number : {0, -1, 6, 7}) {
    SCOPED_TRACE(number);
    EXPECT_EQ(Job(&files, static_cast<e_command>(number)).Start(false, true), JobStart{});
  }
}

TEST(JobStartWithoutPaths, EncryptAndSignUseTheClipboardWithDefaultKeys) {
  EXPECT_EQ(Job(nullptr, cmdEncrypt).Start(false, true),
            (JobStart{.command = ID_ENCRYPT_CLIPBOARD}));
  EXPECT_EQ(Job(nullptr, cmdSign).Start(false, true),
            (JobStart{.command = ID_MENU_SIGN_CLIPBOARD}));
  for (e_command command : {cmdEncrypt, cmdSign}) {
    EXPECT_EQ(Job(nullptr, command).Start(true, false),
              (JobStart{.defaultCommand = IDC_ENCRYPT_CLIPBOARD}));
  }
  for (e_command command : {cmdNone, cmdAuto, cmdDecrypt, cmdVerify})
    EXPECT_EQ(Job(nullptr, command).Start(false, true), JobStart{}) << command;
}

TEST(JobKeysPrompt, NamesTheButtonTheCountAndTheFirstPath) {
  LogCapture log;
  const FileList one{"/f/a b.gpg"};
  Job(&one, cmdDecrypt).LogKeysPrompt();
  const FileList three{"/f/x.txt", "/f/y.txt", "/f/z.txt"};
  Job(&three, cmdAuto).LogKeysPrompt();
  Job(&three, cmdSign).LogKeysPrompt();
  Job(nullptr, cmdEncrypt).LogKeysPrompt();  // no paths: no prompt
  EXPECT_EQ(
      log.text(),
      "Please choose key(s) and press `Decrypt` button to proceed 1 files (/f/a b.gpg)\n"
      "Please choose key(s) and press `Encrypt` button to proceed 3 files (/f/x.txt and others)\n"
      "Please choose key(s) and press `Sign` button to proceed 3 files (/f/x.txt and others)\n");
}

// The paths to decrypt or verify that follow one another go to the job together, the waiting
// paths between them left in place; an import runs alone, in its place.
TEST(AutoProcessing, DecryptionsAndVerificationsThatFollowOneAnotherGoTogether) {
  FileList files{"/f/a.gpg", "/f/x.txt",    "/f/b.PGP",       "/f/c.signed.gpg",
                 "/f/d.gpg", "/f/keys.asc", "/f/e.signed.gpg"};
  Job job(&files, cmdAuto);
  std::vector<std::string> acted;
  job.AutoProcess(
      [&](FileAction action, const std::string& path) {
        acted.push_back((action == FileAction::Import ? "import " : "alone ") + path);
      },
      {},
      [&](FileList& paths) {
        std::string all = "together";
        for (const std::string& p : paths) all += " " + p;
        acted.push_back(all);
        paths.clear();
      });
  EXPECT_EQ(acted, (std::vector<std::string>{"together /f/a.gpg /f/b.PGP /f/c.signed.gpg /f/d.gpg",
                                             "import /f/keys.asc", "together /f/e.signed.gpg"}));
  EXPECT_EQ(job.files(), FileList{"/f/x.txt"});
  EXPECT_EQ(job.command(), cmdNone);
}

// A cancel in the middle of the decryptions keeps those not finished and every path after them;
// of two equal paths the later is the one kept.
TEST(AutoProcessing, DecryptionsNotFinishedStayWithThePathsAfterThem) {
  FileList files{"/f/a.gpg", "/f/x.txt", "/f/a.gpg", "/f/b.gpg", "/f/k.asc"};
  Job job(&files, cmdAuto);
  bool imported = false;
  job.AutoProcess([&](FileAction, const std::string&) { imported = true; }, [] { return true; },
                  [&](FileList& paths) { paths = {"/f/a.gpg"}; });
  EXPECT_FALSE(imported);
  EXPECT_EQ(job.files(), (FileList{"/f/x.txt", "/f/a.gpg", "/f/k.asc"}));
}
