// Shared by the dialog-layer tests: a dialog that records what its message map receives and
// runs a test's script once it is on screen (posted from WM_INITDIALOG, so the modal loop runs
// it; nothing waits on time).
#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "platform/gui/dialog.h"
#include "platform/gui/qt_window.h"

namespace gui_test {

constexpr UINT WM_RUN_SCRIPT = WM_USER + 100;

inline QWidget* Widget(HWND window) { return reinterpret_cast<QWidget*>(window); }

// Makes the QApplication the way DoModal would, for tests that need Qt before any dialog.
inline void EnsureQt() { static_cast<void>(gui_detail::EnsureApplication()); }

class RecordingDialog : public CDialogBase {
 public:
  explicit RecordingDialog(const DialogTemplate& dialogTemplate) : CDialogBase(dialogTemplate) {}

  std::vector<std::string> log;
  std::function<void(RecordingDialog&)> script;  // runs once the dialog is shown
  std::function<void(RecordingDialog&)> onInit;  // runs inside WM_INITDIALOG
  bool handleCancel = false;                     // else IDCANCEL falls to the default
  LPARAM initParam = -1;
  HWND lastCommandControl = nullptr;
  NMITEMACTIVATE lastClick;
  int itemChanges = 0;
  NMLISTVIEW lastItemChange;

  void record(std::string line) { log.push_back(std::move(line)); }

  BEGIN_MSG_MAP(RecordingDialog)
  MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
  MESSAGE_HANDLER(WM_RUN_SCRIPT, OnRunScript)
  MESSAGE_HANDLER(WM_USER + 51, OnSendProbe)
  MESSAGE_HANDLER(WM_USER + 2, OnPostedTwo)
  MESSAGE_HANDLER(WM_USER + 53, OnPostedThree)
  MESSAGE_HANDLER(WM_USER + 54, OnPostedFinish)
  MESSAGE_HANDLER(WM_COMMAND, OnAnyCommand)
  COMMAND_ID_HANDLER(IDCANCEL, OnCancel)
  MESSAGE_HANDLER(WM_NOTIFY, OnAnyNotify)
  END_MSG_MAP()

 private:
  LRESULT OnInitDialog(UINT, WPARAM, LPARAM lParam, BOOL&) {
    initParam = lParam;
    record("init");
    if (onInit) onInit(*this);
    PostMessage(m_hWnd, WM_RUN_SCRIPT, 0, 0);
    return TRUE;
  }
  LRESULT OnRunScript(UINT, WPARAM, LPARAM, BOOL&) {
    if (script) script(*this);
    return 0;
  }
  // WM_USER + 51: posts two messages, then sends one; the sent one runs inside this handler.
  LRESULT OnSendProbe(UINT, WPARAM, LPARAM, BOOL&) {
    record("probe begin");
    PostMessage(m_hWnd, WM_USER + 2, 0, 0);
    PostMessage(m_hWnd, WM_USER + 53, 0, 0);
    SendMessage(m_hWnd, WM_USER + 53, 1, 0);
    record("probe end");
    return 0;
  }
  LRESULT OnPostedTwo(UINT, WPARAM wParam, LPARAM, BOOL&) {
    record("two " + std::to_string(wParam));
    return 0;
  }
  LRESULT OnPostedThree(UINT, WPARAM wParam, LPARAM, BOOL&) {
    record(wParam == 1 ? "three sent" : "three posted");
    return 0;
  }
  LRESULT OnPostedFinish(UINT, WPARAM wParam, LPARAM, BOOL&) {
    record("finish");
    EndDialog(static_cast<INT_PTR>(wParam));
    return 0;
  }
  // Records every command and lets it go on to the handlers below and the default.
  LRESULT OnAnyCommand(UINT, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    lastCommandControl = reinterpret_cast<HWND>(lParam);
    std::string line =
        "command " + std::to_string(LOWORD(wParam)) + " code " + std::to_string(HIWORD(wParam));
    if (HWND control = reinterpret_cast<HWND>(lParam)) {
      if (GetDlgCtrlID(control) == 1003) {
        line += IsDlgButtonChecked(m_hWnd, 1003) == BST_CHECKED ? " checked" : " unchecked";
      }
    }
    record(line);
    handled = FALSE;
    return 0;
  }
  LRESULT OnCancel(WORD, WORD, HWND, BOOL& handled) {
    if (!handleCancel) {
      handled = FALSE;
      return 0;
    }
    record("cancel handler");
    EndDialog(8);
    return 0;
  }
  LRESULT OnAnyNotify(UINT, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header->code == LVN_ITEMCHANGED) {
      ++itemChanges;
      lastItemChange = *reinterpret_cast<NMLISTVIEW*>(lParam);
      handled = FALSE;
      return 0;
    }
    std::string name = header->code == NM_CLICK    ? "NM_CLICK"
                       : header->code == NM_RCLICK ? "NM_RCLICK"
                       : header->code == NM_RETURN ? "NM_RETURN"
                                                   : std::to_string(static_cast<int>(header->code));
    std::string line = "notify " + std::to_string(wParam) + " " + name;
    if (GetDlgCtrlID(header->hwndFrom) == 2001) {
      line += " " + reinterpret_cast<NMLINK*>(lParam)->szUrl;
    }
    if (GetDlgCtrlID(header->hwndFrom) == 2000 && header->code != NM_RETURN) {
      lastClick = *reinterpret_cast<NMITEMACTIVATE*>(lParam);
      line += " item " + std::to_string(lastClick.iItem);
    }
    record(line);
    return 0;
  }
};

// A dialog with one control of each kind the routing tests click.
const DialogTemplate& RoutingTemplate();

// Fills list 2000 of `dialog` with `rows` rows of one column; row i carries item data i * 7.
void FillList(HWND dialog, int rows);

}  // namespace gui_test
