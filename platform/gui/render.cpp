// A window drawn into an image, for a look at a dialog without a screen.
#include "platform/gui/render.h"

#include <QFile>
#include <QPixmap>

#include "platform/gui/qt_window.h"

bool RenderWindowToPng(HWND window, const char* path) {
  QWidget* widget = gui_detail::WidgetOf(window);
  if (widget == nullptr || path == nullptr) return false;
  widget->ensurePolished();
  const QPixmap picture = widget->grab();
  return picture.save(QFile::decodeName(path), "PNG");
}
