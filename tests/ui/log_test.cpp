#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "platform/core/log.h"
#include "platform/core/text.h"
#include "platform/core/trace.h"
#include "tests/platform/core/stderr_capture.h"
#include "tests/platform/core/temp_folder.h"
#include "tests/ui/fake_window.h"
#include "zembra/engine/check_result.h"
#include "zembra/operations/messages.h"
#include "zembra/ui/log_box.h"

namespace {

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFakeLog();
    SetLogBox(FakeLogWindow());
  }
  void TearDown() override { SetLogBox(nullptr); }
  TempFolder m_temp;
};

}  // namespace

TEST_F(LogTest, MessageTableHasEveryTextExactly) {
  const std::vector<std::pair<int, std::string>> expected = {
      {9101, "Please choose key(s) and press `%ls` button to proceed %d files (%ls%ls)\n"},
      {9102, "You are going to delete a key.\nAre you sure?"},
      {9103, "You are going to delete %d keys.\nAre you sure?"},
      {9104, "Description"},
      {9105, "- E-mail\n"},
      {9106, "Extension"},
      {9107, "One or more required fields are not filled:\n"},
      {9108, "File already exists: \"%s\"\n"},
      {9110, "Invalid recipient encountered: %hs\n"},
      {9111, "Invalid signer found: %hs\n"},
      {9112, "Considered keys: %d\r\nImported keys: %d\n"},
      {9113, "Unchanged keys: %d\n"},
      {9114, "Decrypting \"%s\"...\n"},
      {9115, "Decrypting clipboard contents..."},
      {9116, "Done.\n"},
      {9117, "Encrypting \"%s\"...\n"},
      {9118, "Encrypting clipboard contents..."},
      {9119, "Error: %hs\n"},
      {9120, "Exporting key(s) to \"%s\"\n"},
      {9121, "Importing keys from \"%s\"\n"},
      {9122, "Signing \"%s\"...\n"},
      {9123, "Signing clipboard contents..."},
      {9124, "Verifying \"%s\"...\n"},
      {9125, "Verifying clipboard contents..."},
      {9126, "- Name\n"},
      {9127, "No suitable data (TEXT) found in the clipboard.\n"},
      {9128, "- Passphrase\n"},
      {9129, "Zembra"},
      {9130, "Decrypt with Zembra"},
      {9131, "Encrypt with Zembra"},
      {9132, "Import Key"},
      {9133, "Import Keys"},
      {9134, "Encrypt/decrypt file(s) with Zembra"},
      {9135, "Decrypt file(s) with Zembra"},
      {9136, "Encrypt file(s) with Zembra"},
      {9137, "Import key(s) into Zembra"},
      {9138, "Zembra..."},
      {9139, "Error: Too many files selected or too long file name/path.\n"},
      {9140, "Unsupported algorithm: %hs\n"},
      {9141, "Good signature from \"%s\"\n"},
      {9142, "Good signature from \"%s\", but the key is not certified\n"},
      {9143, "BAD signature from \"%s\"\n"},
      {9144, "Signature by unknown key %hs\n"},
      {9145, "Signature from \"%s\", but the key has expired\n"},
      {9146, "Expired signature from \"%s\"\n"},
      {9147, "Signature from \"%s\", but the key is revoked\n"},
      {9148, "Signature from \"%s\" could not be checked: %hs\n"},
      {9149, "Error: No signature found\n"},
      {9150, "Error: Not every signature is good\n"},
      {9160, "Error: cannot create \"%s\": %hs\n"},
      {9190, "Error: \"%s\" changed while it was read; nothing was written\n"},
      {9191, "Error: \"%s\" changed while it was read; the import stopped there\n"},
      {9192, "Error: the engine stopped before \"%s\" was done; nothing was written\n"},
      {9193,
       "Error: the engine stopped while importing \"%s\"; some of its keys may have been "
       "imported\n"},
  };
  ASSERT_EQ(expected.size(), 54u);
  for (const auto& [id, text] : expected) EXPECT_EQ(LoadMessage(id), text) << "id " << id;
  EXPECT_EQ(LoadMessage(9109), "");
  EXPECT_EQ(LoadMessage(9151), "");
}

TEST_F(LogTest, IdWithoutTextAppendsNothing) {
  ResetFakeLog("before\n");
  LogRes(9109, "x");
  EXPECT_EQ(FakeLogText(), "before\n");
  EXPECT_EQ(FakeLogMessages(), 0);
}

TEST_F(LogTest, TextsAreAppendedAtTheEndUnchanged) {
  ResetFakeLog("earlier line\n");  // the selection of a fresh box is at the start
  LogRes(IDS_IMPORTING_KEYS, "/home/u/keys.asc");
  LogRes(IDS_IMPORT_COUNTS, 3, 2);
  LogRes(IDS_IMPORT_UNCHANGED, 1);
  EXPECT_EQ(FakeLogText(),
            "earlier line\n"
            "Importing keys from \"/home/u/keys.asc\"\n"
            "Considered keys: 3\r\nImported keys: 2\n"
            "Unchanged keys: 1\n");
}

TEST_F(LogTest, ClipboardStartAndDoneShareALine) {
  LogRes(IDS_ENCRYPTING_CLIPBOARD);
  LogRes(IDS_DONE);
  EXPECT_EQ(FakeLogText(), "Encrypting clipboard contents...Done.\n");
}

TEST_F(LogTest, PercentInPathIsShownUnchanged) {
  LogRes(IDS_DECRYPTING_FILE, "/tmp/100% done.txt.gpg");
  Log("%s\n", "%d %s %n");
  EXPECT_EQ(FakeLogText(), "Decrypting \"/tmp/100% done.txt.gpg\"...\n%d %s %n\n");
}

TEST_F(LogTest, FileNameThatIsNotUtf8ShowsItsBytes) {
  LogRes(IDS_ENCRYPTING_FILE, "/tmp/caf\xE9.txt");
  EXPECT_EQ(FakeLogText(), "Encrypting \"/tmp/caf\\xE9.txt\"...\n");
  EXPECT_TRUE(IsValidUtf8(FakeLogText()));
}

TEST_F(LogTest, WithoutWindowNothingHappens) {
  ResetFakeLog("kept");
  g_hLog = nullptr;
  Log("text %d\n", 1);
  LogRes(IDS_DONE);
  EXPECT_FALSE(CheckResult(gpg_error(GPG_ERR_GENERAL)));
  EXPECT_EQ(FakeLogText(), "kept");
  EXPECT_EQ(FakeLogMessages(), 0);
}

TEST_F(LogTest, CheckResult) {
  EXPECT_TRUE(CheckResult(0));
  EXPECT_EQ(FakeLogText(), "");
  EXPECT_EQ(FakeLogMessages(), 0);

  gpgme_error_t err = gpgme_err_make(GPG_ERR_SOURCE_GPGME, GPG_ERR_BAD_PASSPHRASE);
  EXPECT_FALSE(CheckResult(err));
  EXPECT_EQ(FakeLogText(), std::string("Error: ") + gpgme_strerror(err) + "\n");
  EXPECT_NE(FakeLogText().find("Bad passphrase"), std::string::npos) << FakeLogText();
}

TEST_F(LogTest, TraceCopiesEveryLogTextWithPrefix) {
  StderrCapture capture(m_temp / "err", "1");
  LogRes(IDS_SIGNING_CLIPBOARD);
  LogRes(IDS_DONE);
  g_hLog = nullptr;  // the copy does not need a window
  LogRes(IDS_SIGNING_FILE, "/a b");
  LogRes(9109);
  EXPECT_EQ(capture.Text(),
            "log: Signing clipboard contents...\n"
            "log: Done.\n"
            "log: Signing \"/a b\"...\n");
  EXPECT_EQ(FakeLogText(), "Signing clipboard contents...Done.\n");
}

TEST_F(LogTest, NoTraceCopyWithoutTheVariable) {
  StderrCapture capture(m_temp / "err", nullptr);
  LogRes(IDS_DONE);
  Trace("Zembra: hidden\n");
  EXPECT_EQ(capture.Text(), "");
  EXPECT_EQ(FakeLogText(), "Done.\n");
}

TEST_F(LogTest, TraceFormatsNarrowAndWideText) {
  StderrCapture capture(m_temp / "err", "1");
  Trace("Zembra: gpgme_new => [%d] `%s`...\n", 0, "/opt/zembra/keys");
  Trace("Zembra: checking for portable mode: `%ls`...\n", std::string("Full"));
  EXPECT_EQ(capture.Text(),
            "Zembra: gpgme_new => [0] `/opt/zembra/keys`...\n"
            "Zembra: checking for portable mode: `Full`...\n");
  EXPECT_EQ(FakeLogText(), "");  // never shown to the user
}

TEST_F(LogTest, LongTraceLineIsCutOnACharacterBoundary) {
  StderrCapture capture(m_temp / "err", "1");
  Trace("%s", std::string(20000, 'a'));
  std::string wide;
  for (int i = 0; i < 6000; ++i) wide += "\xC3\xA9";  // 12,000 bytes of two-byte characters
  Trace("%s", wide);
  std::string text = capture.Text();
  std::size_t firstEnd = text.find('\n');
  ASSERT_NE(firstEnd, std::string::npos);
  EXPECT_EQ(firstEnd, 10239u);
  std::string second = text.substr(firstEnd + 1);
  ASSERT_FALSE(second.empty());
  EXPECT_EQ(second.back(), '\n');
  second.pop_back();
  EXPECT_EQ(second.size(), 10238u);
  EXPECT_TRUE(IsValidUtf8(second));
}
