// The clipboard operations on the real X clipboard of a virtual display, with xclip as the other
// program and rnp as the other OpenPGP implementation: a message signed by rnp is verified with
// its signer shown; a tampered one is reported as bad and the clipboard keeps it.
#include <signal.h>
#include <sys/stat.h>

#include <QCoreApplication>

#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/gui/clipboard.h"
#include "tests/e2e/child_process.h"
#include "tests/support/test_env.h"
#include "zembra/operations/clipboard_operations.h"
#include "zembra/ui/dlg_progress.h"

using namespace std::chrono_literals;

namespace {

// One virtual display for the whole program, in place before Qt connects to it.
class X11Display : public ::testing::Environment {
 public:
  void SetUp() override {
    m_display.emplace();
    for (const auto& [name, value] : m_display->environment())
      setenv(name.c_str(), value.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
  }
  void TearDown() override { m_display.reset(); }

 private:
  std::optional<VirtualDisplay> m_display;
};

const auto* const g_display = ::testing::AddGlobalTestEnvironment(new X11Display);

class X11Clipboard : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice"}}; }

  void SetUp() override {
    KeyRingTest::SetUp();
    rnpHome = ring().path("rnp");
    mkdir(rnpHome.c_str(), 0700);
    const ProcessResult imported = RunProcess(
        {"rnpkeys", "--homedir", rnpHome, "--import", TestKeyFolder() + "/alice.sec.asc"});
    ASSERT_EQ(imported.exitCode, 0) << imported;
  }
  void TearDown() override {
    m_xclip.reset();
    KeyRingTest::TearDown();
  }

  // An armored signed message (how: "--sign" or "--clearsign").
  std::string SignedByRnp(const std::string& text, const std::string& how) {
    WriteFile(ring().path("text.txt"), text);
    const ProcessResult made =
        RunProcess({"rnp", "--homedir", rnpHome, "--notty", "-u", ring().fingerprint("alice"), how,
                    "--armor", ring().path("text.txt"), "--output", ring().path("text.asc")});
    EXPECT_EQ(made.exitCode, 0) << made;
    return ReadFile(ring().path("text.asc"));
  }

  // xclip owns the clipboard with the text until another program takes it.
  // xclip holds the text on the clipboard once this returns. An xclip that ended at once (the X
  // server refuses a client in the moment it starts afresh after its last client left) is
  // started again.
  void CopyWithXclip(const std::string& text) {
    WriteFile(ring().path("copied.txt"), text);
    WaitUntil(
        [&] {
          if (!m_xclip || m_xclip->WaitFor(0ms).has_value()) {
            m_xclip.emplace(std::vector<std::string>{"sh", "-c",
                                                     "exec xclip -quiet -selection clipboard -i "
                                                     "< \"$0\"",
                                                     ring().path("copied.txt")},
                            EnvironmentWith({}));
          }
          return PasteWithXclip() != "(xclip failed)";
        },
        20s);
  }

  // What xclip reads from the clipboard; this process keeps serving it meanwhile.
  std::string PasteWithXclip() {
    const std::string out = ring().path("pasted.txt");
    ChildProcess paste({"xclip", "-selection", "clipboard", "-o"}, EnvironmentWith({}), out);
    std::optional<int> code;
    for (int i = 0; i < 1000 && !code; ++i) {
      QCoreApplication::processEvents();
      code = paste.WaitFor(10ms);
    }
    return code == 0 ? ReadWholeFile(out) : "(xclip failed)";
  }

  // Whether xclip, just started, has taken the clipboard yet (it answers a paste).
  bool OwnedByXclip() {
    return WaitUntil([&] { return PasteWithXclip() != "(xclip failed)"; }, 10s);
  }

  // The entry point for host programs, with text on the clipboard: it verifies in place.
  std::string Verify() {
    std::string log;
    RunInHostWindow([&](HWND host) {
      CDlgProgress* dialog = nullptr;
      ClipboardOperation(host, dialog, cmdVerify);
      EXPECT_EQ(dialog, nullptr);
      log = LogText();
      pasted = PasteWithXclip();
    });
    return log;
  }

  std::string rnpHome;
  std::string pasted;
  std::optional<ChildProcess> m_xclip;
};

}  // namespace

TEST_F(X11Clipboard, MessageSignedByRnpIsVerifiedWithItsSigner) {
  const std::string text = "Signiert mit rnp: Grüße\n";
  CopyWithXclip(SignedByRnp(text, "--sign"));
  EXPECT_EQ(Verify(),
            "Verifying clipboard contents...\nGood signature from \"Alice "
            "<alice@example.org>\"\nDone.\n");
  EXPECT_EQ(pasted, text);
}

TEST_F(X11Clipboard, TamperedMessageIsBadAndTheClipboardKeepsIt) {
  std::string message = SignedByRnp("pay 100 to bob\n", "--clearsign");
  message.replace(message.find("100"), 3, "900");
  CopyWithXclip(message);
  EXPECT_EQ(Verify(),
            "Verifying clipboard contents...\nBAD signature from \"Alice <alice@example.org>\"\n"
            "Error: Not every signature is good\n");
  EXPECT_EQ(pasted, message);
}

// Bytes that are not UTF-8, copied as text by another program: Qt gives them out only decoded,
// with U+FFFD in place of each byte it could not read. The operation is refused with a line
// rather than encrypting that altered text, and the clipboard stays with its owner.
TEST_F(X11Clipboard, TextThatIsNotUtf8IsRefusedRatherThanAltered) {
  std::string text;
  for (int i = 0; i < 4096; ++i) text += static_cast<char>(1 + (i * 7919) % 255);
  CopyWithXclip(text);
  ASSERT_TRUE(OwnedByXclip());
  std::string log;
  RunInHostWindow([&](HWND host) {
    GpgmeContext ctx = OpenEngineContext();
    gpgme_key_t alice = nullptr;
    ASSERT_EQ(gpgme_get_key(ctx.get(), ring().fingerprint("alice").c_str(), &alice, 0), 0);
    gpgme_key_t recipients[] = {alice, nullptr};
    Clipboard clipboard(host);
    TransformClipboardText(clipboard, ctx.get(), EncryptTextStep, recipients);
    gpgme_key_unref(alice);
    log = LogText();
    pasted = PasteWithXclip();
  });
  EXPECT_EQ(log,
            "Error: the clipboard's text is not UTF-8 and cannot be read unchanged; "
            "nothing was done.\n");
  EXPECT_TRUE(pasted == text) << "the clipboard changed";
}

// An owner that holds the clipboard and never answers: after one wait of Qt's, the log says so
// instead of claiming there was no text, and the clipboard is left to its owner.
TEST_F(X11Clipboard, OwnerThatDoesNotAnswerIsNamedAsSuch) {
  CopyWithXclip("held by a program that stops answering\n");
  ASSERT_TRUE(OwnedByXclip());
  ASSERT_EQ(kill(m_xclip->pid(), SIGSTOP), 0);
  const auto started = std::chrono::steady_clock::now();
  std::string log;
  RunInHostWindow([&](HWND host) {
    CDlgProgress* dialog = nullptr;
    ClipboardOperation(host, dialog, cmdVerify);
    log = LogText();
  });
  const auto waited = std::chrono::steady_clock::now() - started;
  kill(m_xclip->pid(), SIGCONT);
  EXPECT_EQ(log,
            "The program that holds the clipboard did not answer; nothing was read from it.\n");
  EXPECT_LT(waited, 12s);
}

namespace {

// The key "secret" asks for its passphrase; the pinentry first lets another program (xclip)
// copy text, as a user does who copies something else while the prompt is open.
class X11ClipboardTakenMeanwhile : public X11Clipboard {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice", "secret"}}; }

  void SetUp() override {
    X11Clipboard::SetUp();
    ring().setPassphrase(kSecretPassphrase);
    const std::string wrapper = ring().home() + "/pinentry";
    const std::string original = ReadWholeFile(wrapper);
    const std::string display = std::string("DISPLAY=") + std::getenv("DISPLAY");
    WriteFile(ring().path("meanwhile.txt"), "copied meanwhile\n");
    WriteFile(wrapper, "#!/bin/sh\nif [ ! -e " + PidFile() + " ]; then\n  " + display +
                           " xclip -quiet -selection clipboard -i < " +
                           ring().path("meanwhile.txt") + " >/dev/null 2>&1 &\n  echo $! > " +
                           PidFile() + "\n  for i in $(seq 100); do\n    " + display +
                           " xclip -selection clipboard -o 2>/dev/null | grep -q meanwhile && "
                           "break\n    sleep 0.1\n  done\nfi\n" +
                           original.substr(original.find('\n') + 1));
  }
  void TearDown() override {
    const std::string pid = ReadWholeFile(PidFile());
    if (!pid.empty()) kill(std::stoi(pid), SIGTERM);
    X11Clipboard::TearDown();
  }
  std::string PidFile() { return ring().path("meanwhile.pid"); }

  std::string EncryptedToSecret(const std::string& text) {
    WriteFile(ring().path("plain.txt"), text);
    const ProcessResult r =
        ring().gpg({"--trust-model", "always", "--armor", "-r", ring().fingerprint("secret"), "-o",
                    ring().path("message.asc"), "-e", ring().path("plain.txt")});
    EXPECT_EQ(r.exitCode, 0) << r;
    return ReadFile(ring().path("message.asc"));
  }
};

}  // namespace

// The window serves its events while the passphrase prompt is up, so it hears of the other
// program's copy and claims the clipboard after it: the result is what the user pastes, as the
// operation said.
TEST_F(X11ClipboardTakenMeanwhile, ResultLandsOnTheClipboardAfterAnotherProgramCopiedMeanwhile) {
  std::string log;
  RunInHostWindow([&](HWND host) {
    ASSERT_TRUE(OpenClipboard(host));
    SetClipboardBytes(CF_TEXT, "copied here earlier\n");
    CloseClipboard();
    CopyWithXclip(EncryptedToSecret("the result\n"));
    ASSERT_TRUE(OwnedByXclip());
    CDlgProgress* dialog = nullptr;
    ClipboardOperation(host, dialog, cmdDecrypt);
    log = LogText();
    pasted = PasteWithXclip();
  });
  EXPECT_EQ(log, "Decrypting clipboard contents...Done.\n");
  EXPECT_EQ(pasted, "the result\n");
}

// The detection itself: a claim that the X server ignored is no success.
TEST_F(X11Clipboard, ClaimOlderThanAnotherProgramsCopyIsRefused) {
  RunInHostWindow([&](HWND host) {
    ASSERT_TRUE(OpenClipboard(host));
    EXPECT_TRUE(SetClipboardBytes(CF_TEXT, "copied here first\n"));
    CloseClipboard();
    // Another program copies later; this process has not heard of it yet.
    WriteFile(ring().path("later.txt"), "copied later elsewhere\n");
    m_xclip.emplace(std::vector<std::string>{"sh", "-c",
                                             "exec xclip -quiet -selection clipboard -i < "
                                             "\"$0\"",
                                             ring().path("later.txt")},
                    EnvironmentWith({}));
    ASSERT_TRUE(WaitUntil(
        [&] {
          const ProcessResult r =
              RunProcess({"timeout", "2", "xclip", "-selection", "clipboard", "-o"});
          return r.exitCode == 0 && r.out == "copied later elsewhere\n";
        },
        20s));
    ASSERT_TRUE(OpenClipboard(host));
    EXPECT_FALSE(SetClipboardBytes(CF_TEXT, "claimed with an older time\n"));
    CloseClipboard();
    pasted = PasteWithXclip();
  });
  EXPECT_EQ(pasted, "copied later elsewhere\n");
}
