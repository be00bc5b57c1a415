// Live windows: an HWND is valid only while its widget exists, so IsWindow is safe after a
// dialog has gone. (qt_window.h is this file's header, so its Q_OBJECT classes are moc'ed.)
#include <QObject>
#include <unordered_set>

#include "platform/gui/qt_window.h"

namespace gui_detail {

namespace {
std::unordered_set<QWidget*>& LiveWindows() {
  static std::unordered_set<QWidget*> live;
  return live;
}
}  // namespace

void RegisterWindow(QWidget* widget) {
  if (widget == nullptr || !LiveWindows().insert(widget).second) return;
  QObject::connect(widget, &QObject::destroyed, [widget] { LiveWindows().erase(widget); });
}

void UnregisterWindow(QWidget* widget) { LiveWindows().erase(widget); }

QWidget* WidgetOf(HWND window) {
  auto* widget = reinterpret_cast<QWidget*>(window);
  if (widget == nullptr || LiveWindows().count(widget) == 0) return nullptr;
  return widget;
}

int ControlIdOf(const QWidget* control) {
  const QVariant id = control->property(kControlIdProperty);
  return id.isValid() ? id.toInt() : IDC_STATIC;
}

DialogWindow* DialogOf(QWidget* widget) {
  for (QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
    if (auto* dialog = qobject_cast<DialogWindow*>(w)) return dialog;
  }
  return nullptr;
}

}  // namespace gui_detail
