// The window's clipboard commands and the clipboard entry point for host programs. A copied file
// list is preferred to text; the window's own file list is never used here.
#include "platform/core/log.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/display.h"
#include "zembra/engine/message_ids.h"
#include "zembra/operations/clipboard_operations.h"
#include "zembra/ui/dlg_progress.h"

namespace {

// A result that the system kept off the clipboard is no success, whatever the step wrote.
void ReportRefusedClipboard() {
  if (TakeClipboardRefusal()) LogRes(IDS_CLIPBOARD_REFUSED);
}

}  // namespace

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

void CDlgProgress::DecryptClipboard() {
  const ClipboardContents contents = QueryClipboardContents();
  if (contents == ClipboardContents::Unanswered) return;
  if (contents == ClipboardContents::Files) {
    FileList files;
    ReadClipboardFiles(m_hWnd, files);
    DecryptFiles(files);
    return;
  }
  TransformClipboardText(m_hWnd, m_ctx.get(), DecryptTextStep, nullptr);
  ReportRefusedClipboard();
}

void CDlgProgress::EncryptClipboard() {
  CKeyArray keys = GetSelectedKeys();
  if (keys.count() == 0) return;
  const ClipboardContents contents = QueryClipboardContents();
  if (contents == ClipboardContents::Unanswered) return;
  if (contents == ClipboardContents::Files) {
    FileList files;
    ReadClipboardFiles(m_hWnd, files);
    for (const std::string& path : files) Encrypt(path, keys.keys());
    return;
  }
  TransformClipboardText(m_hWnd, m_ctx.get(), EncryptTextStep, keys.keys());
  ReportRefusedClipboard();
}

void CDlgProgress::SignClipboard() {
  const ClipboardContents contents = QueryClipboardContents();
  if (contents == ClipboardContents::Unanswered) return;
  if (contents == ClipboardContents::Files) {
    FileList files;
    ReadClipboardFiles(m_hWnd, files);
    SignFiles(files);
    return;
  }
  if (!PrepareSigners()) return;
  TransformClipboardText(m_hWnd, m_ctx.get(), SignTextStep, nullptr);
  ReportRefusedClipboard();
  gpgme_signers_clear(m_ctx.get());
}

void CDlgProgress::VerifyClipboard() {
  const ClipboardContents contents = QueryClipboardContents();
  if (contents == ClipboardContents::Unanswered) return;
  if (contents == ClipboardContents::Files) {
    FileList files;
    ReadClipboardFiles(m_hWnd, files);
    VerifyFiles(files);
    return;
  }
  TransformClipboardText(m_hWnd, m_ctx.get(), VerifyTextStep, nullptr);
  ReportRefusedClipboard();
}

void ClipboardOperation(HWND window, CDlgProgress*& dialog, e_command command) {
  // No display, no clipboard: the host's call returns without starting the engine.
  if (!OpenDisplay()) return;
  const ClipboardContents contents = QueryClipboardContents();
  if (contents == ClipboardContents::Unanswered) return;
  if (contents == ClipboardContents::Text) {
    TransformClipboardTextOnOwnContext(window, command == cmdVerify);
    ReportRefusedClipboard();
    return;
  }
  FileList files;
  ReadClipboardFiles(window, files);
  auto owned = std::make_unique<CDlgProgress>(&files, command);
  dialog = owned.get();
  // The caller's window is the parent and hears of every change of "&Use Default Keys".
  owned->Exec(window, reinterpret_cast<LPARAM>(window));
  dialog = nullptr;
}
