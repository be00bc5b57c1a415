// The window's single-file operations: each runs its operation on the window's context with
// the progress bar as the sink. The outcome is in the log already.
#include "zembra/operations/file_crypto.h"
#include "zembra/ui/dlg_progress.h"

ProgressSink ProgressBarSink(HWND bar) {
  if (bar == nullptr) return {};
  // Sent, not posted: the bar moves while the engine is still working.
  return [bar](int position) { SendMessage(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0); };
}

ProgressSink CDlgProgress::ProgressBar() const { return ProgressBarSink(m_hProgress); }

void CDlgProgress::Encrypt(const std::string& path, gpgme_key_t* recipients) {
  EncryptFile(m_ctx.get(), path, recipients, ProgressBar());
}

void CDlgProgress::Decrypt(const std::string& path) {
  DecryptFile(m_ctx.get(), path, ProgressBar());
}
