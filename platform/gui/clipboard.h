// The system clipboard. Formats: CF_TEXT and CF_UNICODETEXT are text (UTF-8 bytes here), CF_HDROP
// a copied file list.
#pragma once

#include <string>
#include <vector>

#include "platform/gui/win_api.h"

constexpr UINT CF_TEXT = 1;
constexpr UINT CF_UNICODETEXT = 13;
constexpr UINT CF_HDROP = 15;

BOOL OpenClipboard(HWND owner);
BOOL CloseClipboard();
BOOL EmptyClipboard();
BOOL IsClipboardFormatAvailable(UINT format);
// What a look at the clipboard for a format found. An owner that does not answer looks, to Qt,
// like an empty clipboard after a wait of seconds; OwnerSilent tells the two apart.
enum class ClipboardAnswer { Offered, NotOffered, OwnerSilent };
ClipboardAnswer QueryClipboardFormat(UINT format);
// Text formats: the bytes of the text as its owner gave them (UTF-8 or not), without a
// terminator. CF_HDROP: see the file list calls.
// undecodable, when given, is set when the text reached Qt only as a decoded QString (X11's
// UTF8_STRING, which Qt hands out no other way) and holds U+FFFD: bytes that were not UTF-8
// may have been replaced, and what is returned need not be what the owner gave.
BOOL GetClipboardBytes(UINT format, std::string* bytes, bool* undecodable = nullptr);
// FALSE also when the system did not give the clipboard to this program: the contents are not
// there for others.
BOOL SetClipboardBytes(UINT format, const std::string& bytes);
// notLocal, when given, receives the addresses that name files of another host (skipped).
BOOL GetClipboardFiles(std::vector<std::string>* paths,
                       std::vector<std::string>* notLocal = nullptr);
BOOL SetClipboardFiles(const std::vector<std::string>& paths);

// Whether only a window with the keyboard focus may set the clipboard (Wayland): an operation
// that puts its result there waits for its window to be active.
bool ClipboardNeedsFocus();

// The system clipboard as one operation uses it, on behalf of an owner window (null: the whole
// program). Looking at what it offers needs no opening; reading and writing open it at the first
// use, and it is closed on every way out.
class Clipboard {
 public:
  explicit Clipboard(HWND owner = nullptr) : m_owner(owner) {}
  ~Clipboard() {
    if (m_open) CloseClipboard();
  }
  Clipboard(const Clipboard&) = delete;
  Clipboard& operator=(const Clipboard&) = delete;

  ClipboardAnswer Offers(UINT format) const { return QueryClipboardFormat(format); }
  // False when another window holds it open.
  bool Open() {
    if (!m_open) m_open = OpenClipboard(m_owner) != FALSE;
    return m_open;
  }
  bool ReadBytes(UINT format, std::string* bytes, bool* undecodable = nullptr) {
    return Open() && GetClipboardBytes(format, bytes, undecodable) != FALSE;
  }
  // False also when the system kept the bytes off the clipboard (see SetClipboardBytes).
  bool WriteBytes(UINT format, const std::string& bytes) {
    return Open() && SetClipboardBytes(format, bytes) != FALSE;
  }
  bool Empty() { return Open() && EmptyClipboard() != FALSE; }
  bool ReadFiles(std::vector<std::string>* paths, std::vector<std::string>* notLocal = nullptr) {
    return Open() && GetClipboardFiles(paths, notLocal) != FALSE;
  }

 private:
  HWND m_owner;
  bool m_open = false;
};
