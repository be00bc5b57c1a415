// What the end-to-end tests of the file manager's hosts share: a key ring with alice, a virtual
// X server, encrypted files, and the real launcher that a host starts detached.
//
// The test process takes the orphans of its descendants (a subreaper), so the launcher becomes
// its child once the handler's intermediate process has exited: its exit code can be read, and
// whatever it leaves behind is seen, stopped and collected.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/child_process.h"
#include "tests/support/key_ring.h"

class ShellEndToEnd : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice"}}; }
  void SetUp() override;
  void TearDown() override;

  // Writes the file under m_files (name may hold folders) and encrypts it to name + ".gpg";
  // the plain file is removed. Returns the encrypted file's path.
  std::filesystem::path Encrypted(const std::string& name, const std::string& content);
  // What the launcher needs in its environment: the virtual display, the trace on, a runtime
  // folder of its own.
  Environment LauncherEnvironment() const;

  // The launcher once it has become our child (-1 when it did not start in time): the build's,
  // or the one at that path.
  pid_t Launcher(const std::filesystem::path& program = {});
  // Waits until the trace holds that many "Done." lines of the log.
  bool WaitForDone(int count) const;
  std::string Trace() const { return ReadWholeFile(m_trace); }
  // Escape on the operations window; then the launcher's exit code.
  std::optional<int> CloseWithEscape();
  // Children still running that are neither the desktop's nor the key ring's daemons.
  std::vector<std::string> LeftBehind();
  // cmake --install of this build (the build folder given) into the prefix; it registers the
  // installed shell extension in the test's hives and keeps the file managers' modules inside
  // the prefix. Returns the installed module that lies at extensionDir relative to
  // managerPrefix (a file manager's folder and prefix) in the prefix.
  std::filesystem::path InstallBuild(const std::string& cmake, const std::string& buildDir,
                                     const std::filesystem::path& prefix,
                                     const std::string& extensionDir,
                                     const std::string& managerPrefix, const std::string& module);
  // The environment of a file manager on the test's desktop, in a home of the test's own.
  Environment FileManagerEnvironment(const std::string& home) const;

  // Selects every file in the file manager's window and opens the context menu from the
  // keyboard, until the module's trace says it was asked for the items of two files; a menu that
  // was not ours is closed and the round tried again (after show, which brings the folder into
  // view where a file manager needs that). Gives up after 90 s.
  bool OpenMenuForBothFiles(const std::string& window,
                            const std::function<void(const std::vector<std::string>& env)>& show);
  // How often the module's trace says it offered the items for two files.
  int CountMenusForBothFiles() const;
  // A file manager (argv) in a home of the test's own (home); its standard error (with the
  // module's trace and the launcher's, which inherits it) goes to the trace file. Xvfb starts
  // afresh when its last client leaves; a program that connects in that moment is refused and
  // ends at once, and is started again.
  void StartFileManager(const std::vector<std::string>& argv, const std::string& home);

  // The X server, the session bus or a process of m_desktopGroups, which the test started and
  // stops.
  bool IsDesktop(pid_t pid, const std::string& exe) const;

  std::filesystem::path m_files, m_runtime, m_trace;
  VirtualDisplay m_display;
  // Process groups of the desktop's programs that a test started (a file manager).
  std::vector<pid_t> m_desktopGroups;
  std::optional<ChildProcess> m_fileManager;  // the one StartFileManager started

 private:
  pid_t m_launcher = -1;
  bool m_launcherReaped = false;
};

// A module copied into a file manager's extension folder (a system folder) for the object's
// life. The name is the test's own, so that a copy a killed run left is replaced by the next
// run, and no installed module is touched.
class ModuleInSystemFolder {
 public:
  ModuleInSystemFolder(const std::filesystem::path& module, const std::filesystem::path& copy);
  ~ModuleInSystemFolder();
  ModuleInSystemFolder(const ModuleInSystemFolder&) = delete;
  ModuleInSystemFolder& operator=(const ModuleInSystemFolder&) = delete;

  const std::filesystem::path& path() const { return m_path; }

 private:
  std::filesystem::path m_path;
};

// Our own children, with the program each runs ("" once it has ended and is a zombie).
std::vector<std::pair<pid_t, std::string>> Children();
