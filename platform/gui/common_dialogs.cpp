// Message boxes and open/save dialogs: what the product's OPENFILENAME asks, put to the dialog
// service, and the answer written back the way the product reads it.
#include "platform/gui/common_dialogs.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/gui/dialog_service.h"
#include "platform/gui/qt_window.h"

using namespace gui_detail;

namespace {

DWORD& LastDialogError() {
  static DWORD error = 0;
  return error;
}

std::vector<std::pair<std::string, std::string>> ParseFilters(const char* filter) {
  std::vector<std::pair<std::string, std::string>> filters;
  if (filter == nullptr) return filters;
  while (*filter != '\0') {
    std::string text = filter;
    filter += text.size() + 1;
    std::string pattern = filter;
    filter += pattern.size() + 1;
    filters.emplace_back(std::move(text), std::move(pattern));
    if (filters.back().second.empty()) break;  // a malformed list ends here
  }
  return filters;
}

FileDialogRequest RequestOf(const OPENFILENAME& ofn, bool save) {
  FileDialogRequest request;
  request.save = save;
  request.title = ofn.lpstrTitle != nullptr ? ofn.lpstrTitle : "";
  request.filters = ParseFilters(ofn.lpstrFilter);
  request.filterIndex = ofn.nFilterIndex;
  request.initialDir = ofn.lpstrInitialDir != nullptr ? ofn.lpstrInitialDir : "";
  if (ofn.lpstrFile != nullptr && ofn.nMaxFile > 0) {
    request.initialName.assign(ofn.lpstrFile, strnlen(ofn.lpstrFile, ofn.nMaxFile));
  }
  request.defaultExtension = ofn.lpstrDefExt != nullptr ? ofn.lpstrDefExt : "";
  request.flags = ofn.Flags;
  return request;
}

// Offsets of the name and of its extension in a full path.
void SetOffsets(OPENFILENAME* ofn, const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
  ofn->nFileOffset = static_cast<WORD>(nameAt);
  const size_t dot = path.rfind('.');
  ofn->nFileExtension = dot != std::string::npos && dot >= nameAt ? static_cast<WORD>(dot + 1) : 0;
}

// Writes the result into the product's buffer; false (FNERR_BUFFERTOOSMALL) when it does not fit.
bool WriteResult(OPENFILENAME* ofn, const std::vector<std::string>& paths) {
  std::string result;
  if (paths.size() == 1) {
    result = paths.front();
    result.push_back('\0');
    SetOffsets(ofn, paths.front());
  } else {
    // "folder\0name\0name\0\0": the folder of the first name holds them all.
    const std::string& first = paths.front();
    const size_t slash = first.rfind('/');
    std::string folder = slash == std::string::npos ? "." : first.substr(0, slash);
    if (folder.empty()) folder = "/";
    result = folder;
    result.push_back('\0');
    ofn->nFileOffset = static_cast<WORD>(result.size());
    ofn->nFileExtension = 0;
    for (const std::string& path : paths) {
      const size_t at = path.rfind('/');
      result += at == std::string::npos ? path : path.substr(at + 1);
      result.push_back('\0');
    }
    result.push_back('\0');
  }
  if (ofn->lpstrFile == nullptr || result.size() > ofn->nMaxFile) {
    // As on Windows: the first two bytes of the buffer give the size it needs.
    if (ofn->lpstrFile != nullptr && ofn->nMaxFile >= 2) {
      const auto needed = static_cast<WORD>(std::min<size_t>(result.size(), 0xFFFF));
      std::memcpy(ofn->lpstrFile, &needed, sizeof needed);
    }
    return false;
  }
  std::memcpy(ofn->lpstrFile, result.data(), result.size());
  return true;
}

// The options panel and its hook.
class HookedPanel : public FileDialogPanel {
 public:
  explicit HookedPanel(OPENFILENAME* ofn) : m_ofn(ofn) {}
  ~HookedPanel() override { delete m_window.data(); }

  HWND create(HWND parent) override {
    if (!EnsureApplication()) return nullptr;
    static const DialogTemplate empty;
    const DialogTemplate& layout =
        (m_ofn->Flags & OFN_ENABLETEMPLATE) != 0 && m_ofn->lpTemplate != nullptr
            ? *m_ofn->lpTemplate
            : empty;
    auto* window = new DialogWindow(layout, WidgetOf(parent), true);
    m_window = window;
    OPENFILENAME* ofn = m_ofn;
    window->setHandler(
        [ofn](HWND panel, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) -> BOOL {
          if (ofn->lpfnHook == nullptr || (ofn->Flags & OFN_ENABLEHOOK) == 0) return FALSE;
          result = static_cast<LRESULT>(ofn->lpfnHook(panel, message, wParam, lParam));
          return result != 0 ? TRUE : FALSE;
        });
    const HWND panel = HwndOf(window);
    // Re-parenting the dialog into a plain child hid it; inside a file dialog it shows with it.
    // (Placed first: QDialog would otherwise centre itself on showing.)
    if (window->parentWidget() != nullptr) {
      window->move(0, 0);
      window->show();
    }
    window->dispatch(WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(m_ofn));
    if (m_window) notify(CDN_INITDONE, nullptr);
    return panel;
  }

  bool fileOk(const std::string& path) override {
    // The hook reads the name from the product's buffer, as it would on Windows.
    if (m_ofn->lpstrFile != nullptr && m_ofn->nMaxFile > path.size()) {
      std::memcpy(m_ofn->lpstrFile, path.c_str(), path.size() + 1);
      SetOffsets(m_ofn, path);
    }
    return notify(CDN_FILEOK, path.c_str()) == 0;
  }

 private:
  LRESULT notify(UINT code, const char* file) {
    if (!m_window) return 0;
    OFNOTIFY note;
    note.hdr.hwndFrom = HwndOf(m_window);
    note.hdr.idFrom = 0;
    note.hdr.code = code;
    note.lpOFN = m_ofn;
    note.pszFile = file;
    return m_window->dispatch(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&note));
  }

  OPENFILENAME* m_ofn;
  QPointer<DialogWindow> m_window;
};

BOOL RunFileDialog(OPENFILENAME* ofn, bool save) {
  LastDialogError() = 0;
  if (ofn == nullptr) return FALSE;
  FileDialogRequest request = RequestOf(*ofn, save);
  std::unique_ptr<HookedPanel> panel;
  if (((ofn->Flags & OFN_ENABLETEMPLATE) != 0 && ofn->lpTemplate != nullptr) ||
      ((ofn->Flags & OFN_ENABLEHOOK) != 0 && ofn->lpfnHook != nullptr)) {
    panel = std::make_unique<HookedPanel>(ofn);
    request.hasPanel = true;
  }
  std::vector<std::string> paths =
      CurrentDialogService()->chooseFiles(ofn->hwndOwner, request, panel.get());
  if (paths.empty()) return FALSE;
  if (save || (ofn->Flags & OFN_ALLOWMULTISELECT) == 0) paths.resize(1);
  if (!WriteResult(ofn, paths)) {
    LastDialogError() = FNERR_BUFFERTOOSMALL;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

std::string WithDefaultExtension(const std::string& path, const FileDialogRequest& request) {
  if (request.defaultExtension.empty()) return path;
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name.find('.') != std::string::npos) return path;
  return path + "." + request.defaultExtension;
}

std::string OverwritePromptText(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return name + " already exists.\nDo you want to replace it?";
}

int MessageBox(HWND owner, const char* text, const char* caption, UINT type) {
  return CurrentDialogService()->messageBox(owner, text != nullptr ? text : "",
                                            caption != nullptr ? caption : "", type);
}

BOOL GetOpenFileName(OPENFILENAME* ofn) { return RunFileDialog(ofn, false); }

BOOL GetSaveFileName(OPENFILENAME* ofn) { return RunFileDialog(ofn, true); }

DWORD CommDlgExtendedError() { return LastDialogError(); }

std::string SystemMessageText(DWORD code) {
  switch (code) {
    case 0: return "The operation completed successfully.\r\n";
    case 2: return "The system cannot find the file specified.\r\n";
    case 3: return "The system cannot find the path specified.\r\n";
    case 5: return "Access is denied.\r\n";
    case 8: return "Not enough memory resources are available to process this command.\r\n";
    case 87: return "The parameter is incorrect.\r\n";
    case 1223: return "The operation was canceled by the user.\r\n";
    default: return "";
  }
}
