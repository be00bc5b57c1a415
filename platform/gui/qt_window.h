// Private to platform/gui: how HWNDs map onto Qt widgets and how a dialog built from a template
// carries its message handler, default command and controls.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gui/dialog.h"
#include "platform/gui/win_api.h"

namespace gui_detail {

// Creates the process's QApplication on first use; false, and nothing made, when there is no
// display: every caller then fails as its Windows counterpart does, and the process goes on.
[[nodiscard]] bool EnsureApplication();
// Ends the application object now if the program owns the clipboard (see CloseDisplay).
void CloseApplication();

// An HWND is the QWidget*; only windows registered here (and still alive) are valid handles.
void RegisterWindow(QWidget* widget);
void UnregisterWindow(QWidget* widget);
QWidget* WidgetOf(HWND window);
inline HWND HwndOf(const QWidget* widget) {
  return reinterpret_cast<HWND>(const_cast<QWidget*>(widget));
}

// The id a control was created with (IDC_STATIC for none) and the kind it was made as.
constexpr const char* kControlIdProperty = "zembraControlId";
int ControlIdOf(const QWidget* control);

// The message handler a dialog's messages go to: returns TRUE when handled (result filled).
using MessageHandler = std::function<BOOL(HWND, UINT, WPARAM, LPARAM, LRESULT&)>;

class DialogWindow : public QDialog {
  Q_OBJECT
 public:
  // `embedded` makes a child panel (an options panel inside a file dialog) instead of a window.
  DialogWindow(const DialogTemplate& dialogTemplate, QWidget* parent, bool embedded);
  ~DialogWindow() override;

  void setHandler(MessageHandler handler) { m_handler = std::move(handler); }
  // Routes a message to the handler, then applies default dialog handling to what it left.
  LRESULT dispatch(UINT message, WPARAM wParam, LPARAM lParam);
  QWidget* control(int id) const;
  // Font metrics in dialog base units.
  int baseX() const { return m_baseX; }
  int baseY() const { return m_baseY; }

  // A notification from one of the controls (WM_COMMAND or WM_NOTIFY).
  void command(int id, WORD code, QWidget* control);
  LRESULT notify(NMHDR* header);

  // Ends a modal run (or marks it ended when the run has not started yet).
  void endDialog(INT_PTR result);
  bool ended() const { return m_ended; }
  INT_PTR endResult() const { return m_endResult; }
  // Runs modally unless already ended; returns the EndDialog code.
  INT_PTR runModal();

  int defaultId() const { return m_defaultId; }
  void setDefaultId(int id);

  // A busy dialog is running one piece of work (an operation, a loop over files) in a nested
  // event loop: the user's commands and list clicks are dropped, and messages posted to it are
  // held and posted again, in their order, when the outermost busy scope has ended.
  // The cancel commands (IDCANCEL and cancelId) still reach a busy dialog; the close box then
  // also closes it once the work has ended.
  void setCancelCommand(int cancelId) { m_cancelId = cancelId; }
  void enterBusy() { ++m_busy; }
  void leaveBusy();
  bool busy() const { return m_busy > 0; }
  // True when the dialog is busy and keeps the message for later.
  bool holdPosted(UINT message, WPARAM wParam, LPARAM lParam);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  void reject() override;

 private:
  void build(const DialogTemplate& dialogTemplate);
  QWidget* createControl(const ControlTemplate& control, QWidget* parent);

  MessageHandler m_handler;
  std::unordered_map<int, QPointer<QWidget>> m_controls;  // by id, as the template made them
  int m_baseX = 1;
  int m_baseY = 1;
  int m_defaultId = 0;
  bool m_ended = false;
  bool m_running = false;
  bool m_painted = false;
  INT_PTR m_endResult = 0;
  int m_busy = 0;
  int m_cancelId = IDCANCEL;
  struct PostedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  std::vector<PostedMessage> m_held;
};

// The dialog a control belongs to (its nearest DialogWindow ancestor), or the widget itself.
DialogWindow* DialogOf(QWidget* widget);

// Messages to a control; `handled` false when the control does not know the message.
LRESULT ControlMessage(QWidget* control, UINT message, WPARAM wParam, LPARAM lParam);

// Narrows a one-line control's font until its text fits the control's width.
void FitTextToWidth(QWidget* widget);

// Text of a widget as the API sees it: UTF-8, line ends LF.
std::string WidgetText(QWidget* widget);
void SetWidgetText(QWidget* widget, const std::string& text);

// Windows' MulDiv: a * b / c rounded half away from zero (dialog units to pixels).
int MulDiv(int a, int b, int c);

// The dialog font of a template: the family, or the desktop's sans-serif for the Windows default,
// sized in pixels as the point size gives at 96 dpi.
QFont TemplateFont(const DialogTemplate& dialogTemplate);
void DialogBaseUnits(const QFont& font, int* baseX, int* baseY);

}  // namespace gui_detail
