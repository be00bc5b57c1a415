// The clipboard's text operations in place, on Qt's clipboard: what lands there, what other
// OpenPGP programs make of it, and that a failure leaves the clipboard as it was.
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMimeData>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/gui/clipboard.h"
#include "tests/support/test_env.h"
#include "zembra/engine/message_ids.h"
#include "zembra/operations/clipboard_operations.h"

using namespace std::string_literals;

namespace {

class ClipboardInPlace : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice", "bob"}}; }

  void Put(const std::string& text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    SetClipboardBytes(CF_TEXT, text);
    CloseClipboard();
  }
  std::string Taken() {
    std::string text;
    if (!OpenClipboard(nullptr)) return "(not open)";
    if (!GetClipboardBytes(CF_TEXT, &text)) text = "(no text)";
    CloseClipboard();
    return text;
  }

  // Runs the step on the clipboard in a window with a log; recipients or signers by name.
  void Run(TextStep step, const std::vector<std::string>& keys = {}) {
    positions.clear();
    RunInHostWindow([&](HWND host) {
      GpgmeContext ctx = OpenEngineContext();
      std::vector<gpgme_key_t> list;
      for (const std::string& name : keys) {
        gpgme_key_t key = nullptr;
        ASSERT_EQ(gpgme_get_key(ctx.get(), ring().fingerprint(name).c_str(), &key, 0), 0);
        list.push_back(key);
      }
      list.push_back(nullptr);
      if (step == SignTextStep)
        for (gpgme_key_t key : list)
          if (key) gpgme_signers_add(ctx.get(), key);
      Clipboard clipboard(host);
      outcome = TransformClipboardText(clipboard, ctx.get(), step,
                                       step == EncryptTextStep ? list.data() : nullptr,
                                       [&](int position) { positions.push_back(position); });
      for (gpgme_key_t key : list)
        if (key) gpgme_key_unref(key);
      log = LogText();
    });
  }

  // What gpg makes of the message: decrypted or verified plaintext.
  ProcessResult Gpg(const std::string& command, const std::string& message) {
    return ring().gpg({command, "-o", "-"}, message);
  }

  std::string log;
  Outcome outcome;             // what the last step returned
  std::vector<int> positions;  // the progress it told
};

}  // namespace

TEST_F(ClipboardInPlace, EncryptedTextIsUtf8ThatOtherProgramsRead) {
  const std::string text = "Grüße, 世界\nsecond line";
  Put(text);
  Run(EncryptTextStep, {"alice"});
  EXPECT_EQ(log, "Encrypting clipboard contents...Done.\n");
  const std::string message = Taken();
  EXPECT_TRUE(message.starts_with("-----BEGIN PGP MESSAGE-----")) << message;
  const ProcessResult plain = Gpg("--decrypt", message);
  ASSERT_EQ(plain.exitCode, 0) << plain;
  EXPECT_EQ(plain.out, text) << "no UTF-16, no terminator";
}

TEST_F(ClipboardInPlace, MessageFromAnotherProgramDecryptsToItsText) {
  const std::string text = "Grüße aus dem Büro\n";
  const ProcessResult message = ring().gpg(
      {"--armor", "--trust-model", "always", "-r", ring().fingerprint("bob"), "-e"}, text);
  ASSERT_EQ(message.exitCode, 0) << message;
  Put(message.out);
  Run(DecryptTextStep);
  EXPECT_EQ(log, "Decrypting clipboard contents...Done.\n");
  EXPECT_EQ(Taken(), text);
  EXPECT_TRUE(outcome.ok()) << outcome;
  EXPECT_EQ(outcome.line, "Done.\n") << outcome;
}

// The window's progress bar follows the engine through the text as it does through a file.
TEST_F(ClipboardInPlace, TextStepTellsItsProgressUpToTheEnd) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i) + " of a long text\n";
  Put(text);
  Run(EncryptTextStep, {"alice"});
  ASSERT_TRUE(outcome.ok()) << outcome << log;
  ASSERT_GE(positions.size(), 3u) << "a text of " << text.size() << " bytes";
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  EXPECT_LT(positions.front(), 1000);
  EXPECT_EQ(positions.back(), 1000);
}

TEST_F(ClipboardInPlace, MessageOfTheOldUtf16FormStillDecryptsToItsText) {
  const std::string old = "\xe4\0r\0g\0e\0r\0\0\0"s;  // "ärger", UTF-16LE with its terminator
  const ProcessResult message = ring().gpg(
      {"--armor", "--trust-model", "always", "-r", ring().fingerprint("bob"), "-e"}, old);
  ASSERT_EQ(message.exitCode, 0) << message;
  Put(message.out);
  Run(DecryptTextStep);
  EXPECT_EQ(Taken(), "ärger");
}

TEST_F(ClipboardInPlace, SignedTextVerifiesWithGpgAndBackHere) {
  const std::string text = "signed by alice ✓\n";
  Put(text);
  Run(SignTextStep, {"alice"});
  EXPECT_EQ(log, "Signing clipboard contents...Done.\n");
  const std::string message = Taken();
  const ProcessResult checked = Gpg("--decrypt", message);
  ASSERT_EQ(checked.exitCode, 0) << checked;
  EXPECT_EQ(checked.out, text);

  Run(VerifyTextStep);
  EXPECT_EQ(log,
            "Verifying clipboard contents...\nGood signature from \"Alice "
            "<alice@example.org>\"\nDone.\n");
  EXPECT_EQ(Taken(), text);
}

TEST_F(ClipboardInPlace, TamperedSignatureIsBadAndTheClipboardKeepsIt) {
  const ProcessResult signedText =
      ring().gpg({"--armor", "-u", ring().fingerprint("alice"), "--clearsign"}, "pay 100 to bob\n");
  ASSERT_EQ(signedText.exitCode, 0) << signedText;
  std::string message = signedText.out;
  message.replace(message.find("100"), 3, "900");
  Put(message);
  Run(VerifyTextStep);
  EXPECT_EQ(log,
            "Verifying clipboard contents...\nBAD signature from \"Alice <alice@example.org>\"\n"
            "Error: Not every signature is good\n");
  EXPECT_EQ(Taken(), message);
}

TEST_F(ClipboardInPlace, FailedDecryptionKeepsTheClipboard) {
  const std::string junk = "-----BEGIN PGP MESSAGE-----\n\nnot really\n-----END PGP MESSAGE-----\n";
  Put(junk);
  Run(DecryptTextStep);
  EXPECT_TRUE(log.starts_with("Decrypting clipboard contents...Error: ")) << log;
  EXPECT_EQ(Taken(), junk);
  EXPECT_FALSE(outcome.ok());
  EXPECT_EQ(outcome.message, IDS_ERROR) << outcome;
}

TEST_F(ClipboardInPlace, EmptyOrImageOnlyClipboardHasNoSuitableData) {
  for (TextStep step : {EncryptTextStep, DecryptTextStep, SignTextStep, VerifyTextStep}) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    Run(step, step == EncryptTextStep || step == SignTextStep ? std::vector<std::string>{"alice"}
                                                              : std::vector<std::string>{});
    EXPECT_EQ(log, "No suitable data (TEXT) found in the clipboard.\n");
  }
  QImage image(4, 4, QImage::Format_RGB32);
  image.fill(Qt::red);
  QApplication::clipboard()->setImage(image);
  Run(DecryptTextStep);
  EXPECT_EQ(log, "No suitable data (TEXT) found in the clipboard.\n");
  EXPECT_TRUE(QApplication::clipboard()->mimeData()->hasImage()) << "the image stays";
}

TEST_F(ClipboardInPlace, SeveralMegabytesRoundTrip) {
  std::string text;
  while (text.size() < 4 * 1024 * 1024)
    text += "line of text with ümlauts " + std::to_string(text.size()) + "\n";
  Put(text);
  Run(EncryptTextStep, {"alice"});
  ASSERT_EQ(log, "Encrypting clipboard contents...Done.\n");
  Run(DecryptTextStep);
  ASSERT_EQ(log, "Decrypting clipboard contents...Done.\n");
  EXPECT_TRUE(Taken() == text);
}

// Binary bytes that another program offers as plain text: encrypted as they are. Decoding them
// as UTF-8 first turned each byte that is not UTF-8 into three bytes of U+FFFD.
TEST_F(ClipboardInPlace, TextThatIsNotUtf8IsEncryptedAsItsBytes) {
  std::string bytes;
  for (int i = 0; i < 100 * 1024; ++i) bytes += static_cast<char>(1 + (i * 7919) % 255);
  Put("");  // the application, and with it the clipboard
  auto* data = new QMimeData;
  data->setData(QStringLiteral("text/plain"), QByteArray::fromStdString(bytes));
  QApplication::clipboard()->setMimeData(data);
  Run(EncryptTextStep, {"alice"});
  EXPECT_EQ(log, "Encrypting clipboard contents...Done.\n");
  const ProcessResult plain = Gpg("--decrypt", Taken());
  ASSERT_EQ(plain.exitCode, 0) << plain;
  EXPECT_TRUE(plain.out == bytes) << plain.out.size() << " bytes instead of " << bytes.size();
}

// "file://otherhost/etc/passwd" names a file of another machine, not this one's /etc/passwd: it
// is skipped with a line, and the local forms are read.
TEST_F(ClipboardInPlace, FileOfAnotherHostInACopiedListIsSkippedWithALine) {
  Put("");
  auto* data = new QMimeData;
  data->setData(QStringLiteral("text/uri-list"),
                "file://otherhost/etc/passwd\r\nfile://localhost/tmp/a.txt\r\n"
                "file:///tmp/b.txt\r\n");
  QApplication::clipboard()->setMimeData(data);
  std::vector<std::string> files;
  RunInHostWindow([&](HWND host) {
    Clipboard clipboard(host);
    files = ReadClipboardFiles(clipboard);
    log = LogText();
  });
  EXPECT_EQ(files, (std::vector<std::string>{"/tmp/a.txt", "/tmp/b.txt"}));
  EXPECT_EQ(log, "Skipped \"file://otherhost/etc/passwd\": it is a file of another computer.\n");
}
