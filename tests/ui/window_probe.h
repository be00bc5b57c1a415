// Opens the real operations window as the launcher opens it and lets a test act inside its
// message loop: each step runs from a queued call, so whatever the window posted during its
// initialisation (the job's start command) has run when the first step begins. The window is
// held, not derived from: a step sees only what a user or a host program sees.
#pragma once

#include <QCoreApplication>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "zembra/ui/dlg_progress.h"

class WindowProbe {
  CDlgProgress m_window;  // first, so that the handle below refers to a constructed window

 public:
  using Step = std::function<void(WindowProbe&)>;

  WindowProbe(const FileList* files, e_command command) : m_window(files, command) {}
  ~WindowProbe() { *m_alive = false; }
  WindowProbe(const WindowProbe&) = delete;
  WindowProbe& operator=(const WindowProbe&) = delete;

  // Adds a step; the last step closes the window (or the window stays open for the user).
  WindowProbe& then(Step step) {
    m_steps.push_back(std::move(step));
    return *this;
  }

  // Runs the window modally over the active window, as the launcher does; returns its end code.
  INT_PTR DoModal() {
    ScheduleSteps();
    return m_window.DoModal(GetActiveWindow(), 0);
  }
  // Runs the window through its export for host programs, over host and reporting to it.
  INT_PTR Exec(HWND host) {
    ScheduleSteps();
    return m_window.Exec(host, reinterpret_cast<LPARAM>(host));
  }

  CDlgProgress& window() { return m_window; }
  void SetUseDefaultKeys(bool use) { m_window.SetUseDefaultKeys(use); }
  bool IsExportSecret() const { return m_window.IsExportSecret(); }
  bool IsExportBinary() const { return m_window.IsExportBinary(); }

  // The window's parts as a test sees them.
  const FileList& files() const { return m_window.job().files(); }
  HWND keyList() const { return item(IDC_KEY_LIST); }
  bool hasListedKeys() const { return m_window.HoldsKeys(); }
  bool hasContext() const { return m_window.HoldsContext(); }
  HWND item(int id) const { return ::GetDlgItem(m_window.m_hWnd, id); }
  static QWidget* Widget(HWND window) { return reinterpret_cast<QWidget*>(window); }

  // The window's handle while it is open (null before and after).
  HWND& m_hWnd = m_window.m_hWnd;

 private:
  // Waits for the window to exist, then lets the calls it queued while starting run first.
  void ScheduleSteps() {
    GetSystemMetrics(SM_CXVSCROLL);  // makes the application, so that calls can be queued
    m_started = false;
    Queue([this] { Advance(); });
  }

  void Advance() {
    if (m_window.m_hWnd == nullptr) {
      if (++m_waits < kMaxWaits) Queue([this] { Advance(); });
      return;
    }
    if (!m_started) {
      m_started = true;
      Queue([this] { Advance(); });
      return;
    }
    if (m_steps.empty()) return;
    // A step acts on a window that is idle: an operation serves the event loop while it runs,
    // and the next step waits for its end as the user would.
    if (IsDialogBusy(m_window.m_hWnd)) {
      QTimer::singleShot(5, QCoreApplication::instance(),
                         [alive = std::weak_ptr<bool>(m_alive), this] {
                           if (const auto flag = alive.lock(); flag && *flag) Advance();
                         });
      return;
    }
    Step step = std::move(m_steps.front());
    m_steps.pop_front();
    step(*this);
    if (!m_steps.empty() && m_window.m_hWnd != nullptr) Queue([this] { Advance(); });
  }

  void Queue(std::function<void()> call) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [alive = std::weak_ptr<bool>(m_alive), call = std::move(call)] {
          if (const auto flag = alive.lock(); flag && *flag) call();
        },
        Qt::QueuedConnection);
  }

  static constexpr int kMaxWaits = 10000;
  std::deque<Step> m_steps;
  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
  bool m_started = false;
  int m_waits = 0;
};
