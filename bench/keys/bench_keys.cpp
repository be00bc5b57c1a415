// Opening the operations window on a large key ring against "gpg --list-keys --with-colons" on
// the same ring. Zembra's time runs from the construction of the window to the end of its
// initialisation, which fills the key list, headless.
//
//   bench_keys --ring DIR        (a home made by bench/keys/make_ring.sh)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/core/registry.h"
#include "zembra/ui/dlg_progress.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double TimeGpgListing(const std::string& ring) {
  const char* args[] = {"gpg", "--homedir", ring.c_str(), "--batch", "--list-keys", "--with-colons", nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const Clock::time_point start = Clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, "gpg", &actions, nullptr, const_cast<char**>(args), environ) != 0) std::exit(2);
  int status = 0;
  waitpid(pid, &status, 0);
  posix_spawn_file_actions_destroy(&actions);
  return Seconds(start);
}

// The operations window itself, timed: its initialisation ends with the key list filled
// (FillKeyList, then the default keys and the job start, which are quick); then it closes.
class TimedWindow : public CDlgProgress {
 public:
  explicit TimedWindow(Clock::time_point start) : CDlgProgress(nullptr, cmdNone), m_start(start) {}

  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                            LRESULT& result, DWORD mapId = 0) override {
    if (message != WM_INITDIALOG || mapId != 0)
      return CDlgProgress::ProcessWindowMessage(window, message, wParam, lParam, result, mapId);
    BOOL handled = TRUE;
    result = OnInitDialog(message, wParam, lParam, handled);
    seconds = Seconds(m_start);
    rows = static_cast<int>(SendMessage(m_hKeyList, LVM_GETITEMCOUNT, 0, 0));
    // The window's part alone, for the breakdown: the same rows once more.
    SendMessage(m_hKeyList, LVM_DELETEALLITEMS, 0, 0);
    const Clock::time_point refill = Clock::now();
    if (m_pKeys)
      for (const CKeyHandle& key : *m_pKeys) {
        gpgme_key_t k = key.get();
        ListKey(k);
      }
    rowsSeconds = Seconds(refill);
    PostMessage(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return TRUE;
  }

  double seconds = 0;
  double rowsSeconds = 0;
  int rows = 0;

 private:
  Clock::time_point m_start;
};

// The engine works on the ring as GnuPG's own home: a full installation in a registry of its own.
void UseRing(const std::string& ring, const std::string& registry) {
  setenv("GNUPGHOME", ring.c_str(), 1);
  setenv("ZEMBRA_REGISTRY_DIR", registry.c_str(), 1);
  RegKey key;
  RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvel Ltd\\Zembra", 0, nullptr,
                 REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.put(), nullptr);
  static const char kFull[] = "Full";
  RegSetValueEx(key.get(), "Type", 0, REG_SZ, reinterpret_cast<const BYTE*>(kFull), sizeof kFull);
}

}  // namespace

int main(int argc, char** argv) {
  std::string ring;
  for (int i = 1; i + 1 < argc; i += 2)
    if (std::string(argv[i]) == "--ring") ring = argv[i + 1];
  if (ring.empty()) {
    std::fprintf(stderr, "usage: bench_keys --ring DIR\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);

  TimeGpgListing(ring);  // both sides then read a warm ring
  const double gpg = TimeGpgListing(ring);

  char registry[] = "/tmp/zembra-bench-registry.XXXXXX";
  if (!mkdtemp(registry)) return 2;
  UseRing(ring, registry);

  const Clock::time_point start = Clock::now();
  TimedWindow window(start);
  window.DoModal(nullptr, 0);
  const double zembra = window.seconds;
  std::filesystem::remove_all(registry);

  const double ratio = zembra / gpg;
  std::printf("%-34s gpg %8.3f s   Zembra %8.3f s   ratio %.3f (target <= 1.30)%s\n",
              ("key list of " + std::to_string(window.rows) + " keys").c_str(), gpg, zembra, ratio,
              ratio <= 1.3 ? "" : "  ABOVE TARGET");
  std::printf("%-34s %.3f s\n", "  of which the rows alone", window.rowsSeconds);
  return window.rows > 0 ? 0 : 1;
}
