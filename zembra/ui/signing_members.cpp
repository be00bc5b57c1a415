// The window's signing and verification members: thin, forwarding to the operations with the
// window's context and progress bar.
#include "zembra/operations/signers.h"
#include "zembra/ui/dlg_progress.h"

bool CDlgProgress::PrepareSigners() {
  CKeyArray keys = GetSelectedKeys();
  return AddSigners(m_ctx.get(), keys.keys());
}
