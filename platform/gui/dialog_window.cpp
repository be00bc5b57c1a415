// A dialog built from its template: absolutely placed controls at their dialog-unit rectangles,
// fixed size, and the default dialog handling of keys, the close box and the default command.
#include <QButtonGroup>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <cstring>

#include "platform/core/trace.h"
#include "platform/gui/controls.h"
#include "platform/gui/list_view.h"
#include "platform/gui/qt_window.h"

namespace gui_detail {

namespace {

// Check boxes and radio buttons answer clicks anywhere in their rectangle, not only on the
// indicator and label, as the template's rectangle promises.
class CheckBox : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;

 protected:
  bool hitButton(const QPoint& point) const override { return rect().contains(point); }
};

class RadioButton : public QRadioButton {
 public:
  using QRadioButton::QRadioButton;

 protected:
  bool hitButton(const QPoint& point) const override { return rect().contains(point); }
};

// What the user starts: commands from buttons, keys and menus, and clicks in lists and links.
bool UserCommand(UINT message, LPARAM lParam) {
  if (message == WM_COMMAND) return true;
  if (message != WM_NOTIFY) return false;
  const UINT code = reinterpret_cast<const NMHDR*>(lParam)->code;
  return code == NM_CLICK || code == NM_RCLICK || code == NM_DBLCLK || code == NM_RETURN;
}

}  // namespace

int MulDiv(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

QFont TemplateFont(const DialogTemplate& dialogTemplate) {
  QFont font;
  const char* family = dialogTemplate.font != nullptr ? dialogTemplate.font : "";
  if (*family == '\0' || std::strcmp(family, "Microsoft Sans Serif") == 0 ||
      std::strcmp(family, "MS Shell Dlg") == 0 || std::strcmp(family, "MS Shell Dlg 2") == 0) {
    // Liberation Sans has the metrics of the Windows dialog fonts, so texts fit their controls
    // as designed; without it, the desktop's sans-serif.
    if (QFontDatabase::hasFamily(QStringLiteral("Liberation Sans"))) {
      font = QFont(QStringLiteral("Liberation Sans"));
    } else {
      font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
      font.setStyleHint(QFont::SansSerif);
    }
  } else {
    font = QFont(QString::fromUtf8(family));
  }
  const int points = dialogTemplate.pointSize > 0 ? dialogTemplate.pointSize : 9;
  // A point size as Windows shows it at 96 dpi, independent of the screen's reported dpi.
  font.setPixelSize(MulDiv(points, 96, 72));
  return font;
}

void DialogBaseUnits(const QFont& font, int* baseX, int* baseY) {
  const QFontMetrics metrics(font);
  const int width = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  *baseX = std::max(1, (width / 26 + 1) / 2);
  *baseY = std::max(1, metrics.height());
}

DialogWindow::DialogWindow(const DialogTemplate& dialogTemplate, QWidget* parent, bool embedded)
    : QDialog(parent) {
  if (embedded) {
    setWindowFlags(Qt::Widget);
  } else {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if ((dialogTemplate.style & WS_SYSMENU) != 0) {
      flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    }
    setWindowFlags(flags);
  }
  setProperty(kControlIdProperty, dialogTemplate.id);
  RegisterWindow(this);
  build(dialogTemplate);
}

DialogWindow::~DialogWindow() { UnregisterWindow(this); }

void DialogWindow::build(const DialogTemplate& dialogTemplate) {
  const QFont font = TemplateFont(dialogTemplate);
  setFont(font);
  DialogBaseUnits(font, &m_baseX, &m_baseY);
  setWindowTitle(
      QString::fromUtf8(dialogTemplate.caption != nullptr ? dialogTemplate.caption : ""));
  setFixedSize(MulDiv(dialogTemplate.cx, m_baseX, 4), MulDiv(dialogTemplate.cy, m_baseY, 8));
  setSizeGripEnabled(false);

  QButtonGroup* radios = nullptr;
  for (const ControlTemplate& control : dialogTemplate.controls) {
    QWidget* widget = createControl(control, this);
    if (widget == nullptr) continue;
    if (control.kind == ControlKind::RadioButton) {
      if (radios == nullptr || (control.style & WS_GROUP) != 0) {
        radios = new QButtonGroup(this);
        radios->setExclusive(true);
      }
      radios->addButton(static_cast<QAbstractButton*>(widget));
    } else {
      radios = nullptr;
    }
    if (control.kind == ControlKind::PushButton && (control.style & 0xF) == BS_DEFPUSHBUTTON &&
        m_defaultId == 0) {
      setDefaultId(control.id);
    }
  }
  // A static's mnemonic moves the focus to the control after it, as on Windows.
  QWidget* previous = nullptr;
  for (QObject* child : children()) {
    auto* widget = qobject_cast<QWidget*>(child);
    if (widget == nullptr) continue;
    auto* label = qobject_cast<QLabel*>(previous);
    if (label != nullptr && qobject_cast<LinkLabel*>(label) == nullptr &&
        label->text().contains(QLatin1Char('&'))) {
      label->setBuddy(widget);
    }
    previous = widget;
  }
}

QWidget* DialogWindow::createControl(const ControlTemplate& control, QWidget* parent) {
  const QString text = QString::fromUtf8(control.text != nullptr ? control.text : "");
  const QRect rect(MulDiv(control.x, m_baseX, 4), MulDiv(control.y, m_baseY, 8),
                   MulDiv(control.cx, m_baseX, 4), MulDiv(control.cy, m_baseY, 8));
  QWidget* widget = nullptr;
  const int id = control.id;
  switch (control.kind) {
    case ControlKind::Static: {
      auto* label = new QLabel(text, parent);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      label->setWordWrap(true);
      widget = label;
      break;
    }
    case ControlKind::GroupBox: {
      auto* group = new QGroupBox(text, parent);
      widget = group;
      break;
    }
    case ControlKind::PushButton: {
      auto* button = new QPushButton(text, parent);
      // The dialog handles Enter itself; Qt's auto-default would press the focused button.
      button->setAutoDefault(false);
      connect(button, &QAbstractButton::clicked, this,
              [this, button, id] { command(id, BN_CLICKED, button); });
      widget = button;
      break;
    }
    case ControlKind::CheckBox: {
      auto* box = new CheckBox(text, parent);
      connect(box, &QAbstractButton::clicked, this,
              [this, box, id] { command(id, BN_CLICKED, box); });
      widget = box;
      break;
    }
    case ControlKind::RadioButton: {
      auto* radio = new RadioButton(text, parent);
      radio->setAutoExclusive(false);
      connect(radio, &QAbstractButton::clicked, this,
              [this, radio, id] { command(id, BN_CLICKED, radio); });
      widget = radio;
      break;
    }
    case ControlKind::Edit: {
      if ((control.style & ES_MULTILINE) != 0) {
        auto* edit = new QPlainTextEdit(parent);
        edit->setReadOnly((control.style & ES_READONLY) != 0);
        edit->setVerticalScrollBarPolicy((control.style & WS_VSCROLL) != 0 ? Qt::ScrollBarAlwaysOn
                                                                           : Qt::ScrollBarAsNeeded);
        edit->setLineWrapMode((control.style & WS_HSCROLL) != 0 ? QPlainTextEdit::NoWrap
                                                                : QPlainTextEdit::WidgetWidth);
        edit->setTabChangesFocus(true);
        widget = edit;
      } else {
        auto* edit = new QLineEdit(parent);
        if ((control.style & ES_PASSWORD) != 0) edit->setEchoMode(QLineEdit::Password);
        edit->setReadOnly((control.style & ES_READONLY) != 0);
        widget = edit;
      }
      SetWidgetText(widget, control.text != nullptr ? control.text : "");
      break;
    }
    case ControlKind::ComboBox: {
      auto* combo = new QComboBox(parent);
      combo->setEditable(true);
      combo->setInsertPolicy(QComboBox::NoInsert);
      // activated comes only from the user's choice, as CBN_SELCHANGE does.
      connect(combo, &QComboBox::activated, this,
              [this, combo, id] { command(id, CBN_SELCHANGE, combo); });
      widget = combo;
      break;
    }
    case ControlKind::ListView: widget = new ListView(parent, control.style); break;
    case ControlKind::ProgressBar: {
      auto* bar = new QProgressBar(parent);
      bar->setRange(0, 100);
      bar->setValue(0);
      bar->setTextVisible(false);
      widget = bar;
      break;
    }
    case ControlKind::Link:
      widget = new LinkLabel(control.text != nullptr ? control.text : "", parent);
      break;
    case ControlKind::MonthCalendar: {
      auto* calendar = new QCalendarWidget(parent);
      calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
      connect(calendar, &QCalendarWidget::selectionChanged, this, [this, calendar, id] {
        NMHDR header;
        header.hwndFrom = HwndOf(calendar);
        header.idFrom = static_cast<UINT_PTR>(id);
        header.code = MCN_SELCHANGE;
        notify(&header);
      });
      widget = calendar;
      break;
    }
  }
  if (widget == nullptr) return nullptr;
  widget->setProperty(kControlIdProperty, id);
  if (id != IDC_STATIC && m_controls.count(id) == 0) m_controls.emplace(id, widget);
  widget->setGeometry(rect);
  if (control.kind == ControlKind::ComboBox) {
    // The template's height includes the drop-down list; the closed box has its own height.
    widget->resize(rect.width(), widget->sizeHint().height());
  }
  if (control.kind == ControlKind::GroupBox) widget->lower();
  if (auto* label = qobject_cast<QLabel*>(widget); label != nullptr && label->wordWrap()) {
    // A static one line high does not wrap (its text is narrowed to fit instead).
    label->setWordWrap(rect.height() >= 2 * QFontMetrics(label->font()).lineSpacing());
  }
  FitTextToWidth(widget);
  if ((control.style & WS_DISABLED) != 0) widget->setEnabled(false);
  // Tab visits only controls with a tab stop; the others still take the focus by click.
  if ((control.style & WS_TABSTOP) == 0 && (widget->focusPolicy() & Qt::TabFocus) != 0)
    widget->setFocusPolicy(Qt::ClickFocus);
  RegisterWindow(widget);
  return widget;
}

QWidget* DialogWindow::control(int id) const {
  if (id == IDC_STATIC) return nullptr;
  const auto found = m_controls.find(id);
  return found != m_controls.end() ? found->second.data() : nullptr;
}

void DialogWindow::command(int id, WORD code, QWidget* control) {
  // A click on a check box that a busy dialog drops leaves the box as its handler last saw it.
  auto* box = qobject_cast<QCheckBox*>(control);
  if (busy() && box != nullptr && id != IDCANCEL && id != m_cancelId) {
    box->setChecked(!box->isChecked());
    return;
  }
  dispatch(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), code),
           reinterpret_cast<LPARAM>(control != nullptr ? HwndOf(control) : nullptr));
}

LRESULT DialogWindow::notify(NMHDR* header) {
  return dispatch(WM_NOTIFY, header->idFrom, reinterpret_cast<LPARAM>(header));
}

LRESULT DialogWindow::dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (busy() && UserCommand(message, lParam)) {
    const WORD id = message == WM_COMMAND ? LOWORD(wParam) : 0;
    if (message != WM_COMMAND || (id != IDCANCEL && id != m_cancelId)) return result;
  }
  QPointer<DialogWindow> alive(this);
  if (m_handler && m_handler(HwndOf(this), message, wParam, lParam, result)) return result;
  if (!alive) return result;
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) endDialog(IDCANCEL);
      return 0;
    case DM_GETDEFID:
      return m_defaultId != 0 ? MAKELPARAM(static_cast<WORD>(m_defaultId), DC_HASDEFID) : 0;
    case DM_SETDEFID: setDefaultId(static_cast<int>(wParam)); return TRUE;
    case WM_CLOSE: command(IDCANCEL, BN_CLICKED, control(IDCANCEL)); return 0;
    case WM_SETICON: {
      const auto* icon = reinterpret_cast<const QIcon*>(lParam);
      setWindowIcon(icon != nullptr ? *icon : QIcon());
      return 0;
    }
    default: return ControlMessage(this, message, wParam, lParam);
  }
}

void DialogWindow::leaveBusy() {
  if (--m_busy > 0) return;
  std::vector<PostedMessage> held;
  held.swap(m_held);
  for (const PostedMessage& posted : held)
    PostMessage(HwndOf(this), posted.message, posted.wParam, posted.lParam);
}

bool DialogWindow::holdPosted(UINT message, WPARAM wParam, LPARAM lParam) {
  if (!busy()) return false;
  m_held.push_back({message, wParam, lParam});
  return true;
}

void DialogWindow::setDefaultId(int id) {
  if (auto* old = qobject_cast<QPushButton*>(control(m_defaultId))) old->setDefault(false);
  m_defaultId = id;
  if (auto* button = qobject_cast<QPushButton*>(control(id))) button->setDefault(true);
}

void DialogWindow::endDialog(INT_PTR result) {
  m_ended = true;
  m_endResult = result;
  if (m_running) done(static_cast<int>(result));
}

INT_PTR DialogWindow::runModal() {
  if (m_ended) return m_endResult;
  m_running = true;
  const int code = exec();
  m_running = false;
  if (!m_ended) {
    m_ended = true;
    m_endResult = code;
  }
  return m_endResult;
}

void DialogWindow::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  if (m_painted || !isWindow()) return;
  m_painted = true;
  // Painted means the display server showed it: under Wayland nothing else tells from outside.
  Trace("Zembra: window \"%s\" shown on %s\n", WidgetText(this),
        QGuiApplication::platformName().toStdString());
}

void DialogWindow::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  // Only during the modal run: before it the handler's object is being built, after it undone.
  if (event->type() != QEvent::ActivationChange || !isWindow() || !m_running) return;
  Trace("Zembra: window \"%s\" %s\n", WidgetText(this), isActiveWindow() ? "active" : "inactive");
  dispatch(WM_ACTIVATE, isActiveWindow() ? WA_ACTIVE : WA_INACTIVE, 0);
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier)) {
    QDialog::keyPressEvent(event);
    return;
  }
  switch (event->key()) {
    case Qt::Key_Escape:
      event->accept();
      command(IDCANCEL, BN_CLICKED, control(IDCANCEL));
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      event->accept();
      // A focused push button is the one Enter presses; otherwise the default command goes,
      // even when no control has its id.
      QWidget* focus = focusWidget();
      auto* button = qobject_cast<QPushButton*>(focus);
      if (button != nullptr && DialogOf(button->parentWidget()) == this && button->isEnabled()) {
        command(ControlIdOf(button), BN_CLICKED, button);
        return;
      }
      const int id = m_defaultId != 0 ? m_defaultId : IDOK;
      QWidget* target = control(id);
      if (target != nullptr && !target->isEnabled()) return;
      command(id, BN_CLICKED, target);
      return;
    }
    default: QDialog::keyPressEvent(event);
  }
}

void DialogWindow::closeEvent(QCloseEvent* event) {
  if (m_ended || !m_running) {
    event->accept();
    return;
  }
  if (busy()) {
    // Cancels the work, then closes once it has ended (the posted close waits for that).
    event->ignore();
    command(IDCANCEL, BN_CLICKED, control(IDCANCEL));
    PostMessage(HwndOf(this), WM_CLOSE, 0, 0);
    return;
  }
  // The close box is Cancel.
  event->ignore();
  command(IDCANCEL, BN_CLICKED, control(IDCANCEL));
}

void DialogWindow::reject() { command(IDCANCEL, BN_CLICKED, control(IDCANCEL)); }

}  // namespace gui_detail
