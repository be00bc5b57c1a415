// The job of the operations window: reading the launcher's command line, sorting paths by their
// endings, and the per-file loops, observed through the file list and the files on disk.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_folder.h"
#include "zembra/ui/dlg_progress.h"

namespace {

// Exposes the job members that the window keeps protected.
class JobProbe : public CDlgProgress {
 public:
  using CDlgProgress::CDlgProgress;
  using CDlgProgress::AutoProcessFiles;
  FileList& files() { return m_files; }
  e_command command() const { return m_command; }
};

JobProbe FromCommandLine(std::vector<std::string> args) {
  args.insert(args.begin(), "ZembraShellExtApp");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return JobProbe(static_cast<int>(args.size()), argv.data());
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
  JobProbe job = FromCommandLine({"0", "b c.txt", "/x/a.gpg", "b c.txt", " padded ", "\xff\xfe.gpg"});
  EXPECT_EQ(job.command(), cmdNone);
  EXPECT_EQ(job.files(),
            (FileList{"b c.txt", "/x/a.gpg", "b c.txt", " padded ", "\xff\xfe.gpg"}));
}

TEST(JobCommandLine, AutoWithoutPathsHasAnEmptyList) {
  JobProbe job = FromCommandLine({"1"});
  EXPECT_EQ(job.command(), cmdAuto);
  EXPECT_TRUE(job.files().empty());
}

// A line that lacks argument 1 must not be read past its end.
TEST(JobCommandLine, MissingCommandNumberGivesAnEmptyJobInsteadOfReadingPastArgv) {
  std::string self = "ZembraShellExtApp";
  char* argv[] = {self.data(), nullptr};
  JobProbe job(1, argv);
  EXPECT_EQ(job.command(), cmdNone);
  EXPECT_TRUE(job.files().empty());
}

TEST(JobFileArray, CopiesTheCallersArray) {
  FileList callers{"a.txt", "b.gpg"};
  JobProbe job(&callers, cmdEncrypt);
  callers.clear();
  EXPECT_EQ(job.command(), cmdEncrypt);
  EXPECT_EQ(job.files(), (FileList{"a.txt", "b.gpg"}));

  JobProbe none(nullptr, cmdSign);
  EXPECT_EQ(none.command(), cmdSign);
  EXPECT_TRUE(none.files().empty());
}

// Runs the test in another working folder and goes back at the end.
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::string& folder) : m_previous(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~WorkingFolder() {
    std::error_code ignored;
    std::filesystem::current_path(m_previous, ignored);
  }
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;

 private:
  std::filesystem::path m_previous;
};

class AutoProcessing : public ::testing::Test {
 protected:
  std::string Touch(const std::string& name) {
    const std::string path = m_folder.path(name);
    WriteFile(path, "not an OpenPGP message\n");
    return path;
  }

  TempFolder m_folder;
};

// Only entries with a known ending leave the list; the rest wait for Encrypt, in their order.
TEST_F(AutoProcessing, SortsEntriesByEndingAndKeepsTheRest) {
  const std::string signedFile = Touch("report.SIGNED.GPG");
  const std::string pgp = Touch("mail.PGP");
  const std::string asc = Touch("keys.asc");
  const std::string txt = Touch("notes.txt");
  const std::string gpg = Touch("data.txt.gpg");
  const std::string other = Touch("z.doc");
  FileList files{signedFile, txt, pgp, asc, gpg, other};
  JobProbe job(&files, cmdAuto);

  job.AutoProcessFiles();

  EXPECT_EQ(job.files(), (FileList{txt, other}));
  EXPECT_EQ(job.command(), cmdNone);
}

// The verify test needs a character before ".signed.gpg"; ".gpg" alone is no ending at all.
TEST_F(AutoProcessing, BareEndingsAreDecryptedOrKept) {
  WorkingFolder here(m_folder.path());
  FileList files{".signed.gpg", ".gpg", ".PGP", ".asc", "x.asc"};
  JobProbe job(&files, cmdAuto);

  job.AutoProcessFiles();

  EXPECT_EQ(job.files(), (FileList{".gpg", ".PGP", ".asc"}));
  EXPECT_EQ(job.command(), cmdNone);
}

TEST_F(AutoProcessing, OtherCommandsAndEmptyListsAreLeftAlone) {
  FileList files{"a.gpg", "b.asc"};
  JobProbe decrypt(&files, cmdDecrypt);
  decrypt.AutoProcessFiles();
  EXPECT_EQ(decrypt.files(), files);
  EXPECT_EQ(decrypt.command(), cmdDecrypt);

  JobProbe empty(nullptr, cmdAuto);
  empty.AutoProcessFiles();
  EXPECT_EQ(empty.command(), cmdAuto);
}

TEST(PerFileLoops, DecryptAndVerifyEmptyTheListEvenWhenEveryFileIsMissing) {
  FileList files{"/nonexistent/a.gpg", "/nonexistent/b.gpg"};
  JobProbe job(nullptr, cmdNone);
  job.DecryptFiles(files);
  EXPECT_TRUE(files.empty());

  files = {"/nonexistent/c.signed.gpg"};
  job.VerifyFiles(files);
  EXPECT_TRUE(files.empty());
}

TEST(PerFileLoops, EncryptWithoutKeysKeepsTheListForTheNextPress) {
  FileList files{"/nonexistent/a.txt", "/nonexistent/b.txt"};
  JobProbe job(nullptr, cmdNone);
  job.EncryptFiles(files);
  EXPECT_EQ(files, (FileList{"/nonexistent/a.txt", "/nonexistent/b.txt"}));
}

TEST(PerFileLoops, SignWithoutSignersKeepsTheList) {
  FileList files{"/nonexistent/a.txt"};
  JobProbe job(nullptr, cmdNone);
  job.SignFiles(files);
  EXPECT_EQ(files, (FileList{"/nonexistent/a.txt"}));
}

TEST(JobExportMode, SetterAndReaders) {
  JobProbe job(nullptr, cmdNone);
  EXPECT_FALSE(job.IsExportSecret());
  EXPECT_FALSE(job.IsExportBinary());
  job.SetExportMode(true, false);
  EXPECT_TRUE(job.IsExportSecret());
  EXPECT_FALSE(job.IsExportBinary());
  job.SetExportMode(false, true);
  EXPECT_FALSE(job.IsExportSecret());
  EXPECT_TRUE(job.IsExportBinary());
}
