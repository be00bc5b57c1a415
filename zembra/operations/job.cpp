// The job of the operations window: its command and file list, how it starts when the window
// opens, automatic processing by name ending, and the per-file loops.
#include <iterator>

#include "platform/core/text.h"
#include "zembra/operations/log.h"
#include "zembra/ui/dlg_progress.h"

namespace {

// Indexed by e_command from cmdNone to cmdVerify.
constexpr int kStartCommand[] = {0, ID_AUTO_PROCESS_FILES, ID_MENU_ENCRYPT,
                                 ID_DECRYPT_FILES, ID_MENU_SIGN, ID_MENU_VERIFY};
constexpr const char* kButtonName[] = {"", "Encrypt", "Encrypt", "Decrypt", "Sign", "Verify"};
static_assert(std::size(kStartCommand) == cmdVerify + 1);
static_assert(std::size(kButtonName) == cmdVerify + 1);

bool IsStartable(e_command command) { return command >= cmdAuto && command <= cmdVerify; }

}  // namespace

CDlgProgress::CDlgProgress(int argc, char** argv) : CDialogBase(ProgressDialogTemplate()) {
  // A line without argument 1 carries no job.
  if (argv == nullptr || argc < 2 || argv[1] == nullptr) return;
  m_command = static_cast<e_command>(ParseLeadingInt(argv[1]));
  for (int i = 2; i < argc; ++i) m_files.emplace_back(argv[i]);
}

CDlgProgress::CDlgProgress(const FileList* files, e_command command)
    : CDialogBase(ProgressDialogTemplate()), m_command(command) {
  if (files != nullptr) m_files = *files;
}

// The context is released when the window closes, not here; a window that never opened has
// none.
CDlgProgress::~CDlgProgress() { m_pKeys.reset(); }

INT_PTR CDlgProgress::Exec(HWND parent, LPARAM initParam) { return DoModal(parent, initParam); }

void CDlgProgress::SetUseDefaultKeys(bool use) {
  m_useDefaultKeys = use;
  if (m_hKeyList != nullptr) {
    CheckDlgButton(m_hWnd, IDC_USE_DEFAULT_KEYS, use ? BST_CHECKED : BST_UNCHECKED);
  }
}

void CDlgProgress::SetExportMode(bool secret, bool binary) {
  m_exportSecret = secret;
  m_exportBinary = binary;
}

// Runs once, at the end of the window's initialisation. Start commands are posted so that they
// run from the message loop after initialisation has returned.
void CDlgProgress::StartJob() {
  if (IsStartable(m_command) && !m_files.empty()) {
    if (GetSelectedKeys().count() == 0) {
      Log("Please choose key(s) and press `%ls` button to proceed %d files (%ls%ls)\n",
          kButtonName[m_command], static_cast<int>(m_files.size()), m_files.front(),
          m_files.size() == 1 ? "" : " and others");
    }
    PostMessage(m_hWnd, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(kStartCommand[m_command]), 0), 0);
  } else if (m_files.empty() && (m_command == cmdEncrypt || m_command == cmdSign)) {
    if (m_useDefaultKeys && !m_defaultKeys.empty()) {
      const int command = m_command == cmdEncrypt ? ID_ENCRYPT_CLIPBOARD : ID_MENU_SIGN_CLIPBOARD;
      PostMessage(m_hWnd, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(command), 0), 0);
    } else {
      SetDefaultButton(m_hWnd, IDC_ENCRYPT_CLIPBOARD);
    }
  }
}

LRESULT CDlgProgress::OnAutoProcessFiles(WORD, WORD, HWND, BOOL&) {
  AutoProcessFiles();
  return 0;
}

// Verifies, decrypts or imports each entry by its ending and removes it, whatever the result;
// the entries left are the ones waiting for Encrypt.
void CDlgProgress::AutoProcessFiles() {
  if (m_files.empty() || m_command != cmdAuto) return;
  std::size_t i = 0;
  while (i < m_files.size()) {
    const std::string name = m_files[i];  // a copy: the operations may outlive the entry
    const std::size_t n = name.size();
    const auto ending = [&](std::size_t length) { return std::string_view(name).substr(n - length); };
    if (n > 11 && EqualsNoCase(ending(11), ".signed.gpg")) {
      Verify(name);
    } else if (n > 4 && (EqualsNoCase(ending(4), ".gpg") || EqualsNoCase(ending(4), ".pgp"))) {
      Decrypt(name);
    } else if (n > 4 && EqualsNoCase(ending(4), ".asc")) {
      Import(name);
    } else {
      ++i;
      continue;
    }
    m_files.erase(m_files.begin() + static_cast<std::ptrdiff_t>(i));
  }
  m_command = cmdNone;
}

void CDlgProgress::EncryptFiles(FileList& files) {
  if (files.empty()) return;
  CKeyArray keys = GetSelectedKeys();
  if (keys.count() == 0) return;  // the list waits for a press with keys
  const std::size_t count = files.size();
  for (std::size_t i = 0; i < count; ++i) Encrypt(files[i], keys.keys());
  files.clear();
}

void CDlgProgress::DecryptFiles(FileList& files) {
  const std::size_t count = files.size();
  for (std::size_t i = 0; i < count; ++i) Decrypt(files[i]);
  files.clear();
}

void CDlgProgress::SignFiles(FileList& files) {
  if (files.empty()) return;
  if (!PrepareSigners()) return;  // the list waits for a press with signers
  const std::size_t count = files.size();
  for (std::size_t i = 0; i < count; ++i) Sign(files[i]);
  files.clear();
  if (m_ctx) gpgme_signers_clear(m_ctx.get());
}

void CDlgProgress::VerifyFiles(FileList& files) {
  const std::size_t count = files.size();
  for (std::size_t i = 0; i < count; ++i) Verify(files[i]);
  files.clear();
}
