// The window's side of its job: construction, the start when the window opens, automatic
// processing, and the per-file loops of the buttons.
#include "platform/core/log.h"
#include "zembra/ui/dlg_progress.h"

CDlgProgress::CDlgProgress(int argc, char** argv)
    : CDialogBase(ProgressDialogTemplate()), m_job(argc, argv) {}

CDlgProgress::CDlgProgress(const FileList* files, e_command command)
    : CDialogBase(ProgressDialogTemplate()), m_job(files, command) {}

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
  const JobStart start =
      m_job.Start(GetSelectedKeys().count() != 0, m_useDefaultKeys && !m_defaultKeys.empty());
  if (start.keysPrompt) m_job.LogKeysPrompt();
  if (start.command != 0)
    PostMessage(m_hWnd, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(start.command), 0), 0);
  if (start.defaultCommand != 0) SetDefaultButton(m_hWnd, start.defaultCommand);
}

LRESULT CDlgProgress::OnAutoProcessFiles(WORD, WORD, HWND, BOOL&) {
  AutoProcessFiles();
  return 0;
}

void CDlgProgress::AutoProcessFiles() {
  m_job.AutoProcess([this](FileAction action, const std::string& path) {
    switch (action) {
      case FileAction::Verify: Verify(path); break;
      case FileAction::Decrypt: Decrypt(path); break;
      case FileAction::Import: Import(path); break;
      case FileAction::Wait: break;
    }
  });
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
