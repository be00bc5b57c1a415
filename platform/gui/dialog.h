// Dialogs from templates kept as data, in dialog units, and a base class whose message map
// receives WM_INITDIALOG, WM_COMMAND and WM_NOTIFY.
#pragma once

#include <vector>

#include "platform/gui/win_api.h"

enum class ControlKind {
  Static,
  GroupBox,
  PushButton,   // BS_DEFPUSHBUTTON in the style makes it the default push button
  CheckBox,     // automatic check box
  RadioButton,  // automatic radio button
  Edit,         // ES_MULTILINE, ES_READONLY, ES_PASSWORD, ES_AUTOVSCROLL, WS_VSCROLL apply
  ComboBox,     // with edit field
  ListView,     // report view
  ProgressBar,
  Link,  // text "<a href=\"...\">...</a>" or plain text with the address in `text`
  MonthCalendar,
};

struct ControlTemplate {
  int id = IDC_STATIC;
  ControlKind kind = ControlKind::Static;
  const char* text = "";
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  DWORD style = 0;
  DWORD exStyle = 0;
};

struct DialogTemplate {
  int id = 0;
  const char* caption = "";
  int cx = 0, cy = 0;  // dialog units
  const char* font = "Microsoft Sans Serif";
  int pointSize = 9;
  DWORD style = 0;
  std::vector<ControlTemplate> controls;  // in tab order
};

// Dialog units to pixels for the template's font, the way Windows computes them.
RECT MapDialogRect(const DialogTemplate& dialogTemplate, const RECT& units);

// A modal dialog bound to a template. Derived classes write their message map with the
// macros below.
class CDialogBase {
 public:
  explicit CDialogBase(const DialogTemplate& dialogTemplate);
  virtual ~CDialogBase();
  CDialogBase(const CDialogBase&) = delete;
  CDialogBase& operator=(const CDialogBase&) = delete;

  virtual BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                    LRESULT& result, DWORD msgMapId = 0) = 0;

  // Runs the dialog modally; lParam arrives with WM_INITDIALOG. Returns the EndDialog code.
  INT_PTR DoModal(HWND parent = nullptr, LPARAM initParam = 0);
  BOOL EndDialog(INT_PTR result);
  HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }

  HWND m_hWnd = nullptr;

 protected:
  // Each command runs alone: while its handler works (an operation serving the window in a
  // nested event loop), the dialog is busy (see CBusyScope). IDCANCEL and m_cancelCommand still
  // arrive then, and run outside the scope.
  bool m_commandsRunAlone = false;
  int m_cancelCommand = IDCANCEL;
  // Called as a command that runs alone starts (true) and ends (false).
  virtual void OnCommandRunning(bool running) {}

 private:
  const DialogTemplate& m_template;
};

// The dialog is busy while an object lives (scopes nest): the user's commands (buttons, keys,
// the close box, menus) and clicks in its lists are dropped, and messages posted to it wait
// until the outermost scope has ended. A dead or null dialog makes it a no-op.
class CBusyScope {
 public:
  explicit CBusyScope(HWND dialog);
  ~CBusyScope();
  CBusyScope(const CBusyScope&) = delete;
  CBusyScope& operator=(const CBusyScope&) = delete;

 private:
  HWND m_dialog;
};

bool IsDialogBusy(HWND dialog);

// Message map macros, after ATL's:
//   MESSAGE_HANDLER(msg, f)          LRESULT f(UINT msg, WPARAM, LPARAM, BOOL& handled)
//   COMMAND_HANDLER(id, code, f)     LRESULT f(WORD code, WORD id, HWND control, BOOL& handled)
//   COMMAND_ID_HANDLER(id, f)        same signature, any notification code
//   NOTIFY_HANDLER(id, code, f)      LRESULT f(int id, NMHDR* header, BOOL& handled)
#define BEGIN_MSG_MAP(theClass)                                                                   \
 public:                                                                                          \
  BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult, \
                            DWORD dwMsgMapID = 0) override {                                      \
    BOOL bHandled = TRUE;                                                                         \
    (void)hWnd;                                                                                   \
    (void)bHandled;                                                                               \
    if (dwMsgMapID != 0) return FALSE;

#define MESSAGE_HANDLER(msg, func)                  \
  if (uMsg == (msg)) {                              \
    bHandled = TRUE;                                \
    lResult = func(uMsg, wParam, lParam, bHandled); \
    if (bHandled) return TRUE;                      \
  }

#define COMMAND_HANDLER(id, code, func)                                                       \
  if (uMsg == WM_COMMAND && LOWORD(wParam) == static_cast<WORD>(id) &&                        \
      HIWORD(wParam) == static_cast<WORD>(code)) {                                            \
    bHandled = TRUE;                                                                          \
    lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled); \
    if (bHandled) return TRUE;                                                                \
  }

#define COMMAND_ID_HANDLER(id, func)                                                          \
  if (uMsg == WM_COMMAND && LOWORD(wParam) == static_cast<WORD>(id)) {                        \
    bHandled = TRUE;                                                                          \
    lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled); \
    if (bHandled) return TRUE;                                                                \
  }

#define NOTIFY_HANDLER(id, cd, func)                                                      \
  if (uMsg == WM_NOTIFY && static_cast<int>(wParam) == (id) &&                            \
      reinterpret_cast<NMHDR*>(lParam)->code == static_cast<UINT>(cd)) {                  \
    bHandled = TRUE;                                                                      \
    lResult = func(static_cast<int>(wParam), reinterpret_cast<NMHDR*>(lParam), bHandled); \
    if (bHandled) return TRUE;                                                            \
  }

#define END_MSG_MAP() \
  return FALSE;       \
  }
