// Messages to controls: text, buttons, edits (positions in UTF-8 bytes, LF line ends),
// combo boxes, progress bars and links. List views answer their own messages.
#include "platform/gui/controls.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCalendarWidget>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextCursor>
#include <algorithm>
#include <cstring>

#include "platform/gui/list_view.h"
#include "platform/gui/qt_window.h"

namespace gui_detail {

namespace {

constexpr const char* kSelStart = "zembraSelStart";
constexpr const char* kSelEnd = "zembraSelEnd";

// Line ends in a multi-line edit are LF, as the product writes them; CRLF and CR become LF,
// as Qt's document would make them anyway.
QString NormalisedLines(const std::string& text) {
  QString value = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  value.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  value.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return value;
}

constexpr const char* kLengthCache = "zembraTextBytes";
constexpr const char* kLengthRevision = "zembraTextRevision";

// The edit's text length in UTF-8 bytes. Cached per document revision: the log asks for it
// before every line it appends, and counting a long log each time would make appending slow.
long long TextBytes(QPlainTextEdit* edit) {
  const QVariant revision = edit->property(kLengthRevision);
  if (revision.isValid() && revision.toInt() == edit->document()->revision()) {
    return edit->property(kLengthCache).toLongLong();
  }
  const long long bytes = edit->toPlainText().toUtf8().size();
  edit->setProperty(kLengthCache, bytes);
  edit->setProperty(kLengthRevision, edit->document()->revision());
  return bytes;
}

// The QString index of a byte offset into the UTF-8 form of `text`.
qsizetype IndexOfByte(const QString& text, long long byteOffset) {
  long long bytes = 0;
  qsizetype index = 0;
  while (index < text.size() && bytes < byteOffset) {
    const QChar c = text[index];
    if (c.isHighSurrogate() && index + 1 < text.size()) {
      bytes += 4;
      index += 2;
    } else {
      const ushort u = c.unicode();
      bytes += u < 0x80 ? 1 : (u < 0x800 ? 2 : 3);
      index += 1;
    }
  }
  return index;
}

LRESULT CopyOut(const std::string& text, WPARAM size, LPARAM buffer) {
  char* out = reinterpret_cast<char*>(buffer);
  if (out == nullptr || size == 0) return 0;
  const size_t length = std::min<size_t>(text.size(), size - 1);
  std::memcpy(out, text.data(), length);
  out[length] = '\0';
  return static_cast<LRESULT>(length);
}

// EM_REPLACESEL on a multi-line edit: the selection is kept in bytes of the text.
void ReplaceSelection(QPlainTextEdit* edit, const std::string& replacement) {
  const long long length = TextBytes(edit);
  const QVariant startValue = edit->property(kSelStart);
  const QVariant endValue = edit->property(kSelEnd);
  long long start = startValue.isValid() ? startValue.toLongLong() : length;
  long long end = endValue.isValid() ? endValue.toLongLong() : length;
  if (start < 0 || start > length) start = length;
  if (end < 0 || end > length) end = length;
  if (start > end) std::swap(start, end);
  const QString inserted = NormalisedLines(replacement);
  const long long insertedBytes = inserted.toUtf8().size();
  const bool atEnd = start >= length;
  QTextCursor cursor(edit->document());
  if (atEnd) {
    cursor.movePosition(QTextCursor::End);
  } else {
    const QString text = edit->toPlainText();
    cursor.setPosition(static_cast<int>(IndexOfByte(text, start)));
    cursor.setPosition(static_cast<int>(IndexOfByte(text, end)), QTextCursor::KeepAnchor);
  }
  cursor.insertText(inserted);
  const long long newLength = length - (end - start) + insertedBytes;
  edit->setProperty(kLengthCache, newLength);
  edit->setProperty(kLengthRevision, edit->document()->revision());
  const long long after = start + insertedBytes;
  edit->setProperty(kSelStart, after);
  edit->setProperty(kSelEnd, after);
  if (atEnd) {
    // Appending at the end scrolls to the end, as a log does.
    edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());
  }
}

}  // namespace

// ---- Link

LinkLabel::LinkLabel(const std::string& text, QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::RichText);
  setTextInteractionFlags(Qt::NoTextInteraction);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
  setOpenExternalLinks(false);
  setLinkText(text);
}

void LinkLabel::setLinkText(const std::string& text) {
  m_raw = text;
  const QString value = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  static const QRegularExpression anchor(
      QStringLiteral("<a\\s+href\\s*=\\s*\"([^\"]*)\"\\s*>(.*?)</a>"),
      QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
  const QRegularExpressionMatch match = anchor.match(value);
  QString shown;
  if (match.hasMatch()) {
    m_url = match.captured(1).toUtf8().toStdString();
    shown = value.left(match.capturedStart()).toHtmlEscaped() + QStringLiteral("<a href=\"") +
            match.captured(1).toHtmlEscaped() + QStringLiteral("\">") +
            match.captured(2).toHtmlEscaped() + QStringLiteral("</a>") +
            value.mid(match.capturedEnd()).toHtmlEscaped();
  } else {
    m_url = text;
    shown = QStringLiteral("<a href=\"") + value.toHtmlEscaped() + QStringLiteral("\">") +
            value.toHtmlEscaped() + QStringLiteral("</a>");
  }
  setText(shown);
}

void LinkLabel::notify(unsigned code) {
  DialogWindow* dialog = DialogOf(parentWidget());
  if (dialog == nullptr) return;
  NMLINK link;
  link.hdr.hwndFrom = HwndOf(this);
  link.hdr.idFrom = static_cast<UINT_PTR>(ControlIdOf(this));
  link.hdr.code = code;
  link.szUrl = m_url;
  dialog->notify(&link.hdr);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    event->accept();
    notify(NM_CLICK);
    return;
  }
  QLabel::mouseReleaseEvent(event);
}

void LinkLabel::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
      event->key() == Qt::Key_Space) {
    event->accept();
    notify(NM_RETURN);
    return;
  }
  QLabel::keyPressEvent(event);
}

// ---- Text

void FitTextToWidth(QWidget* widget) {
  // Only one-line texts whose box is as the template placed it: labels that do not wrap,
  // buttons, check boxes, radio buttons and links.
  auto* label = qobject_cast<QLabel*>(widget);
  const bool fits =
      (label != nullptr && !label->wordWrap()) || qobject_cast<QAbstractButton*>(widget) != nullptr;
  if (!fits) return;
  QFont font = widget->font();
  font.setStretch(QFont::Unstretched);
  widget->setFont(font);
  // The desktop's font is often wider than the one the template was laid out for; narrow the
  // text a little rather than cut it off or move the control out of its place.
  auto needed = [widget] {
    if (auto* push = qobject_cast<QPushButton*>(widget)) {
      // A push button's size hint asks for wide margins; its text only needs a little room.
      QString text = push->text();
      text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
      return QFontMetrics(push->font()).horizontalAdvance(text) + 8;
    }
    return widget->sizeHint().width();
  };
  for (int stretch = 95; stretch >= 75 && needed() > widget->width(); stretch -= 5) {
    font.setStretch(stretch);
    widget->setFont(font);
  }
}

std::string WidgetText(QWidget* widget) {
  if (auto* link = qobject_cast<LinkLabel*>(widget)) return link->rawText();
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text().toUtf8().toStdString();
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    return button->text().toUtf8().toStdString();
  }
  if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->title().toUtf8().toStdString();
  if (auto* line = qobject_cast<QLineEdit*>(widget)) return line->text().toUtf8().toStdString();
  if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
    return edit->toPlainText().toUtf8().toStdString();
  }
  if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    return combo->currentText().toUtf8().toStdString();
  }
  if (widget->isWindow() || qobject_cast<DialogWindow*>(widget) != nullptr) {
    return widget->windowTitle().toUtf8().toStdString();
  }
  return {};
}

void SetWidgetText(QWidget* widget, const std::string& text) {
  const QString value = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  if (auto* link = qobject_cast<LinkLabel*>(widget)) {
    link->setLinkText(text);
    FitTextToWidth(widget);
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(value);
    FitTextToWidth(widget);
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(value);
    FitTextToWidth(widget);
  } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
    group->setTitle(value);
  } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
    line->setText(value);
  } else if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
    edit->setPlainText(NormalisedLines(text));
    edit->setProperty(kSelStart, QVariant());
    edit->setProperty(kSelEnd, QVariant());
  } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    combo->setEditText(value);
    if (combo->lineEdit() != nullptr) combo->lineEdit()->setCursorPosition(0);
  } else {
    widget->setWindowTitle(value);
  }
}

// ---- Messages

namespace {

// The messages of each control kind; each answers 0 to what its kind does not know.
LRESULT ButtonMessage(QAbstractButton* button, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case BM_GETCHECK: return button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
    case BM_SETCHECK:
      if (wParam != BST_CHECKED && button->group() != nullptr && button->group()->exclusive()) {
        // An exclusive group refuses to uncheck its checked button; the message may.
        button->group()->setExclusive(false);
        button->setChecked(false);
        button->group()->setExclusive(true);
      } else {
        button->setChecked(wParam == BST_CHECKED);
      }
      return 0;
    case BM_CLICK: button->click(); return 0;
    case BM_SETSTYLE:
      if (auto* push = qobject_cast<QPushButton*>(button)) {
        push->setDefault((wParam & 0xF) == BS_DEFPUSHBUTTON);
      }
      return 0;
    default: return 0;
  }
}

LRESULT ProgressBarMessage(QProgressBar* bar, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case PBM_SETRANGE: {
      const LRESULT old =
          MAKELPARAM(static_cast<WORD>(bar->minimum()), static_cast<WORD>(bar->maximum()));
      bar->setRange(LOWORD(static_cast<WPARAM>(lParam)), HIWORD(static_cast<WPARAM>(lParam)));
      return old;
    }
    case PBM_SETPOS: {
      const int old = bar->value();
      const int position = std::clamp(static_cast<int>(wParam), bar->minimum(), bar->maximum());
      if (position != old) {
        bar->setValue(position);
        // An operation may be blocking the event loop: paint now, not when it returns.
        bar->repaint();
      }
      return old;
    }
    case PBM_GETPOS: return bar->value();
    default: return 0;
  }
}

LRESULT MultiLineEditMessage(QPlainTextEdit* edit, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case EM_SETSEL:
      edit->setProperty(kSelStart, static_cast<long long>(static_cast<LPARAM>(wParam)));
      edit->setProperty(kSelEnd, static_cast<long long>(lParam));
      return 0;
    case EM_REPLACESEL:
      ReplaceSelection(edit, lParam != 0 ? reinterpret_cast<const char*>(lParam) : "");
      return 0;
    default: return 0;
  }
}

LRESULT LineEditMessage(QLineEdit* line, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case EM_SETSEL: {
      const QString text = line->text();
      const auto start = static_cast<long long>(static_cast<LPARAM>(wParam));
      const long long end = lParam;
      if (start < 0) {
        line->deselect();
        return 0;
      }
      const qsizetype from = IndexOfByte(text, start);
      const qsizetype to = end < 0 ? text.size() : IndexOfByte(text, end);
      line->setSelection(static_cast<int>(from), static_cast<int>(to - from));
      return 0;
    }
    case EM_REPLACESEL:
      line->insert(QString::fromUtf8(lParam != 0 ? reinterpret_cast<const char*>(lParam) : ""));
      return 0;
    default: return 0;
  }
}

LRESULT ComboBoxMessage(QComboBox* combo, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case CB_ADDSTRING:
      combo->addItem(QString::fromUtf8(lParam != 0 ? reinterpret_cast<const char*>(lParam) : ""));
      return combo->count() - 1;
    case CB_GETCOUNT: return combo->count();
    case CB_GETCURSEL: return combo->currentIndex();
    case CB_SETCURSEL:
      combo->setCurrentIndex(static_cast<int>(static_cast<LPARAM>(wParam)));
      // Show a long entry from its start, as the closed box does on Windows.
      if (combo->lineEdit() != nullptr) combo->lineEdit()->setCursorPosition(0);
      return combo->currentIndex();
    case CB_RESETCONTENT: combo->clear(); return 0;
    case CB_GETLBTEXTLEN:
    case CB_GETLBTEXT: {
      const int index = static_cast<int>(static_cast<LPARAM>(wParam));
      if (index < 0 || index >= combo->count()) return -1;  // CB_ERR
      const QByteArray text = combo->itemText(index).toUtf8();
      if (message == CB_GETLBTEXT && lParam != 0) {
        std::memcpy(reinterpret_cast<char*>(lParam), text.constData(),
                    static_cast<size_t>(text.size()) + 1);
      }
      return text.size();
    }
    default: return 0;
  }
}

LRESULT CalendarMessage(QCalendarWidget* calendar, UINT message, WPARAM, LPARAM lParam) {
  auto* time = reinterpret_cast<SYSTEMTIME*>(lParam);
  switch (message) {
    case MCM_GETCURSEL: {
      if (time == nullptr) return FALSE;
      const QDate date = calendar->selectedDate();
      *time = SYSTEMTIME();
      time->wYear = static_cast<WORD>(date.year());
      time->wMonth = static_cast<WORD>(date.month());
      time->wDay = static_cast<WORD>(date.day());
      time->wDayOfWeek = static_cast<WORD>(date.dayOfWeek() % 7);  // Qt: Monday 1 .. Sunday 7
      return TRUE;
    }
    case MCM_SETCURSEL: {
      if (time == nullptr) return FALSE;
      const QDate date(time->wYear, time->wMonth, time->wDay);
      if (!date.isValid()) return FALSE;
      calendar->setSelectedDate(date);
      return TRUE;
    }
    default: return 0;
  }
}

}  // namespace

LRESULT ControlMessage(QWidget* control, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT:
      SetWidgetText(control, lParam != 0 ? reinterpret_cast<const char*>(lParam) : "");
      return TRUE;
    case WM_GETTEXT: return CopyOut(WidgetText(control), wParam, lParam);
    case WM_GETTEXTLENGTH:
      if (auto* edit = qobject_cast<QPlainTextEdit*>(control)) return TextBytes(edit);
      return static_cast<LRESULT>(WidgetText(control).size());
    default: break;
  }
  if (auto* list = qobject_cast<ListView*>(control)) return list->message(message, wParam, lParam);
  if (auto* button = qobject_cast<QAbstractButton*>(control))
    return ButtonMessage(button, message, wParam, lParam);
  if (auto* bar = qobject_cast<QProgressBar*>(control))
    return ProgressBarMessage(bar, message, wParam, lParam);
  if (auto* edit = qobject_cast<QPlainTextEdit*>(control))
    return MultiLineEditMessage(edit, message, wParam, lParam);
  if (auto* line = qobject_cast<QLineEdit*>(control))
    return LineEditMessage(line, message, wParam, lParam);
  if (auto* combo = qobject_cast<QComboBox*>(control))
    return ComboBoxMessage(combo, message, wParam, lParam);
  if (auto* calendar = qobject_cast<QCalendarWidget*>(control))
    return CalendarMessage(calendar, message, wParam, lParam);
  return 0;
}

}  // namespace gui_detail
