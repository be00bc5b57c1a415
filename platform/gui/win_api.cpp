// The window functions over Qt widgets. A null or dead window makes every call a no-op.
#include <QApplication>
#include <QCoreApplication>
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QScrollBar>
#include <QStyle>
#include <QTreeView>
#include <algorithm>

#include "platform/gui/list_view.h"
#include "platform/gui/qt_window.h"

using namespace gui_detail;

namespace {

// A list view's client area is its viewport (the rows), where its item rectangles and click
// points are measured.
QWidget* ClientWidget(QWidget* widget) {
  if (auto* list = qobject_cast<ListView*>(widget)) return list->viewport();
  return widget;
}

}  // namespace

int GetSystemMetrics(int index) {
  if (index != SM_CXVSCROLL || !EnsureApplication()) return 0;
  return QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  QWidget* widget = WidgetOf(window);
  if (widget == nullptr) return 0;
  if (auto* dialog = qobject_cast<DialogWindow*>(widget)) {
    return dialog->dispatch(message, wParam, lParam);
  }
  return ControlMessage(widget, message, wParam, lParam);
}

BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  QWidget* widget = WidgetOf(window);
  if (widget == nullptr) return FALSE;
  // Queued calls to one receiver run in posting order, after the current handler has returned.
  QPointer<QWidget> target(widget);
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [target, window, message, wParam, lParam] {
        if (!target) return;
        // A busy dialog takes it once its work has ended.
        auto* dialog = qobject_cast<DialogWindow*>(target.data());
        if (dialog != nullptr && dialog->holdPosted(message, wParam, lParam)) return;
        SendMessage(window, message, wParam, lParam);
      },
      Qt::QueuedConnection);
  return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
  auto* window = qobject_cast<DialogWindow*>(WidgetOf(dialog));
  if (window == nullptr) return nullptr;
  return HwndOf(window->control(id));
}

int GetDlgCtrlID(HWND control) {
  QWidget* widget = WidgetOf(control);
  return widget != nullptr ? ControlIdOf(widget) : 0;
}

HWND GetParent(HWND window) {
  QWidget* widget = WidgetOf(window);
  if (widget == nullptr) return nullptr;
  for (QWidget* parent = widget->parentWidget(); parent != nullptr;
       parent = parent->parentWidget()) {
    if (WidgetOf(HwndOf(parent)) != nullptr) return HwndOf(parent);
  }
  return nullptr;
}

BOOL IsWindow(HWND window) { return WidgetOf(window) != nullptr ? TRUE : FALSE; }

BOOL EnableWindow(HWND window, BOOL enable) {
  QWidget* widget = WidgetOf(window);
  if (widget == nullptr) return FALSE;
  const bool wasDisabled = !widget->isEnabled();
  widget->setEnabled(enable != FALSE);
  return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND window) {
  QWidget* widget = WidgetOf(window);
  return widget != nullptr && widget->isEnabled() ? TRUE : FALSE;
}

BOOL ShowWindow(HWND window, int show) {
  QWidget* widget = WidgetOf(window);
  if (widget == nullptr) return FALSE;
  // Before its dialog is shown a control counts as visible unless it was hidden.
  const bool wasVisible = !widget->isHidden();
  widget->setVisible(show != 0);
  return wasVisible ? TRUE : FALSE;
}

BOOL SetWindowText(HWND window, const char* text) {
  if (WidgetOf(window) == nullptr) return FALSE;
  SendMessage(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text != nullptr ? text : ""));
  return TRUE;
}

int GetWindowTextLength(HWND window) {
  return static_cast<int>(SendMessage(window, WM_GETTEXTLENGTH, 0, 0));
}

std::string GetWindowTextString(HWND window) {
  QWidget* widget = WidgetOf(window);
  return widget != nullptr ? WidgetText(widget) : std::string();
}

BOOL SetDlgItemText(HWND dialog, int id, const char* text) {
  return SetWindowText(GetDlgItem(dialog, id), text);
}

std::string GetDlgItemTextString(HWND dialog, int id) {
  return GetWindowTextString(GetDlgItem(dialog, id));
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
  HWND button = GetDlgItem(dialog, id);
  if (button == nullptr) return FALSE;
  SendMessage(button, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
  return static_cast<UINT>(SendMessage(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0));
}

HWND SetFocus(HWND window) {
  QWidget* widget = WidgetOf(window);
  if (widget == nullptr) return nullptr;
  HWND previous = GetFocus();
  widget->setFocus(Qt::OtherFocusReason);
  return previous;
}

HWND GetFocus() {
  if (QCoreApplication::instance() == nullptr) return nullptr;
  for (QWidget* widget = QApplication::focusWidget(); widget != nullptr;
       widget = widget->parentWidget()) {
    if (WidgetOf(HwndOf(widget)) != nullptr) return HwndOf(widget);
  }
  return nullptr;
}

BOOL SetForegroundWindow(HWND window) {
  QWidget* widget = WidgetOf(window);
  if (widget == nullptr) return FALSE;
  widget->window()->raise();
  widget->window()->activateWindow();
  return TRUE;
}

HWND GetActiveWindow() {
  if (QCoreApplication::instance() == nullptr) return nullptr;
  QWidget* active = QApplication::activeWindow();
  if (active == nullptr) active = QApplication::activeModalWidget();
  return active != nullptr && WidgetOf(HwndOf(active)) != nullptr ? HwndOf(active) : nullptr;
}

BOOL GetClientRect(HWND window, RECT* rect) {
  QWidget* widget = WidgetOf(window);
  if (widget == nullptr || rect == nullptr) return FALSE;
  rect->left = 0;
  rect->top = 0;
  if (auto* list = qobject_cast<ListView*>(widget)) {
    // From the list's own size: its viewport is laid out only once the dialog is shown, and
    // the product sizes its columns from this during WM_INITDIALOG.
    const QRect contents = list->contentsRect();
    const QScrollBar* bar = list->verticalScrollBar();
    const bool barShown = list->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn ||
                          (bar != nullptr && bar->isVisible());
    const int barWidth = barShown ? GetSystemMetrics(SM_CXVSCROLL) : 0;
    rect->right = std::max(0, contents.width() - barWidth);
    rect->bottom =
        std::max(0, contents.height() -
                        (list->header()->isHidden() ? 0 : list->header()->sizeHint().height()));
    return TRUE;
  }
  rect->right = widget->width();
  rect->bottom = widget->height();
  return TRUE;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
  QWidget* widget = WidgetOf(window);
  if (widget == nullptr || rect == nullptr) return FALSE;
  const QRect frame = widget->isWindow() ? widget->frameGeometry() : widget->geometry();
  const QPoint topLeft = widget->isWindow() ? frame.topLeft() : widget->mapToGlobal(QPoint(0, 0));
  rect->left = topLeft.x();
  rect->top = topLeft.y();
  rect->right = topLeft.x() + frame.width();
  rect->bottom = topLeft.y() + frame.height();
  return TRUE;
}

BOOL ClientToScreen(HWND window, POINT* point) {
  QWidget* widget = WidgetOf(window);
  if (widget == nullptr || point == nullptr) return FALSE;
  const QPoint global = ClientWidget(widget)->mapToGlobal(QPoint(point->x, point->y));
  point->x = global.x();
  point->y = global.y();
  return TRUE;
}

BOOL ScreenToClient(HWND window, POINT* point) {
  QWidget* widget = WidgetOf(window);
  if (widget == nullptr || point == nullptr) return FALSE;
  const QPoint local = ClientWidget(widget)->mapFromGlobal(QPoint(point->x, point->y));
  point->x = local.x();
  point->y = local.y();
  return TRUE;
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  QWidget* widget = WidgetOf(window);
  if (widget == nullptr) return FALSE;
  if ((flags & SWP_NOSIZE) == 0) {
    int width = std::max(0, cx);
    int height = std::max(0, cy);
    if (widget->isWindow()) {
      // The size given is the whole window; the frame is the window manager's.
      width -= widget->frameGeometry().width() - widget->width();
      height -= widget->frameGeometry().height() - widget->height();
    }
    if (qobject_cast<DialogWindow*>(widget) != nullptr && widget->isWindow()) {
      widget->setFixedSize(std::max(0, width), std::max(0, height));
    } else {
      widget->resize(std::max(0, width), std::max(0, height));
    }
  }
  if ((flags & SWP_NOMOVE) == 0) widget->move(x, y);
  if ((flags & SWP_NOREDRAW) == 0) widget->update();
  return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
  return SetWindowPos(window, nullptr, x, y, width, height,
                      SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0u : SWP_NOREDRAW));
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  auto* window = qobject_cast<DialogWindow*>(WidgetOf(dialog));
  if (window == nullptr) return FALSE;
  window->endDialog(result);
  return TRUE;
}

HICON CreateIconFromImages(const IconImage* images, int count) {
  if (!EnsureApplication()) return nullptr;
  auto* icon = new QIcon;  // lives as long as the process, as the icons of a program do
  for (int i = 0; i < count && images != nullptr; ++i) {
    const IconImage& image = images[i];
    if (image.size <= 0 || image.pixels == nullptr) continue;
    QImage picture(image.size, image.size, QImage::Format_ARGB32);
    for (int y = 0; y < image.size; ++y) {
      auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
      for (int x = 0; x < image.size; ++x) line[x] = image.pixels[y * image.size + x];
    }
    icon->addPixmap(QPixmap::fromImage(picture));
  }
  return reinterpret_cast<HICON>(icon);
}

BOOL DestroyIcon(HICON icon) {
  if (icon == nullptr) return FALSE;
  delete reinterpret_cast<QIcon*>(icon);
  return TRUE;
}
