#include "tests/crypto/test_env.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/gui/dialog.h"
#include "zembra/keys/key_list.h"
#include "zembra/operations/log.h"
#include "zembra/ui/resource_ids.h"

TempFolder::TempFolder() {
  char name[] = "/tmp/zc.XXXXXX";
  if (mkdtemp(name)) m_path = name;
}

TempFolder::~TempFolder() {
  if (m_path.empty()) return;
  std::error_code ignored;
  // Tests may leave a folder without permissions; give them back before removing.
  std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(m_path, ignored);
}

ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& input) {
  ProgramResult result;
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  // Feed stdin and drain both outputs together, so no side blocks on a full pipe.
  std::size_t written = 0;
  int inFd = in[1];
  if (input.empty()) {
    close(inFd);
    inFd = -1;
  }
  bool outOpen = true, errOpen = true;
  char buffer[65536];
  while (outOpen || errOpen || inFd >= 0) {
    pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {inFd, POLLOUT, 0}};
    if (!outOpen) fds[0].fd = -1;
    if (!errOpen) fds[1].fd = -1;
    if (poll(fds, 3, -1) < 0) break;
    if (fds[0].revents) {
      ssize_t n = read(out[0], buffer, sizeof buffer);
      if (n <= 0) outOpen = false; else result.out.append(buffer, static_cast<std::size_t>(n));
    }
    if (fds[1].revents) {
      ssize_t n = read(err[0], buffer, sizeof buffer);
      if (n <= 0) errOpen = false; else result.err.append(buffer, static_cast<std::size_t>(n));
    }
    if (inFd >= 0 && fds[2].revents) {
      ssize_t n = write(inFd, input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if (n <= 0 || written == input.size()) {
        close(inFd);
        inFd = -1;
      }
    }
  }
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

namespace {
std::string HexOf(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex;
}
}  // namespace

GpgHome::GpgHome(std::string passphrase) : m_home(m_folder / "g"), m_passphrase(std::move(passphrase)) {
  mkdir(m_home.c_str(), 0700);
  if (!m_passphrase.empty()) WriteFile(m_home + "/gpg-agent.conf", "allow-preset-passphrase\n");
}

GpgHome::~GpgHome() { RunProgram({"gpgconf", "--homedir", m_home, "--kill", "all"}); }

ProgramResult GpgHome::Gpg(std::vector<std::string> args, const std::string& input) {
  std::vector<std::string> argv = {"gpg", "--homedir", m_home, "--batch", "--yes",
                                   "--pinentry-mode", "loopback", "--passphrase", m_passphrase};
  argv.insert(argv.end(), args.begin(), args.end());
  ProgramResult r = RunProgram(argv, input);
  EXPECT_EQ(r.status, 0) << "gpg " << args[0] << ": " << r.err;
  return r;
}

std::string GpgHome::MakeKey(const std::string& uid, const std::string& usage,
                             const std::string& expire, const std::string& fakedTime,
                             const std::string& algo) {
  std::vector<std::string> args;
  if (!fakedTime.empty()) args = {"--faked-system-time", fakedTime};
  // An explicit algorithm with the default usage: a primary key for signing and a subkey of the
  // same algorithm for encryption, as GnuPG makes by default.
  const bool addSubkey = !algo.empty() && usage == "default";
  const std::string keyAlgo = !algo.empty() ? algo : usage == "default" ? "future-default" : "ed25519";
  args.insert(args.end(), {"--quick-gen-key", uid, keyAlgo, addSubkey ? "cert,sign" : usage, expire});
  Gpg(args);
  // The newest key of that user id is the one just made.
  ProgramResult list = Gpg({"--with-colons", "--list-keys", "=" + uid});
  std::string fpr;
  std::istringstream lines(list.out);
  std::string line;
  bool inPub = false;
  while (std::getline(lines, line)) {
    if (line.rfind("pub:", 0) == 0) inPub = true;
    else if (inPub && line.rfind("fpr:", 0) == 0) {
      fpr = line.substr(12, 40);
      inPub = false;
    }
  }
  if (addSubkey) Gpg({"--quick-add-key", fpr, algo, "encr", expire});
  return fpr;
}

void GpgHome::Revoke(const std::string& fpr) {
  // GnuPG leaves a revocation certificate for every key it makes, guarded by a leading colon.
  std::string cert = ReadFile(m_home + "/openpgp-revocs.d/" + fpr + ".rev");
  const std::string guarded = ":-----BEGIN";
  const std::size_t at = cert.find(guarded);
  if (at != std::string::npos) cert.erase(at, 1);
  Gpg({"--import"}, cert);
}

void GpgHome::Disable(const std::string& fpr) {
  Gpg({"--edit-key", fpr, "disable", "save"});
}

std::vector<std::string> GpgHome::ListedFingerprints() {
  ProgramResult list = Gpg({"--with-colons", "--list-keys"});
  std::vector<std::string> fprs;
  std::istringstream lines(list.out);
  std::string line;
  bool inPub = false;
  while (std::getline(lines, line)) {
    if (line.rfind("pub:", 0) == 0) inPub = true;
    else if (inPub && line.rfind("fpr:", 0) == 0) {
      fprs.push_back(line.substr(12, 40));
      inPub = false;
    }
  }
  return fprs;
}

std::string GpgHome::ExportSecretArmored(const std::string& fpr) {
  return Gpg({"--armor", "--export-secret-keys", fpr}).out;
}

void GpgHome::PresetPassphrase() {
  ProgramResult list = Gpg({"--with-colons", "--with-keygrip", "--list-secret-keys"});
  std::istringstream lines(list.out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("grp:", 0) != 0) continue;
    const std::string grip = line.substr(12, 40);
    RunProgram({"gpg-connect-agent", "--homedir", m_home, "PRESET_PASSPHRASE " + grip + " -1 " +
                                                             HexOf(m_passphrase), "/bye"});
  }
}

GpgmeContext GpgHome::MakeContext() {
  gpgme_check_version(nullptr);
  gpgme_ctx_t ctx = nullptr;
  EXPECT_EQ(gpgme_new(&ctx), 0);
  EXPECT_EQ(gpgme_ctx_set_engine_info(ctx, GPGME_PROTOCOL_OpenPGP, nullptr, m_home.c_str()), 0);
  return GpgmeContext(ctx);
}

std::function<void(int position)> g_onHostProgress;

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
  explicit HostWindow(const std::function<void(HWND)>& body) : CDialogBase(HostTemplate()), m_body(body) {}

  BEGIN_MSG_MAP(HostWindow)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInit)
    COMMAND_ID_HANDLER(kRunBody, OnRun)
    MESSAGE_HANDLER(PBM_SETPOS, OnProgress)
  END_MSG_MAP()

  LRESULT OnInit(UINT, WPARAM, LPARAM, BOOL&) {
    g_hLog = GetDlgItem(IDC_LOG);
    HWND list = GetDlgItem(IDC_KEY_LIST);
    InsertKeyListColumns(list);
    SendMessage(GetDlgItem(IDC_PROGRESS), PBM_SETRANGE, 0, MAKELPARAM(0, 1000));
    PostMessage(m_hWnd, WM_COMMAND, MAKEWPARAM(kRunBody, 0), 0);
    return 1;
  }
  LRESULT OnProgress(UINT, WPARAM wParam, LPARAM, BOOL&) {
    if (g_onHostProgress) g_onHostProgress(static_cast<int>(wParam));
    return 0;
  }
  LRESULT OnRun(WORD, WORD, HWND, BOOL&) {
    m_body(m_hWnd);
    g_hLog = nullptr;
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

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
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
