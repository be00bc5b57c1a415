// "Zembra --clipboard ACTION", the desktop entry's clipboard actions, as a person starts them:
// the real program under a virtual X server with a session bus, xclip as the other program, and
// a clipboard manager that keeps what a program leaves on the clipboard when it ends.
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
constexpr const char* kNoText = "No suitable data (TEXT) found in the clipboard.";

// A 1x1 PNG, as an image viewer copies one.
const std::string kPng =
    "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\x06\0\0\0\x1f\x15\xc4\x89\0\0\0\rIDATx"
    "\x9c\x63\xf8\xcf\xc0\xf0\x1f\0\x05\0\x01\xff\x89\x99=\x1d\0\0\0\0IEND\xae\x42\x60\x82"s;

class ClipboardProgram : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice", "secret"}}; }

  // The clipboard manager stays connected for the whole test, so that the X server does not
  // start afresh (and refuse clients for a moment) when a program's last window has gone.
  void SetUp() override {
    KeyRingTest::SetUp();
    StartClipboardManager();
  }
  void TearDown() override {
    m_program.reset();
    m_xclip.reset();
    m_manager.reset();
    KeyRingTest::TearDown();
  }

  std::vector<std::string> DisplayEnv() const { return m_display.environmentEntries(); }

  // Default keys in use, as a user left them in an earlier run.
  void UseDefaultKeys(const std::string& name) { ::UseDefaultKeys(ring(), name); }

  // The desktop's clipboard manager, in place before the program starts.
  void StartClipboardManager() {
    const std::string ready = ring().path("manager.out");
    m_manager.emplace(std::vector<std::string>{ZEMBRA_TEST_CLIPBOARD_MANAGER},
                      EnvironmentWith(m_display.environment()), ready);
    ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(ready) == "ready\n"; }, 20s))
        << "the clipboard manager did not start";
  }

  // xclip serves the content as the target until another program takes the clipboard; once
  // this returns, another program reads it back.
  bool CopyWithXclip(const std::string& content, const std::string& target = "UTF8_STRING") {
    const std::string file = ring().path("copied");
    WriteFile(file, content);
    return WaitUntil(
        [&] {
          if (!m_xclip || m_xclip->WaitFor(0ms).has_value())
            m_xclip.emplace(std::vector<std::string>{"sh", "-c",
                                                     "exec xclip -quiet -selection clipboard -t "
                                                     "\"$1\" -i < \"$0\"",
                                                     file, target},
                            EnvironmentWith(m_display.environment()));
          return Paste(target) == content;
        },
        kDeadline);
  }
  std::string Paste(const std::string& target = "UTF8_STRING") {
    const std::string out = ring().path("pasted");
    const ProcessResult r =
        RunProcess({"sh", "-c", "xclip -selection clipboard -t \"$0\" -o > \"$1\"", target, out},
                   {}, DisplayEnv());
    return r.exitCode == 0 ? ReadWholeFile(out) : "(xclip failed: " + r.err + ")";
  }

  void Launch(const std::vector<std::string>& args) {
    std::vector<std::string> argv{std::string(ZEMBRA_TEST_BIN_DIR) + "/Zembra"};
    argv.insert(argv.end(), args.begin(), args.end());
    m_trace = ring().path("trace.txt");
    // The child truncates the trace only once it runs: the last run's lines must not be read as
    // this one's meanwhile.
    fs::remove(m_trace);
    const std::string runtime = ring().path("runtime");
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    m_program.emplace(argv, ProgramEnvironment(m_display, runtime), fs::path{}, m_trace);
  }
  std::vector<std::string> Log() { return TraceLogLines(ReadWholeFile(m_trace)); }
  bool LogHas(const std::string& line) {
    const std::vector<std::string> lines = Log();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  // Runs the action until its log has the line, or the program ends.
  std::vector<std::string> RunUntil(const std::string& action, const std::string& line) {
    Launch({"--clipboard", action});
    EXPECT_TRUE(WaitUntil([&] { return LogHas(line) || m_program->WaitFor(0ms); }, kDeadline))
        << ReadWholeFile(m_trace);
    return Log();
  }

  // Escape to every window titled "Zembra" (a copied file list opens a second one over the
  // first) until the program ends; its exit code.
  std::optional<int> CloseAll() {
    const auto until = std::chrono::steady_clock::now() + kDeadline;
    while (std::chrono::steady_clock::now() < until) {
      if (std::optional<int> code = m_program->WaitFor(0ms)) return code;
      if (WaitForWindow(m_display, "^Zembra$", 5s).empty()) continue;
      // The one on top (the last mapped) first; the one below it waits for it.
      const ProcessResult found = RunProcess(
          {"xdotool", "search", "--onlyvisible", "--name", "^Zembra$"}, {}, DisplayEnv());
      std::vector<std::string> ids;
      for (std::size_t at = 0, end; (end = found.out.find('\n', at)) != std::string::npos;
           at = end + 1)
        ids.push_back(found.out.substr(at, end - at));
      for (auto id = ids.rbegin(); id != ids.rend(); ++id) {
        RunProcess({"xdotool", "windowfocus", "--sync", *id}, {}, DisplayEnv());
        RunProcess({"xdotool", "key", "--window", *id, "Escape"}, {}, DisplayEnv());
      }
      if (std::optional<int> code = m_program->WaitFor(2s)) return code;
    }
    ADD_FAILURE() << "the program did not end; it wrote:\n" << ReadWholeFile(m_trace);
    return std::nullopt;
  }

  std::string EncryptedTo(const std::string& name, const std::string& text) {
    WriteFile(ring().path("plain.txt"), text);
    const std::string out = ring().path("message.asc");
    fs::remove(out);
    const ProcessResult r =
        ring().gpg({"--trust-model", "always", "--armor", "-r", ring().fingerprint(name), "-o", out,
                    "-e", ring().path("plain.txt")});
    EXPECT_EQ(r.exitCode, 0) << r;
    return ReadWholeFile(out);
  }

  fs::path m_trace;
  VirtualDisplay m_display;
  std::optional<ChildProcess> m_manager;
  std::optional<ChildProcess> m_xclip;
  std::optional<ChildProcess> m_program;
};

}  // namespace

TEST_F(ClipboardProgram, DecryptLeavesThePlaintextForOtherProgramsAfterItEnds) {
  const std::string text = "Grüße aus der Zwischenablage\nzweite Zeile\n";
  ASSERT_TRUE(CopyWithXclip(EncryptedTo("alice", text))) << Paste();

  const std::vector<std::string> log = RunUntil("decrypt", "Done.");
  EXPECT_EQ(log, (std::vector<std::string>{"Decrypting clipboard contents...", "Done."}));
  EXPECT_EQ(Paste(), text);  // served by the window while it is open

  EXPECT_EQ(CloseAll(), 0);
  EXPECT_EQ(Paste(), text) << "nothing left on the clipboard after the program ended";
}

TEST_F(ClipboardProgram, EncryptWithDefaultKeysGivesAMessageForThem) {
  UseDefaultKeys("alice");
  const std::string text = "an die Schlüsselinhaberin\n";
  ASSERT_TRUE(CopyWithXclip(text)) << Paste();

  const std::vector<std::string> log = RunUntil("encrypt", "Done.");
  EXPECT_EQ(log, (std::vector<std::string>{"Encrypting clipboard contents...", "Done."}));
  const std::string message = Paste();
  ASSERT_TRUE(message.starts_with("-----BEGIN PGP MESSAGE-----")) << message;
  WriteFile(ring().path("message.asc"), message);
  const ProcessResult decrypted = ring().gpg({"--decrypt", ring().path("message.asc")});
  EXPECT_EQ(decrypted.out, text) << decrypted;
  EXPECT_EQ(CloseAll(), 0);
}

// Without default keys the window waits for the user to choose the recipients.
TEST_F(ClipboardProgram, EncryptWithoutDefaultKeysLeavesTheClipboardToTheChoiceOfKeys) {
  ASSERT_TRUE(CopyWithXclip("waits for a recipient\n")) << Paste();
  Launch({"--clipboard", "encrypt"});
  ASSERT_FALSE(WaitForWindow(m_display, "^Zembra$", kDeadline).empty()) << ReadWholeFile(m_trace);
  EXPECT_EQ(Paste(), "waits for a recipient\n");
  EXPECT_EQ(CloseAll(), 0);
  EXPECT_TRUE(Log().empty()) << ReadWholeFile(m_trace);
  EXPECT_EQ(Paste(), "waits for a recipient\n");
}

TEST_F(ClipboardProgram, SignWithDefaultKeysGivesASignedMessage) {
  UseDefaultKeys("alice");
  const std::string text = "unterschrieben\n";
  ASSERT_TRUE(CopyWithXclip(text)) << Paste();

  const std::vector<std::string> log = RunUntil("sign", "Done.");
  EXPECT_EQ(log, (std::vector<std::string>{"Signing clipboard contents...", "Done."}));
  const std::string message = Paste();
  ASSERT_TRUE(message.starts_with("-----BEGIN PGP MESSAGE-----")) << message;
  WriteFile(ring().path("message.asc"), message);
  const ProcessResult verified = ring().gpg({"--decrypt", ring().path("message.asc")});
  EXPECT_EQ(verified.out, text) << verified;
  EXPECT_NE(verified.err.find("Good signature from \"Alice <alice@example.org>\""),
            std::string::npos)
      << verified;
  EXPECT_EQ(CloseAll(), 0);
}

TEST_F(ClipboardProgram, VerifyShowsTheSignerAndLeavesTheText) {
  const std::string text = "clear text, signed\n";
  WriteFile(ring().path("plain.txt"), text);
  const ProcessResult signed_ =
      ring().gpg({"-u", ring().fingerprint("alice"), "-o", ring().path("signed.asc"), "--clearsign",
                  ring().path("plain.txt")});
  ASSERT_EQ(signed_.exitCode, 0) << signed_;
  ASSERT_TRUE(CopyWithXclip(ReadWholeFile(ring().path("signed.asc")))) << Paste();

  const std::vector<std::string> log = RunUntil("verify", "Done.");
  // The start line is ended before the signatures' lines.
  const std::vector<std::string> expected{"Verifying clipboard contents...", "",
                                          "Good signature from \"Alice <alice@example.org>\"",
                                          "Done."};
  EXPECT_EQ(log, expected);
  EXPECT_EQ(Paste(), text);
  EXPECT_EQ(CloseAll(), 0);
}

TEST_F(ClipboardProgram, EmptyClipboardIsSaidByEveryAction) {
  UseDefaultKeys("alice");
  for (const std::string action : {"encrypt", "decrypt", "sign", "verify"}) {
    SCOPED_TRACE(action);
    const std::vector<std::string> log = RunUntil(action, kNoText);
    EXPECT_EQ(log, std::vector<std::string>{kNoText});
    EXPECT_EQ(CloseAll(), 0);
  }
  EXPECT_TRUE(Paste().starts_with("(xclip failed")) << "something was put on the clipboard";
}

TEST_F(ClipboardProgram, ImageOnlyIsNoTextAndStaysOnTheClipboard) {
  ASSERT_TRUE(CopyWithXclip(kPng, "image/png"));
  const std::vector<std::string> log = RunUntil("decrypt", kNoText);
  EXPECT_EQ(log, std::vector<std::string>{kNoText});
  EXPECT_TRUE(Paste("image/png") == kPng) << "the image changed";
  EXPECT_EQ(CloseAll(), 0);
  EXPECT_TRUE(Paste("image/png") == kPng) << "the image changed";
}

// A copied file list is decrypted file by file in a window of its own; the list stays copied.
TEST_F(ClipboardProgram, CopiedFileListIsDecryptedFileByFile) {
  const fs::path folder = ring().path("files");
  fs::create_directories(folder);
  const std::string path = (folder / "brief.txt.gpg").string();
  const ProcessResult made =
      ring().gpg({"--trust-model", "always", "-r", ring().fingerprint("alice"), "-o", path, "-e",
                  (WriteFile(ring().path("brief.txt"), "ein Brief\n"), ring().path("brief.txt"))});
  ASSERT_EQ(made.exitCode, 0) << made;
  const std::string list = "file://" + path + "\r\n";
  ASSERT_TRUE(CopyWithXclip(list, "text/uri-list"));

  const std::vector<std::string> log = RunUntil("decrypt", "Done.");
  const std::vector<std::string> expected{
      "Please choose key(s) and press `Decrypt` button to proceed 1 files (" + path + ")",
      "Decrypting \"" + path + "\"...", "Done."};
  EXPECT_EQ(log, expected);
  EXPECT_EQ(ReadWholeFile(folder / "brief.txt"), "ein Brief\n");
  EXPECT_EQ(CloseAll(), 0);
  EXPECT_EQ(Paste("text/uri-list"), list);
}

// Several megabytes of text that is no OpenPGP message: the engine's answer, and the text stays.
TEST_F(ClipboardProgram, SeveralMegabytesOfPlainTextFailToDecryptAndStay) {
  std::string text;
  for (int i = 0; text.size() < (4u << 20); ++i)
    text += "Zeile " + std::to_string(i) + " eines langen Textes ohne Verschlüsselung\n";
  ASSERT_TRUE(CopyWithXclip(text)) << "xclip did not serve the text";

  Launch({"--clipboard", "decrypt"});
  ASSERT_TRUE(WaitUntil([&] { return Log().size() >= 2; }, kDeadline)) << ReadWholeFile(m_trace);
  EXPECT_EQ(Log(),
            (std::vector<std::string>{"Decrypting clipboard contents...", "Error: No data"}));
  EXPECT_TRUE(Paste() == text) << "the clipboard changed";
  EXPECT_EQ(CloseAll(), 0);
}

TEST_F(ClipboardProgram, UnknownActionIsSaidAndNoWindowOpens) {
  const std::string err = ring().path("err.txt");
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--clipboard", "compress"},
                                               std::vector<std::string>{"--clipboard"}}) {
    std::vector<std::string> argv{std::string(ZEMBRA_TEST_BIN_DIR) + "/Zembra"};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess program(argv,
                         ProgramEnvironment(m_display, ring().folder(), {{"ZEMBRA_TRACE", ""}}),
                         fs::path{}, err);
    EXPECT_EQ(program.WaitFor(kDeadline), 2);
    const std::string word = args.size() == 2 ? args[1] : "";
    EXPECT_EQ(ReadWholeFile(err), "Zembra: unknown clipboard action \"" + word +
                                      "\"; it is one of encrypt, decrypt, sign, verify.\n");
  }
}
