// What the window tests do to the real window and read back from it, as a user would.
#pragma once

#include <QAbstractItemView>
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "tests/ui/window_probe.h"

// Text with CRLF line ends as LF, as the log box shows and gives back multi-line text.
inline std::string WithLf(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

inline std::string LogText(WindowProbe& w) { return WithLf(GetWindowTextString(w.item(IDC_LOG))); }

inline int SelectedCount(WindowProbe& w) {
  return static_cast<int>(SendMessage(w.keyList(), LVM_GETSELECTEDCOUNT, 0, 0));
}

inline int RowCount(WindowProbe& w) {
  return static_cast<int>(SendMessage(w.keyList(), LVM_GETITEMCOUNT, 0, 0));
}

inline bool Enabled(WindowProbe& w, int id) { return IsWindowEnabled(w.item(id)) != FALSE; }

inline QWidget* Viewport(WindowProbe& w) {
  return static_cast<QAbstractItemView*>(WindowProbe::Widget(w.keyList()))->viewport();
}

// The centre of a row, in the coordinates where the list takes mouse clicks.
inline QPoint RowCentre(WindowProbe& w, int row) {
  RECT r;
  SendMessage(w.keyList(), LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
  return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

inline void ClickRow(WindowProbe& w, int row, Qt::MouseButton button = Qt::LeftButton) {
  QTest::mouseClick(Viewport(w), button, {}, RowCentre(w, row));
}

inline void ClickButton(WindowProbe& w, int id) {
  QWidget* button = WindowProbe::Widget(w.item(id));
  QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

inline void PressEscape(WindowProbe& w) {
  QTest::keyClick(WindowProbe::Widget(w.m_hWnd), Qt::Key_Escape);
}

// Adds rows to the selection as a control-click does.
inline void CtrlClickRow(WindowProbe& w, int row) {
  QTest::mouseClick(Viewport(w), Qt::LeftButton, Qt::ControlModifier, RowCentre(w, row));
}

// The text of one cell of the key list.
inline std::string CellText(WindowProbe& w, int row, int column) {
  char buffer[512] = {};
  LVITEM item;
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = sizeof buffer;
  SendMessage(w.keyList(), LVM_GETITEMTEXT, static_cast<WPARAM>(row),
              reinterpret_cast<LPARAM>(&item));
  return buffer;
}

// The key IDs of the rows, top to bottom.
inline std::vector<std::string> RowKeyIds(WindowProbe& w) {
  std::vector<std::string> ids;
  for (int row = 0; row < RowCount(w); ++row) ids.push_back(CellText(w, row, 0));
  return ids;
}

// Runs `act` with the next modal dialog that opens over the window (from the dialog's own
// message loop, once it runs). Gives up after a few hundred turns of the event loop.
inline void WhenDialogOpens(WindowProbe& w, std::function<void(HWND dialog)> act, int turns = 500) {
  QTimer::singleShot(0, [&w, act = std::move(act), turns]() mutable {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == WindowProbe::Widget(w.m_hWnd)) {
      if (turns > 0) WhenDialogOpens(w, std::move(act), turns - 1);
      return;
    }
    act(reinterpret_cast<HWND>(modal));
  });
}

inline void ClickControl(HWND dialog, int id) {
  QWidget* control = WindowProbe::Widget(GetDlgItem(dialog, id));
  QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
}
