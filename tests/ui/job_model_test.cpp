// The window's per-file loops and export mode, observed through the file list.
#include <gtest/gtest.h>

#include "zembra/ui/dlg_progress.h"

TEST(PerFileLoops, DecryptAndVerifyEmptyTheListEvenWhenEveryFileIsMissing) {
  FileList files{"/nonexistent/a.gpg", "/nonexistent/b.gpg"};
  CDlgProgress job(nullptr, cmdNone);
  job.DecryptFiles(files);
  EXPECT_TRUE(files.empty());

  files = {"/nonexistent/c.signed.gpg"};
  job.VerifyFiles(files);
  EXPECT_TRUE(files.empty());
}

TEST(PerFileLoops, EncryptWithoutKeysKeepsTheListForTheNextPress) {
  FileList files{"/nonexistent/a.txt", "/nonexistent/b.txt"};
  CDlgProgress job(nullptr, cmdNone);
  job.EncryptFiles(files);
  EXPECT_EQ(files, (FileList{"/nonexistent/a.txt", "/nonexistent/b.txt"}));
}

TEST(PerFileLoops, SignWithoutSignersKeepsTheList) {
  FileList files{"/nonexistent/a.txt"};
  CDlgProgress job(nullptr, cmdNone);
  job.SignFiles(files);
  EXPECT_EQ(files, (FileList{"/nonexistent/a.txt"}));
}

TEST(JobExportMode, SetterAndReaders) {
  CDlgProgress job(nullptr, cmdNone);
  EXPECT_FALSE(job.IsExportSecret());
  EXPECT_FALSE(job.IsExportBinary());
  job.SetExportMode(true, false);
  EXPECT_TRUE(job.IsExportSecret());
  EXPECT_FALSE(job.IsExportBinary());
  job.SetExportMode(false, true);
  EXPECT_FALSE(job.IsExportSecret());
  EXPECT_TRUE(job.IsExportBinary());
}
