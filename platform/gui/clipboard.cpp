// The clipboard over QClipboard. Text is UTF-8 (text/plain;charset=utf-8 and text/plain); a file
// list is text/uri-list plus the file managers' x-special/gnome-copied-files. Paths stay native
// bytes from end to end.
#include "platform/gui/clipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMimeData>

#include <string_view>

#include "platform/gui/file_uri_list.h"
#include "platform/gui/qt_window.h"

using gui_detail::EnsureApplication;

namespace {

constexpr const char* kUtf8Text = "text/plain;charset=utf-8";
constexpr const char* kPlainText = "text/plain";
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";
constexpr const char* kUriList = "text/uri-list";
constexpr const char* kGnomeFiles = "x-special/gnome-copied-files";

// The clipboard as this program has it: open or not, by which window (a null owner stands for
// the whole single-threaded program).
struct ClipboardState {
  bool open = false;
  HWND owner = nullptr;
};

ClipboardState& State() {
  static ClipboardState state;
  return state;
}

bool& ClipboardOpen() { return State().open; }
HWND& ClipboardOwner() { return State().owner; }

const QMimeData* Contents() {
  if (!EnsureApplication()) return nullptr;
  return QApplication::clipboard()->mimeData();
}

bool IsText(UINT format) { return format == CF_TEXT || format == CF_UNICODETEXT; }

// Qt reports no failure to take the clipboard, and ownsClipboard() says only that it tried: X11
// ignores a claim older than the current owner's (a program that copied while the engine
// worked), and a Wayland compositor cancels the claim of a client without the keyboard focus a
// moment later. Qt hands back its own contents only while the system names it the owner.
BOOL Publish(QMimeData* data) {
  QClipboard* clipboard = QApplication::clipboard();
  clipboard->setMimeData(data);
  if (QGuiApplication::platformName() == QLatin1String("wayland")) {
    // The compositor's answer comes after a round trip; the user's input waits meanwhile.
    QElapsedTimer waited;
    waited.start();
    while (clipboard->mimeData() == data && waited.elapsed() < 200)
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  return clipboard->mimeData() == data ? TRUE : FALSE;
}

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
  return QueryClipboardFormat(format) == ClipboardAnswer::Offered ? TRUE : FALSE;
}

ClipboardAnswer QueryClipboardFormat(UINT format) {
  // Qt waits 5 s for the owner's list of formats (X11) and then reports none, as it does at once
  // for an empty clipboard: a list that took most of that wait to come back empty was never
  // sent. The list is asked for once here, so such an owner costs one wait, not one per format.
  QElapsedTimer waited;
  waited.start();
  const QMimeData* data = Contents();
  const QStringList formats = data != nullptr ? data->formats() : QStringList();
  if (formats.isEmpty()) {
    return waited.elapsed() >= 4000 ? ClipboardAnswer::OwnerSilent : ClipboardAnswer::NotOffered;
  }
  bool offered = false;
  if (IsText(format)) offered = formats.contains(kUtf8Text) || formats.contains(kPlainText);
  if (format == CF_HDROP) offered = formats.contains(kUriList) || formats.contains(kGnomeFiles);
  return offered ? ClipboardAnswer::Offered : ClipboardAnswer::NotOffered;
}

BOOL GetClipboardBytes(UINT format, std::string* bytes, bool* undecodable) {
  if (undecodable) *undecodable = false;
  if (!ClipboardOpen() || bytes == nullptr || !IsText(format)) return FALSE;
  const QMimeData* data = Contents();
  if (data == nullptr) return FALSE;
  // The owner's bytes, never a decoded and re-encoded copy of them.
  const QStringList formats = data->formats();
  if (formats.contains(kUtf8Text)) {
    *bytes = data->data(kUtf8Text).toStdString();
    return TRUE;
  }
  if (!formats.contains(kPlainText)) return FALSE;
  // Here Qt may have decoded the owner's bytes into a QString on the way: X11's UTF8_STRING comes
  // only so, and each byte that was not UTF-8 became U+FFFD. In-process and on Wayland the bytes
  // come as they are.
  *bytes = data->data(kPlainText).toStdString();
  if (undecodable) *undecodable = bytes->find(kReplacementCharacter) != std::string::npos;
  return TRUE;
}

BOOL SetClipboardBytes(UINT format, const std::string& bytes) {
  if (!ClipboardOpen() || !IsText(format)) return FALSE;
  auto* data = new QMimeData;
  const QByteArray utf8 = QByteArray::fromStdString(bytes);
  data->setData(kUtf8Text, utf8);
  data->setData(kPlainText, utf8);
  return Publish(data);
}

bool ClipboardNeedsFocus() {
  return EnsureApplication() && QGuiApplication::platformName() == QLatin1String("wayland");
}

BOOL GetClipboardFiles(std::vector<std::string>* paths, std::vector<std::string>* notLocal) {
  if (!ClipboardOpen() || paths == nullptr) return FALSE;
  const QMimeData* data = Contents();
  if (data == nullptr) return FALSE;
  QByteArray list = data->data(kUriList);
  if (list.isEmpty()) list = data->data(kGnomeFiles);
  *paths = PathsOfUriList(std::string_view(list.constData(), static_cast<std::size_t>(list.size())),
                          notLocal);
  return paths->empty() ? FALSE : TRUE;
}

BOOL SetClipboardFiles(const std::vector<std::string>& paths) {
  if (!ClipboardOpen()) return FALSE;
  auto* data = new QMimeData;
  data->setData(kUriList, QByteArray::fromStdString(UriListOfPaths(paths)));
  data->setData(kGnomeFiles, QByteArray::fromStdString(GnomeCopiedFilesOfPaths(paths)));
  return Publish(data);
}
