// The clipboard operations on the real X clipboard of a virtual display, with xclip as the other
// program and rnp as the other OpenPGP implementation: a message signed by rnp is verified with
// its signer shown; a tampered one is reported as bad and the clipboard keeps it.
#include <sys/stat.h>

#include <QCoreApplication>

#include <cstdlib>

#include <gtest/gtest.h>

#include "tests/crypto/test_env.h"
#include "tests/e2e/child_process.h"
#include "zembra/ui/dlg_progress.h"

using namespace std::chrono_literals;

namespace {

// One virtual display for the whole program, in place before Qt connects to it.
class X11Display : public ::testing::Environment {
 public:
  void SetUp() override {
    m_display.emplace();
    for (const auto& [name, value] : m_display->environment()) setenv(name.c_str(), value.c_str(), 1);
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
        RunProcess({"rnp", "--homedir", rnpHome, "--notty", "-u", ring().fingerprint("alice"),
                    how, "--armor", ring().path("text.txt"), "--output", ring().path("text.asc")});
    EXPECT_EQ(made.exitCode, 0) << made;
    return ReadFile(ring().path("text.asc"));
  }

  // xclip owns the clipboard with the text until another program takes it.
  void CopyWithXclip(const std::string& text) {
    WriteFile(ring().path("copied.txt"), text);
    m_xclip.emplace(std::vector<std::string>{"sh", "-c",
                                             "exec xclip -quiet -selection clipboard -i < \"$0\"",
                                             ring().path("copied.txt")},
                    EnvironmentWith({}));
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
  EXPECT_EQ(Verify(), "Verifying clipboard contents...\nGood signature from \"Alice <alice@example.org>\"\nDone.\n");
  EXPECT_EQ(pasted, text);
}

TEST_F(X11Clipboard, TamperedMessageIsBadAndTheClipboardKeepsIt) {
  std::string message = SignedByRnp("pay 100 to bob\n", "--clearsign");
  message.replace(message.find("100"), 3, "900");
  CopyWithXclip(message);
  EXPECT_EQ(Verify(), "Verifying clipboard contents...\nBAD signature from \"Alice <alice@example.org>\"\n"
                      "Error: Not every signature is good\n");
  EXPECT_EQ(pasted, message);
}
