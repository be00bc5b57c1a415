// The window's clipboard commands and the clipboard entry point for host programs. A copied file
// list is preferred to text; the window's own file list is never used here.
#include "platform/gui/clipboard.h"
#include "platform/gui/display.h"
#include "zembra/operations/clipboard_operations.h"
#include "zembra/ui/dlg_progress.h"

LRESULT CDlgProgress::OnClickedEncryptClipboard(WORD, WORD, HWND, BOOL&) {
  EncryptClipboard();
  return 0;
}

LRESULT CDlgProgress::OnClickedDecryptClipboard(WORD, WORD, HWND, BOOL&) {
  DecryptClipboard();
  return 0;
}

LRESULT CDlgProgress::OnClickedSignClipboard(WORD, WORD, HWND, BOOL&) {
  SignClipboard();
  return 0;
}

LRESULT CDlgProgress::OnClickedVerifyClipboard(WORD, WORD, HWND, BOOL&) {
  VerifyClipboard();
  return 0;
}

namespace {

// The paths of the clipboard's copied file list; the clipboard is closed again before the files
// are worked on.
FileList CopiedFiles(HWND window) {
  Clipboard clipboard(window);
  return ReadClipboardFiles(clipboard);
}

}  // namespace

void CDlgProgress::DecryptClipboard() {
  Clipboard clipboard(m_hWnd);
  const ClipboardContents contents = QueryClipboardContents(clipboard);
  if (contents == ClipboardContents::Unanswered) return;
  if (contents == ClipboardContents::Files) {
    FileList files = CopiedFiles(m_hWnd);
    DecryptFiles(files);
    return;
  }
  TransformClipboardText(clipboard, m_ctx.get(), DecryptTextStep, nullptr, ProgressBar());
}

void CDlgProgress::EncryptClipboard() {
  CKeyArray keys = GetSelectedKeys();
  if (keys.count() == 0) return;
  Clipboard clipboard(m_hWnd);
  const ClipboardContents contents = QueryClipboardContents(clipboard);
  if (contents == ClipboardContents::Unanswered) return;
  if (contents == ClipboardContents::Files) {
    for (const std::string& path : CopiedFiles(m_hWnd)) Encrypt(path, keys.keys());
    return;
  }
  TransformClipboardText(clipboard, m_ctx.get(), EncryptTextStep, keys.keys(), ProgressBar());
}

void CDlgProgress::SignClipboard() {
  Clipboard clipboard(m_hWnd);
  const ClipboardContents contents = QueryClipboardContents(clipboard);
  if (contents == ClipboardContents::Unanswered) return;
  if (contents == ClipboardContents::Files) {
    FileList files = CopiedFiles(m_hWnd);
    SignFiles(files);
    return;
  }
  if (!PrepareSigners()) return;
  TransformClipboardText(clipboard, m_ctx.get(), SignTextStep, nullptr, ProgressBar());
  gpgme_signers_clear(m_ctx.get());
}

void CDlgProgress::VerifyClipboard() {
  Clipboard clipboard(m_hWnd);
  const ClipboardContents contents = QueryClipboardContents(clipboard);
  if (contents == ClipboardContents::Unanswered) return;
  if (contents == ClipboardContents::Files) {
    FileList files = CopiedFiles(m_hWnd);
    VerifyFiles(files);
    return;
  }
  TransformClipboardText(clipboard, m_ctx.get(), VerifyTextStep, nullptr, ProgressBar());
}

void ClipboardOperation(HWND window, CDlgProgress*& dialog, e_command command) {
  // No display, no clipboard: the host's call returns without starting the engine.
  if (!OpenDisplay()) return;
  FileList files;
  {
    Clipboard clipboard(window);
    const ClipboardContents contents = QueryClipboardContents(clipboard);
    if (contents == ClipboardContents::Unanswered) return;
    if (contents == ClipboardContents::Text) {
      TransformClipboardTextOnOwnContext(clipboard, command == cmdVerify);
      return;
    }
    files = ReadClipboardFiles(clipboard);
  }
  auto owned = std::make_unique<CDlgProgress>(&files, command);
  dialog = owned.get();
  // The caller's window is the parent and hears of every change of "&Use Default Keys".
  owned->Exec(window, reinterpret_cast<LPARAM>(window));
  dialog = nullptr;
}
