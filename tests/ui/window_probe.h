// Runs the real operations window modally and lets a test act inside its message loop: each
// step runs from a posted message, so whatever the window posted before (the job's start
// command) has run when the next step begins.
#pragma once

#include <QWidget>
#include <deque>
#include <functional>
#include <vector>

#include "zembra/ui/dlg_progress.h"

class WindowProbe : public CDlgProgress {
 public:
  using CDlgProgress::CDlgProgress;
  using Step = std::function<void(WindowProbe&)>;

  // Adds a step; the last step closes the window (or the window stays open for the user).
  WindowProbe& then(Step step) {
    m_steps.push_back(std::move(step));
    return *this;
  }

  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                            LRESULT& result, DWORD msgMapId = 0) override {
    if (message == kRunStep) {
      result = 0;
      if (!m_steps.empty()) {
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        step(*this);
        if (!m_steps.empty()) PostMessage(window, kRunStep, 0, 0);
      }
      return TRUE;
    }
    if (message == WM_USE_DEFAULT_KEYS_CHANGED && m_hNotify == window) {
      notifications.push_back(static_cast<int>(wParam));
      result = 0;
      return TRUE;
    }
    const BOOL handled =
        CDlgProgress::ProcessWindowMessage(window, message, wParam, lParam, result, msgMapId);
    if (message == WM_INITDIALOG) PostMessage(window, kRunStep, 0, 0);
    return handled;
  }

  // Makes the window its own creator, so that it records what it tells the creator.
  void notifySelf() { m_hNotify = m_hWnd; }
  std::vector<int> notifications;

  // The window's parts as a test sees them.
  FileList& files() { return m_job.files(); }
  HWND keyList() const { return m_hKeyList; }
  bool hasListedKeys() const { return m_pKeys != nullptr; }
  bool hasContext() const { return m_ctx != nullptr; }
  HWND item(int id) const { return ::GetDlgItem(m_hWnd, id); }
  static QWidget* Widget(HWND window) { return reinterpret_cast<QWidget*>(window); }

 private:
  static constexpr UINT kRunStep = WM_USER + 0x300;
  std::deque<Step> m_steps;
};
