#include "platform/gui/wait_cursor.h"

#include <QApplication>
#include <QCursor>

#include "platform/gui/qt_window.h"

CWaitCursor::CWaitCursor() : m_shown(gui_detail::EnsureApplication()) {
  if (m_shown) QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

CWaitCursor::~CWaitCursor() {
  if (m_shown) QApplication::restoreOverrideCursor();
}

bool IsWaitCursorShown() {
  if (QCoreApplication::instance() == nullptr) return false;
  const QCursor* cursor = QApplication::overrideCursor();
  return cursor != nullptr && cursor->shape() == Qt::WaitCursor;
}
