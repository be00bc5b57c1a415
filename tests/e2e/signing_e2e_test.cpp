// The real launcher under a virtual X server with the real X clipboard and the real graphical
// pinentry: another program (xclip) puts text on the clipboard and reads the result back, an
// independent OpenPGP implementation (rnp) decrypts it, and the test types a passphrase into the
// pinentry's window.
#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/core/registry.h"
#include "tests/e2e/child_process.h"
#include "tests/support/key_ring.h"
#include "tests/support/run_process.h"
#include "zembra/keys/settings.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace std::string_literals;

namespace {

constexpr auto kDeadline = 60s;

// The lines the program's log wrote to its trace.
std::vector<std::string> LogLines(const std::string& trace) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < trace.size()) {
    std::size_t end = trace.find('\n', start);
    if (end == std::string::npos) end = trace.size();
    const std::string line = trace.substr(start, end - start);
    if (line.rfind("log: ", 0) == 0) lines.push_back(line.substr(5));
    start = end + 1;
  }
  return lines;
}

class SigningEndToEnd : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice", "secret"}}; }

  void SetUp() override {
    KeyRingTest::SetUp();
    m_files = ring().path("files");
    fs::create_directories(m_files);
  }
  void TearDown() override {
    m_launcher.reset();
    m_xclip.reset();
    KeyRingTest::TearDown();
  }

  std::vector<std::string> DisplayEnv() const { return m_display.environmentEntries(); }

  // Default keys in use, as a user left them in an earlier run.
  void UseDefaultKeys(const std::string& name) { ::UseDefaultKeys(ring(), name); }

  // xclip owns the clipboard with the text until another program takes it.
  // Puts the text on the clipboard, served by xclip, and waits until another program can read it
  // back; an xclip that has ended before it served the text is started again.
  bool CopyWithXclip(const std::string& text) {
    const std::string file = ring().path("copied.txt");
    WriteFile(file, text);
    return WaitUntil(
        [&] {
          if (!m_xclip || m_xclip->WaitFor(0ms).has_value())
            m_xclip.emplace(
                std::vector<std::string>{
                    "sh", "-c", "exec xclip -quiet -selection clipboard -i < \"$0\"", file},
                EnvironmentWith(m_display.environment()));
          return PasteWithXclip() == text;
        },
        kDeadline);
  }
  std::string PasteWithXclip() {
    const ProcessResult r =
        RunProcess({"xclip", "-selection", "clipboard", "-o"}, {}, DisplayEnv());
    return r.exitCode == 0 ? r.out : "(xclip failed: " + r.err + ")";
  }

  void Launch(const std::vector<std::string>& args) {
    std::vector<std::string> argv{std::string(ZEMBRA_TEST_BIN_DIR) + "/ZembraShellExtApp"};
    argv.insert(argv.end(), args.begin(), args.end());
    m_trace = ring().path("trace.txt");
    const std::string runtime = ring().path("runtime");
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    m_launcher.emplace(argv, ProgramEnvironment(m_display, runtime), fs::path{}, m_trace);
  }
  std::vector<std::string> Log() { return LogLines(ReadWholeFile(m_trace)); }
  bool LogHas(const std::string& line) {
    const std::vector<std::string> lines = Log();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  // The first visible window whose name or class matches.
  std::string FindWindow(const std::string& how, const std::string& pattern) {
    std::string id;
    WaitUntil(
        [&] {
          const ProcessResult r =
              RunProcess({"xdotool", "search", "--onlyvisible", how, pattern}, {}, DisplayEnv());
          if (r.exitCode != 0 || r.out.empty()) return false;
          id = r.out.substr(0, r.out.find('\n'));
          return true;
        },
        kDeadline);
    return id;
  }

  std::optional<int> CloseWithEscape() {
    std::optional<int> code = CloseZembraWithEscape(
        m_display, [&](std::chrono::milliseconds wait) { return m_launcher->WaitFor(wait); },
        kDeadline);
    EXPECT_TRUE(code.has_value()) << ReadWholeFile(m_trace);
    return code;
  }

  fs::path m_files, m_trace;
  VirtualDisplay m_display;
  std::optional<ChildProcess> m_xclip;
  std::optional<ChildProcess> m_launcher;
};

}  // namespace

TEST_F(SigningEndToEnd, EncryptJobWithoutPathsEncryptsTheClipboardForOtherPrograms) {
  const std::string rnpHome = ring().path("rnp");
  mkdir(rnpHome.c_str(), 0700);
  const ProcessResult imported =
      RunProcess({"rnpkeys", "--homedir", rnpHome, "--import", TestKeyFolder() + "/alice.sec.asc"});
  ASSERT_EQ(imported.exitCode, 0) << imported;

  UseDefaultKeys("alice");
  const std::string text = "Grüße aus der Zwischenablage\nzweite Zeile";
  ASSERT_TRUE(CopyWithXclip(text)) << "xclip did not serve the text: " << PasteWithXclip();
  Launch({"2"});
  ASSERT_TRUE(WaitUntil([&] { return LogHas("Done."); }, kDeadline)) << ReadWholeFile(m_trace);
  EXPECT_EQ(Log().front(), "Encrypting clipboard contents...");

  // Read back by another program while the window still owns the clipboard.
  const std::string message = PasteWithXclip();
  ASSERT_TRUE(message.starts_with("-----BEGIN PGP MESSAGE-----")) << message;
  WriteFile(ring().path("message.asc"), message);
  const ProcessResult decrypted =
      RunProcess({"rnp", "--homedir", rnpHome, "--notty", "--decrypt", ring().path("message.asc"),
                  "--output", ring().path("message.txt")});
  ASSERT_EQ(decrypted.exitCode, 0) << decrypted;
  EXPECT_EQ(ReadWholeFile(ring().path("message.txt")), text);

  EXPECT_EQ(CloseWithEscape(), 0);
}

TEST_F(SigningEndToEnd, SigningAFileAsksForThePassphraseInTheGraphicalPinentry) {
  // The graphical pinentry that the portable key ring names, whatever the desktop made the
  // system's pinentry (GNOME's asks through its keyring's prompter, or on the terminal).
  WriteFile(ring().home() + "/gpg-agent.conf",
            "pinentry-program /usr/bin/pinentry-qt\ndefault-cache-ttl 0\nmax-cache-ttl 0\n");
  RunProcess({"gpgconf", "--homedir", ring().home(), "--kill", "gpg-agent"});
  UseDefaultKeys("secret");
  const std::string path = (m_files / "report.txt").string();
  WriteFile(path, "signed through the pinentry\n");

  Launch({"4", path});
  const std::string pinentry = FindWindow("--class", "pinentry");
  ASSERT_FALSE(pinentry.empty()) << "no pinentry window; the program wrote:\n"
                                 << ReadWholeFile(m_trace);
  RunProcess({"xdotool", "windowfocus", "--sync", pinentry}, {}, DisplayEnv());
  RunProcess({"xdotool", "type", "--delay", "30", kSecretPassphrase}, {}, DisplayEnv());
  RunProcess({"xdotool", "key", "Return"}, {}, DisplayEnv());

  ASSERT_TRUE(WaitUntil([&] { return LogHas("Done."); }, kDeadline)) << ReadWholeFile(m_trace);
  const ProcessResult checked = ring().gpg({"--verify", path + ".signed.gpg"});
  EXPECT_EQ(checked.exitCode, 0) << checked;
  EXPECT_NE(checked.err.find("Good signature from \"Secret <secret@example.org>\""),
            std::string::npos)
      << checked;
  EXPECT_EQ(CloseWithEscape(), 0);
}
