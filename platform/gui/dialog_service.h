// The one service behind message boxes, file dialogs, pop-up menus and opening addresses. The
// product calls the functions of common_dialogs.h, menu.h and shell.h; they ask the installed
// service what the user chose. The default service shows real Qt dialogs; tests install a
// scripted one (scripted_dialogs.h).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/gui/common_dialogs.h"
#include "platform/gui/menu.h"
#include "platform/gui/win_api.h"

// What an open or save dialog was asked to show.
struct FileDialogRequest {
  bool save = false;
  std::string title;
  std::vector<std::pair<std::string, std::string>> filters;  // (text, patterns)
  DWORD filterIndex = 1;
  std::string initialDir;
  std::string initialName;
  std::string defaultExtension;
  DWORD flags = 0;
  bool hasPanel = false;
};

// The options panel of a save or open dialog, with the hook that watches it.
class FileDialogPanel {
 public:
  virtual ~FileDialogPanel() = default;
  // Makes the panel's controls inside `parent` (null: a panel without a window) and sends the
  // hook WM_INITDIALOG. Returns the panel's window.
  virtual HWND create(HWND parent) = 0;
  // The user accepted `path`: the hook sees CDN_FILEOK. False when it refuses the name.
  virtual bool fileOk(const std::string& path) = 0;
};

class DialogService {
 public:
  virtual ~DialogService() = default;
  virtual int messageBox(HWND owner, const std::string& text, const std::string& caption,
                         UINT type) = 0;
  // The chosen paths (one for a save dialog); empty when cancelled. `panel` may be null.
  virtual std::vector<std::string> chooseFiles(HWND owner, const FileDialogRequest& request,
                                               FileDialogPanel* panel) = 0;
  // The chosen item's id, 0 for none. `x`, `y` in screen coordinates.
  virtual UINT trackPopupMenu(HMENU menu, int x, int y, HWND owner) = 0;
  // Opens an address in the desktop's browser; false when that failed.
  virtual bool openUrl(const std::string& address) = 0;
};

// The service in use (the Qt one unless another is installed); SetDialogService(nullptr) goes
// back to it. Returns the one installed before.
DialogService* CurrentDialogService();
DialogService* SetDialogService(DialogService* service);

// The path with the request's default extension added when its name has none.
std::string WithDefaultExtension(const std::string& path, const FileDialogRequest& request);

// The question a save dialog asks before it replaces an existing file.
std::string OverwritePromptText(const std::string& path);
