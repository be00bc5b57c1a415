// Opening the operations window's key list on a large key ring against "gpg --list-keys
// --with-colons" on the same ring. Zembra's time runs from the construction of the window to
// the end of FillKeyList, headless.
//
//   bench_keys --ring DIR        (a home made by bench/keys/make_ring.sh)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/gui/dialog.h"
#include "zembra/operations/log.h"
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

// The operations window with its key list in a window of the same size and controls.
class BenchWindow : public CDlgProgress {
 public:
  BenchWindow() : CDlgProgress(nullptr, cmdNone) {}
  using CDlgProgress::FillKeyList;
  using CDlgProgress::ListKey;
  using CDlgProgress::m_ctx;
  using CDlgProgress::m_hKeyList;
  using CDlgProgress::m_pKeys;
};

const DialogTemplate& HostTemplate() {
  static const DialogTemplate t = [] {
    DialogTemplate d;
    d.id = 4243;
    d.caption = "Zembra";
    d.cx = 393;
    d.cy = 237;
    d.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    d.controls = {
        {IDC_KEY_LIST, ControlKind::ListView, "", 7, 15, 321, 128,
         LVS_REPORT | LVS_SHOWSELALWAYS | LVS_NOLABELWRAP | WS_BORDER | WS_TABSTOP, 0},
        {IDC_LOG, ControlKind::Edit, "", 7, 173, 321, 52,
         ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 0},
    };
    return d;
  }();
  return t;
}

class Host : public CDialogBase {
 public:
  Host(const std::string& ring, Clock::time_point start)
      : CDialogBase(HostTemplate()), m_ring(ring), m_start(start) {}

  BEGIN_MSG_MAP(Host)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInit)
  END_MSG_MAP()

  LRESULT OnInit(UINT, WPARAM, LPARAM, BOOL&) {
    g_hLog = GetDlgItem(IDC_LOG);
    m_window.m_hKeyList = GetDlgItem(IDC_KEY_LIST);
    InsertKeyListColumns(m_window.m_hKeyList);
    gpgme_check_version(nullptr);
    gpgme_ctx_t ctx = nullptr;
    gpgme_new(&ctx);
    m_window.m_ctx.reset(ctx);
    gpgme_ctx_set_engine_info(ctx, GPGME_PROTOCOL_OpenPGP, nullptr, m_ring.c_str());
    m_window.FillKeyList();
    seconds = Seconds(m_start);
    rows = static_cast<int>(SendMessage(m_window.m_hKeyList, LVM_GETITEMCOUNT, 0, 0));
    // The window's part alone, for the breakdown: the same rows once more.
    SendMessage(m_window.m_hKeyList, LVM_DELETEALLITEMS, 0, 0);
    const Clock::time_point refill = Clock::now();
    for (const CKeyHandle& key : *m_window.m_pKeys) {
      gpgme_key_t k = key.get();
      m_window.ListKey(k);
    }
    rowsSeconds = Seconds(refill);
    g_hLog = nullptr;
    EndDialog(IDOK);
    return 1;
  }

  double seconds = 0;
  double rowsSeconds = 0;
  int rows = 0;

 private:
  std::string m_ring;
  Clock::time_point m_start;
  BenchWindow m_window;
};

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

  const Clock::time_point start = Clock::now();
  Host host(ring, start);
  host.DoModal(nullptr, 0);
  const double zembra = host.seconds;

  const double ratio = zembra / gpg;
  std::printf("%-34s gpg %8.3f s   Zembra %8.3f s   ratio %.3f (target <= 1.30)%s\n",
              ("key list of " + std::to_string(host.rows) + " keys").c_str(), gpg, zembra, ratio,
              ratio <= 1.3 ? "" : "  ABOVE TARGET");
  std::printf("%-34s %.3f s\n", "  of which the rows alone", host.rowsSeconds);
  return host.rows > 0 ? 0 : 1;
}
