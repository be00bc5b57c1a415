// The window's clipboard commands and the clipboard entry point for host programs. A copied file
// list is preferred to text; the window's own file list is never used here.
#include "platform/core/log.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/display.h"
#include "zembra/engine/check_result.h"
#include "zembra/operations/clipboard_operations.h"
#include "zembra/operations/messages.h"
#include "zembra/ui/dlg_progress.h"

namespace {

enum class Contents { Files, Text, Unanswered };

// An owner that did not answer is said once, and not asked again for its text.
Contents ClipboardContents() {
  switch (QueryClipboardFormat(CF_HDROP)) {
    case ClipboardAnswer::Offered: return Contents::Files;
    case ClipboardAnswer::NotOffered: return Contents::Text;
    case ClipboardAnswer::OwnerSilent: break;
  }
  LogRes(IDS_CLIPBOARD_OWNER_SILENT);
  return Contents::Unanswered;
}

}  // namespace

void CDlgProgress::DecryptClipboard() {
  const Contents contents = ClipboardContents();
  if (contents == Contents::Unanswered) return;
  if (contents == Contents::Files) {
    FileList files;
    ReadClipboardFiles(m_hWnd, files);
    DecryptFiles(files);
    return;
  }
  TransformClipboardText(m_hWnd, m_ctx.get(), DecryptTextStep, nullptr);
}

void CDlgProgress::EncryptClipboard() {
  CKeyArray keys = GetSelectedKeys();
  if (keys.count() == 0) return;
  const Contents contents = ClipboardContents();
  if (contents == Contents::Unanswered) return;
  if (contents == Contents::Files) {
    FileList files;
    ReadClipboardFiles(m_hWnd, files);
    for (const std::string& path : files) Encrypt(path, keys.keys());
    return;
  }
  TransformClipboardText(m_hWnd, m_ctx.get(), EncryptTextStep, keys.keys());
}

void CDlgProgress::SignClipboard() {
  const Contents contents = ClipboardContents();
  if (contents == Contents::Unanswered) return;
  if (contents == Contents::Files) {
    FileList files;
    ReadClipboardFiles(m_hWnd, files);
    SignFiles(files);
    return;
  }
  if (!PrepareSigners()) return;
  TransformClipboardText(m_hWnd, m_ctx.get(), SignTextStep, nullptr);
  gpgme_signers_clear(m_ctx.get());
}

void CDlgProgress::VerifyClipboard() {
  const Contents contents = ClipboardContents();
  if (contents == Contents::Unanswered) return;
  if (contents == Contents::Files) {
    FileList files;
    ReadClipboardFiles(m_hWnd, files);
    VerifyFiles(files);
    return;
  }
  TransformClipboardText(m_hWnd, m_ctx.get(), VerifyTextStep, nullptr);
}

void ClipboardOperation(HWND window, CDlgProgress*& dialog, e_command command) {
  // No display, no clipboard: the host's call returns without starting the engine.
  if (!OpenDisplay()) return;
  const Contents contents = ClipboardContents();
  if (contents == Contents::Unanswered) return;
  if (contents == Contents::Files) {
    FileList files;
    ReadClipboardFiles(window, files);
    auto owned = std::make_unique<CDlgProgress>(&files, command);
    dialog = owned.get();
    // The caller's window is the parent and hears of every change of "&Use Default Keys".
    owned->Exec(window, reinterpret_cast<LPARAM>(window));
    dialog = nullptr;
    return;
  }
  if (!CheckResult(InitEngine(GPGME_PROTOCOL_OpenPGP))) return;
  gpgme_ctx_t raw = nullptr;
  if (!CheckResult(gpgme_new(&raw))) return;
  GpgmeContext ctx(raw);
  SetupContext(&raw);
  const std::unique_ptr<CKeyHandleArray> keys = ListUsableKeys(ctx.get());
  TransformClipboardText(window, ctx.get(), command == cmdVerify ? VerifyTextStep : DecryptTextStep,
                         nullptr);
}
