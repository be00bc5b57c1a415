// The desktop's own tools on what the associations write: xdg-mime names Zembra's desktop entry
// as the default, xdg-open (through GLib, as GNOME's file manager opens files) starts the real
// Zembra on an encrypted file, which decrypts it; the real dialog under a virtual X server.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/core/process.h"
#include "tests/associations/association_env.h"
#include "tests/e2e/child_process.h"
#include "tests/support/key_ring.h"
#include "zembra/associations/file_associations.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr auto kDeadline = 60s;
// How long a program that is still running may take to show its window: long, because two busy
// cores (key generation beside this test) slow Qt's start many times over.
constexpr auto kStartDeadline = 300s;

class DesktopAssociations : public ::testing::Test {
 protected:
  void SetUp() override {
    m_ring.emplace(KeyRingOptions{.keys = {"alice"}});
    m_env.emplace(/*recordNotifications=*/false, /*ownRegistry=*/false);
    m_runtime = m_env->folder().path("runtime");
    // The associations must start the real program, never this test.
    ASSERT_EQ(AssociationProgramPath(), BuildProgramPath());
  }
  void TearDown() override {
    m_program.reset();
    m_env.reset();
    m_ring.reset();
  }

  std::string QueryDefault(const std::string& type) {
    const ProcessResult r = RunProcess({"xdg-mime", "query", "default", type});
    EXPECT_EQ(r.exitCode, 0) << r;
    std::string out = r.out;
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }

  Environment DisplayEnvironment(const Environment& more = {}) {
    return ProgramEnvironment(m_display, m_runtime, more);
  }

  // The id of the visible window with exactly this title; "" when there is none.
  std::string FindWindow(const std::string& title) {
    const ProcessResult r =
        RunProcess({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"}, {},
                   m_display.environmentEntries());
    if (r.exitCode != 0 || r.out.empty()) return {};
    return r.out.substr(0, r.out.find('\n'));
  }
  // The same, once it is mapped. A program that starts slowly on a loaded machine is waited for
  // as long as it runs (up to kStartDeadline); one that has ended will show nothing.
  std::string WindowId(const std::string& title) {
    return WaitForWindow(m_display, "^" + title + "$", kStartDeadline,
                         [&] { return m_program && m_program->WaitFor(0ms).has_value(); });
  }

  // Keys typed once the window has the input focus, so that none goes elsewhere or is lost.
  void Keys(const std::string& window, const std::vector<std::string>& keys) {
    EXPECT_TRUE(TypeKeys(m_display, window, keys, kStartDeadline))
        << "window " << window << " never had the focus";
  }

  std::string Encrypted(const std::string& name, const std::string& content) {
    const std::string plain = m_env->folder().path(name);
    WriteFile(plain, content);
    const ProcessResult r =
        m_ring->gpg({"--trust-model", "always", "-r", m_ring->fingerprint("alice"), "-o",
                     plain + ".gpg", "-e", plain});
    EXPECT_EQ(r.exitCode, 0) << r;
    fs::remove(plain);
    return plain + ".gpg";
  }

  // Xvfb starts afresh when its last client leaves, as the dialog before this one just did; a
  // program that connects in that moment is refused and ends at once. Such a start is repeated.
  void RunDialog() {
    const fs::path output = m_env->folder().path("dialog.txt");
    for (int attempt = 1;; ++attempt) {
      m_program.emplace(std::vector<std::string>{BuildProgramPath(), "--associations"},
                        DisplayEnvironment(), fs::path{}, output);
      if (attempt == 5 || !m_program->WaitFor(std::chrono::milliseconds(1500))) return;
      // Refused at the socket (our check) or at the X handshake (Qt's).
      const std::string said = ReadWholeFile(output);
      if (said.find("could not connect to the graphical display") == std::string::npos &&
          said.find("could not connect to display") == std::string::npos)
        return;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
  }

  std::optional<KeyRing> m_ring;
  std::optional<AssociationEnv> m_env;
  std::string m_runtime;
  VirtualDisplay m_display;
  std::optional<ChildProcess> m_program;
};

}  // namespace

// This program holds its own copy of g_fileAssociations (a copy relocation); the program path
// still comes from the library.
TEST(AssociationProgramPath, ProgramPathIsBesideTheLibraryWhenTheTableIsCopiedIntoTheProgram) {
  EXPECT_NE(ModulePathOf(&g_fileAssociations), std::string(ZEMBRA_TEST_BIN_DIR) + "/libZembra.so");
  EXPECT_EQ(AssociationProgramPath(), BuildProgramPath());
}

TEST_F(DesktopAssociations, XdgMimeNamesZembraAndXdgOpenDecryptsThenRemovalRestores) {
  m_env->installApplication("viewer.desktop", "Viewer", "viewer %f", "application/pgp-encrypted;");
  WriteFile(m_env->mimeAppsList(),
            "[Default Applications]\napplication/pgp-encrypted=viewer.desktop;\n");
  ASSERT_EQ(QueryDefault("application/pgp-encrypted"), "viewer.desktop");
  const std::string before = QueryDefault("application/pgp-keys");

  DefaultFileAssociations();
  EXPECT_EQ(QueryDefault("application/pgp-encrypted"), "zembra.desktop");
  EXPECT_EQ(QueryDefault("application/pgp-keys"), "zembra.desktop");
  EXPECT_EQ(QueryDefault("application/pgp-signature"), "zembra.desktop");
  // Hidden from the application grid, the entry is still among the programs GLib offers for the
  // type ("Open with").
  const ProcessResult offered = RunProcess({"gio", "mime", "application/pgp-encrypted"});
  const std::size_t registered = offered.out.find("Registered applications:");
  ASSERT_NE(registered, std::string::npos) << offered;
  EXPECT_LT(offered.out.find("\tzembra.desktop\n", registered),
            offered.out.find("Recommended applications:", registered))
      << offered;

  const std::string file = Encrypted("letter.txt", "double-clicked\n");
  const std::string plain = m_env->folder().path("letter.txt");
  const std::string trace = m_env->folder().path("open.txt");
  ChildProcess open({"xdg-open", file}, DisplayEnvironment({{"XDG_CURRENT_DESKTOP", "GNOME"}}),
                    fs::path{}, trace);
  EXPECT_EQ(open.WaitFor(kDeadline), 0) << ReadWholeFile(trace);
  ASSERT_TRUE(WaitUntil(
      [&] { return ReadWholeFile(trace).find("log: Done.") != std::string::npos; }, kDeadline))
      << ReadWholeFile(trace);
  EXPECT_EQ(ReadWholeFile(plain), "double-clicked\n");
  // The operations window that xdg-open started closes with Escape.
  const std::string window = WindowId("Zembra");
  ASSERT_FALSE(window.empty());
  Keys(window, {"Escape"});
  EXPECT_TRUE(WaitUntil([&] { return FindWindow("Zembra").empty(); }, 20s));

  for (FileAssociation& row : g_fileAssociations) row.wanted = 0;
  SetupFileAssociations();
  EXPECT_EQ(QueryDefault("application/pgp-encrypted"), "viewer.desktop");
  EXPECT_EQ(QueryDefault("application/pgp-keys"), before);
  EXPECT_FALSE(fs::exists(m_env->desktopEntry()));
}

TEST_F(DesktopAssociations, DialogCancelChangesNothingAndRegisterApplies) {
  RegisterFileAssociation(g_fileAssociations[0]);
  ResetAssociationTable();
  const std::string mimeApps = ReadFile(m_env->mimeAppsList());
  const std::string gpg = m_env->exportKey("HKCR\\.gpg");

  RunDialog();
  std::string window = WindowId("Zembra Shell Integration");
  ASSERT_FALSE(window.empty()) << ReadWholeFile(m_env->folder().path("dialog.txt"));
  Keys(window, {"Down", "End", "space", "Escape"});
  ASSERT_EQ(m_program->WaitFor(kStartDeadline), 0)
      << ReadWholeFile(m_env->folder().path("dialog.txt"));
  EXPECT_EQ(ReadFile(m_env->mimeAppsList()), mimeApps);
  EXPECT_EQ(m_env->exportKey("HKCR\\.asc"), "");

  RunDialog();
  window = WindowId("Zembra Shell Integration");
  ASSERT_FALSE(window.empty()) << ReadWholeFile(m_env->folder().path("dialog.txt"));
  // The list has the focus: the last row (".asc") is checked, Enter presses "&Register".
  Keys(window, {"Down", "End", "space", "Return"});
  ASSERT_EQ(m_program->WaitFor(kStartDeadline), 0)
      << ReadWholeFile(m_env->folder().path("dialog.txt"));
  EXPECT_EQ(m_env->exportKey("HKCR\\.gpg"), gpg);
  EXPECT_NE(m_env->exportKey("HKCR\\.asc"), "");
  EXPECT_EQ(QueryDefault("application/pgp-keys"), "zembra.desktop");
  EXPECT_EQ(GetCurrentAssociation(".asc"), "Zembra key file\r\n" + BuildProgramPath());
}
