// The clipboard over QClipboard. Text is UTF-8 (text/plain;charset=utf-8 and text/plain); a file
// list is text/uri-list plus the file managers' x-special/gnome-copied-files. Paths stay native
// bytes from end to end.
#include "platform/gui/clipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

#include "platform/gui/file_uri_list.h"
#include "platform/gui/qt_window.h"

using gui_detail::EnsureApplication;

namespace {

constexpr const char* kUtf8Text = "text/plain;charset=utf-8";
constexpr const char* kPlainText = "text/plain";
constexpr const char* kUriList = "text/uri-list";
constexpr const char* kGnomeFiles = "x-special/gnome-copied-files";

bool& ClipboardOpen() {
  static bool open = false;
  return open;
}

// The window that has it open; a null owner stands for the whole (single-threaded) program.
HWND& ClipboardOwner() {
  static HWND owner = nullptr;
  return owner;
}

const QMimeData* Contents() {
  if (!EnsureApplication()) return nullptr;
  return QApplication::clipboard()->mimeData();
}

bool IsText(UINT format) { return format == CF_TEXT || format == CF_UNICODETEXT; }

}  // namespace

BOOL OpenClipboard(HWND owner) {
  // Only another window holding it open keeps it closed to this one.
  if (ClipboardOpen() && owner != nullptr && ClipboardOwner() != nullptr &&
      owner != ClipboardOwner()) {
    return FALSE;
  }
  if (!EnsureApplication()) return FALSE;
  ClipboardOpen() = true;
  ClipboardOwner() = owner;
  return TRUE;
}

BOOL CloseClipboard() {
  if (!ClipboardOpen()) return FALSE;
  ClipboardOpen() = false;
  ClipboardOwner() = nullptr;
  return TRUE;
}

BOOL EmptyClipboard() {
  if (!ClipboardOpen()) return FALSE;
  QApplication::clipboard()->clear();
  return TRUE;
}

BOOL IsClipboardFormatAvailable(UINT format) {
  const QMimeData* data = Contents();
  if (data == nullptr) return FALSE;
  if (IsText(format)) {
    return data->hasFormat(kUtf8Text) || data->hasFormat(kPlainText) || data->hasText() ? TRUE
                                                                                        : FALSE;
  }
  if (format == CF_HDROP) {
    return data->hasFormat(kUriList) || data->hasFormat(kGnomeFiles) ? TRUE : FALSE;
  }
  return FALSE;
}

BOOL GetClipboardBytes(UINT format, std::string* bytes) {
  if (!ClipboardOpen() || bytes == nullptr || !IsText(format)) return FALSE;
  const QMimeData* data = Contents();
  if (data == nullptr) return FALSE;
  if (data->hasFormat(kUtf8Text)) {
    *bytes = data->data(kUtf8Text).toStdString();
    return TRUE;
  }
  if (data->hasText()) {
    *bytes = data->text().toUtf8().toStdString();
    return TRUE;
  }
  return FALSE;
}

BOOL SetClipboardBytes(UINT format, const std::string& bytes) {
  if (!ClipboardOpen() || !IsText(format)) return FALSE;
  auto* data = new QMimeData;
  const QByteArray utf8 = QByteArray::fromStdString(bytes);
  data->setData(kUtf8Text, utf8);
  data->setData(kPlainText, utf8);
  QApplication::clipboard()->setMimeData(data);
  return TRUE;
}

BOOL GetClipboardFiles(std::vector<std::string>* paths) {
  if (!ClipboardOpen() || paths == nullptr) return FALSE;
  const QMimeData* data = Contents();
  if (data == nullptr) return FALSE;
  QByteArray list = data->data(kUriList);
  if (list.isEmpty()) list = data->data(kGnomeFiles);
  *paths = PathsOfUriList(std::string_view(list.constData(), static_cast<std::size_t>(list.size())));
  return paths->empty() ? FALSE : TRUE;
}

BOOL SetClipboardFiles(const std::vector<std::string>& paths) {
  if (!ClipboardOpen()) return FALSE;
  auto* data = new QMimeData;
  data->setData(kUriList, QByteArray::fromStdString(UriListOfPaths(paths)));
  data->setData(kGnomeFiles, QByteArray::fromStdString(GnomeCopiedFilesOfPaths(paths)));
  QApplication::clipboard()->setMimeData(data);
  return TRUE;
}
