// The clipboard over QClipboard. Text is UTF-8 (text/plain;charset=utf-8 and text/plain); a file
// list is text/uri-list plus the file managers' x-special/gnome-copied-files. Paths stay native
// bytes: they pass through QFile's own name coding both ways.
#include "platform/gui/clipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMimeData>
#include <QUrl>

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

const QMimeData* Contents() {
  EnsureApplication();
  return QApplication::clipboard()->mimeData();
}

bool IsText(UINT format) { return format == CF_TEXT || format == CF_UNICODETEXT; }

}  // namespace

BOOL OpenClipboard(HWND owner) {
  if (ClipboardOpen()) return FALSE;
  EnsureApplication();
  ClipboardOpen() = true;
  return TRUE;
}

BOOL CloseClipboard() {
  if (!ClipboardOpen()) return FALSE;
  ClipboardOpen() = false;
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
    for (const QUrl& url : data->urls()) {
      if (url.isLocalFile()) return TRUE;
    }
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
  paths->clear();
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths->push_back(QFile::encodeName(url.toLocalFile()).toStdString());
  }
  return paths->empty() ? FALSE : TRUE;
}

BOOL SetClipboardFiles(const std::vector<std::string>& paths) {
  if (!ClipboardOpen()) return FALSE;
  auto* data = new QMimeData;
  QList<QUrl> urls;
  QByteArray gnome("copy");
  for (const std::string& path : paths) {
    const QUrl url = QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(path)));
    urls.append(url);
    gnome += '\n';
    gnome += url.toEncoded();
  }
  data->setUrls(urls);
  data->setData(kGnomeFiles, gnome);
  QApplication::clipboard()->setMimeData(data);
  return TRUE;
}
