// The window's signing and verification members: thin, forwarding to the operations with the
// window's context and progress bar.
#include "zembra/operations/file_signing.h"
#include "zembra/operations/signers.h"
#include "zembra/ui/dlg_progress.h"

bool CDlgProgress::PrepareSigners() {
  CKeyArray keys = GetSelectedKeys();
  return AddSigners(m_ctx.get(), keys.keys());
}

void CDlgProgress::Sign(const std::string& path) { SignFile(m_ctx.get(), path, ProgressBar()); }

void CDlgProgress::Verify(const std::string& path) { VerifyFile(m_ctx.get(), path, ProgressBar()); }
