#include "platform/gui/wait_cursor.h"

#include <QApplication>
#include <QCursor>

#include "platform/gui/qt_window.h"

CWaitCursor::CWaitCursor() {
  gui_detail::EnsureApplication();
  QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

CWaitCursor::~CWaitCursor() { QApplication::restoreOverrideCursor(); }

bool IsWaitCursorShown() {
  const QCursor* cursor = QApplication::overrideCursor();
  return cursor != nullptr && cursor->shape() == Qt::WaitCursor;
}
