// A host program's own window: it opens the operations window over itself through the window's
// export for hosts, and records what the operations window tells its creator.
#pragma once

#include <functional>
#include <vector>

#include "platform/gui/dialog.h"
#include "zembra/ui/dlg_progress.h"

class HostWindow : public CDialogBase {
 public:
  // open runs from the host's message loop with the host's handle; the host closes when it returns.
  explicit HostWindow(std::function<void(HWND host)> open)
      : CDialogBase(Template()), m_open(std::move(open)) {}

  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM, LRESULT& result,
                            DWORD = 0) override {
    result = 0;
    if (message == WM_INITDIALOG) {
      PostMessage(window, kOpen, 0, 0);
      return TRUE;
    }
    if (message == kOpen) {
      m_open(window);
      EndDialog(IDOK);
      return TRUE;
    }
    if (message == WM_USE_DEFAULT_KEYS_CHANGED) {
      useDefaultKeysChanges.push_back(static_cast<int>(wParam));
      return TRUE;
    }
    return FALSE;
  }

  // The wParam of every "use default keys changed" message the host received, in order.
  std::vector<int> useDefaultKeysChanges;

 private:
  static constexpr UINT kOpen = WM_USER + 0x301;
  static const DialogTemplate& Template() {
    static const DialogTemplate host{
        .id = 0, .caption = "Host", .cx = 80, .cy = 40, .controls = {}};
    return host;
  }
  std::function<void(HWND)> m_open;
};
