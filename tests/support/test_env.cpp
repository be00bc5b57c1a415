#include "tests/support/test_env.h"

#include <random>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/gui/dialog.h"
#include "zembra/keys/key_list.h"
#include "zembra/ui/key_list_view.h"
#include "zembra/ui/log_box.h"
#include "zembra/ui/resource_ids.h"

GpgmeContext OpenEngineContext() {
  EXPECT_EQ(InitEngine(GPGME_PROTOCOL_OpenPGP), 0);
  gpgme_ctx_t ctx = nullptr;
  EXPECT_EQ(gpgme_new(&ctx), 0);
  SetupContext(&ctx);
  return GpgmeContext(ctx);
}

std::string MakeKey(const KeyRing& ring, const std::string& uid, const std::string& expire,
                    const std::string& fakedTime) {
  // The user id goes in as the bytes given.
  std::vector<std::string> args = {"--pinentry-mode", "loopback", "--passphrase", "",
                                   "--utf8-strings"};
  if (!fakedTime.empty()) args.insert(args.end(), {"--faked-system-time", fakedTime});
  args.insert(args.end(), {"--quick-gen-key", uid, "future-default", "default", expire});
  ProcessResult made = ring.gpg(args);
  EXPECT_EQ(made.exitCode, 0) << made;
  // The newest key of that user id is the one just made.
  ProcessResult list = ring.gpg({"--with-colons", "--list-keys", "=" + uid});
  std::string fpr;
  std::istringstream lines(list.out);
  std::string line;
  bool inPub = false;
  while (std::getline(lines, line)) {
    if (line.rfind("pub:", 0) == 0)
      inPub = true;
    else if (inPub && line.rfind("fpr:", 0) == 0) {
      fpr = line.substr(12, 40);
      inPub = false;
    }
  }
  return fpr;
}

namespace {

constexpr int kRunBody = 0x7F01;

const DialogTemplate& HostTemplate() {
  static const DialogTemplate t = [] {
    DialogTemplate d;
    d.id = 4242;
    d.caption = "Host";
    d.cx = 393;
    d.cy = 237;
    d.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    d.controls = {
        {IDC_KEY_LIST, ControlKind::ListView, "", 7, 15, 321, 128,
         LVS_REPORT | LVS_SHOWSELALWAYS | LVS_NOLABELWRAP | WS_BORDER | WS_TABSTOP, 0},
        {IDC_PROGRESS, ControlKind::ProgressBar, "", 7, 156, 321, 14, WS_BORDER, 0},
        {IDC_LOG, ControlKind::Edit, "", 7, 173, 321, 52,
         ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 0},
    };
    return d;
  }();
  return t;
}

class HostWindow : public CDialogBase {
 public:
  explicit HostWindow(const std::function<void(HWND)>& body)
      : CDialogBase(HostTemplate()), m_body(body) {}

  BEGIN_MSG_MAP(HostWindow)
  MESSAGE_HANDLER(WM_INITDIALOG, OnInit)
  COMMAND_ID_HANDLER(kRunBody, OnRun)
  END_MSG_MAP()

  LRESULT OnInit(UINT, WPARAM, LPARAM, BOOL&) {
    SetLogBox(GetDlgItem(IDC_LOG));
    HWND list = GetDlgItem(IDC_KEY_LIST);
    InsertKeyListColumns(list);
    SendMessage(GetDlgItem(IDC_PROGRESS), PBM_SETRANGE, 0, MAKELPARAM(0, 1000));
    PostMessage(m_hWnd, WM_COMMAND, MAKEWPARAM(kRunBody, 0), 0);
    return 1;
  }
  LRESULT OnRun(WORD, WORD, HWND, BOOL&) {
    m_body(m_hWnd);
    SetLogBox(nullptr);
    EndDialog(IDOK);
    return 0;
  }

 private:
  const std::function<void(HWND)>& m_body;
};

}  // namespace

void RunInHostWindow(const std::function<void(HWND window)>& body) {
  HostWindow host(body);
  host.DoModal(nullptr, 0);
}

std::string LogText() {
  // A multi-line edit control gives its line breaks as "\r\n", as on Windows.
  std::string text = GetWindowTextString(g_hLog);
  for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
    text.erase(at, 1);
  return text;
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string RandomBytes(std::size_t size) {
  std::mt19937_64 random(size);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}
