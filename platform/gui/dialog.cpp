// CDialogBase: a modal run of a template-built dialog whose messages go to the message map.
#include "platform/gui/dialog.h"

#include <QWidget>

#include "platform/gui/qt_window.h"

using namespace gui_detail;

RECT MapDialogRect(const DialogTemplate& dialogTemplate, const RECT& units) {
  if (!EnsureApplication()) return RECT{};
  int baseX = 1;
  int baseY = 1;
  DialogBaseUnits(TemplateFont(dialogTemplate), &baseX, &baseY);
  RECT pixels;
  pixels.left = MulDiv(units.left, baseX, 4);
  pixels.right = MulDiv(units.right, baseX, 4);
  pixels.top = MulDiv(units.top, baseY, 8);
  pixels.bottom = MulDiv(units.bottom, baseY, 8);
  return pixels;
}

CDialogBase::CDialogBase(const DialogTemplate& dialogTemplate) : m_template(dialogTemplate) {}

CDialogBase::~CDialogBase() { delete WidgetOf(m_hWnd); }

INT_PTR CDialogBase::DoModal(HWND parent, LPARAM initParam) {
  // As a dialog the dialog manager cannot create: -1, and the caller goes on.
  if (!EnsureApplication()) return -1;
  QWidget* owner = WidgetOf(parent);
  auto* dialog = new DialogWindow(m_template, owner != nullptr ? owner->window() : nullptr, false);
  dialog->setHandler([this](HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                            LRESULT& result) {
    const WORD id = LOWORD(wParam);
    if (message == WM_COMMAND && m_commandsRunAlone && id != IDCANCEL && id != m_cancelCommand) {
      const CBusyScope busy(window);
      OnCommandRunning(true);
      const BOOL handled = ProcessWindowMessage(window, message, wParam, lParam, result, 0);
      if (IsWindow(window)) OnCommandRunning(false);
      return handled;
    }
    return ProcessWindowMessage(window, message, wParam, lParam, result, 0);
  });
  m_hWnd = HwndOf(dialog);
  dialog->setCancelCommand(m_cancelCommand);
  // The dialog and its controls exist; the map sets them up before anything is shown.
  dialog->dispatch(WM_INITDIALOG, 0, initParam);
  const INT_PTR result = dialog->runModal();
  m_hWnd = nullptr;
  delete dialog;
  return result;
}

BOOL CDialogBase::EndDialog(INT_PTR result) { return ::EndDialog(m_hWnd, result); }

CBusyScope::CBusyScope(HWND dialog) : m_dialog(dialog) {
  if (auto* window = qobject_cast<DialogWindow*>(WidgetOf(dialog))) window->enterBusy();
}

CBusyScope::~CBusyScope() {
  if (auto* window = qobject_cast<DialogWindow*>(WidgetOf(m_dialog))) window->leaveBusy();
}

bool IsDialogBusy(HWND dialog) {
  const auto* window = qobject_cast<DialogWindow*>(WidgetOf(dialog));
  return window != nullptr && window->busy();
}
