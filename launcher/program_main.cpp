// Zembra: the program that associated files open. Its file arguments are processed by their
// endings in the operations window (decrypt, verify, import); without one the window opens
// empty. "Zembra --associations" shows the file associations dialog and applies its choices.
// "Zembra --clipboard encrypt|decrypt|sign|verify" runs a clipboard operation in the operations
// window, where its log shows; the window stays open until the user closes it, and the result
// stays on the clipboard after the program has ended (the desktop's clipboard manager takes it).
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/core/format.h"
#include "platform/core/process.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/display.h"
#include "zembra/associations/dlg_file_associations.h"
#include "zembra/associations/file_associations.h"
#include "zembra/engine/engine.h"
#include "zembra/engine/message_ids.h"
#include "zembra/keys/settings.h"
#include "zembra/operations/messages.h"
#include "zembra/ui/dlg_progress.h"

namespace {

struct ClipboardVerb {
  std::string_view name;
  e_command command;
};
constexpr ClipboardVerb kClipboardVerbs[] = {
    {"encrypt", cmdEncrypt}, {"decrypt", cmdDecrypt}, {"sign", cmdSign}, {"verify", cmdVerify}};

// Posted to itself once the window is up, so that the operation runs with its log in place.
constexpr UINT kRunClipboardOperation = WM_USER + 0x100;

// Encryption and signing of clipboard text need the keys the window offers: they are the
// window's own job without files (at once with default keys in use, else once keys are chosen).
// Decryption and verification need no keys: the window hosts the library's entry point for host
// programs, which opens a window of its own on a copied file list. They run once the window is
// up, and under Wayland once it has the focus, without which the result could not be set.
class CClipboardWindow : public CDlgProgress {
 public:
  CClipboardWindow(const FileList* none, e_command command)
      : CDlgProgress(none, NeedsKeys(command) ? command : cmdNone), m_command(command) {}

  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                            LRESULT& result, DWORD msgMapId = 0) override {
    if (message == kRunClipboardOperation) {
      CDlgProgress* dialog = nullptr;
      ClipboardOperation(m_hWnd, dialog, m_command);
      result = 0;
      return TRUE;
    }
    const BOOL handled =
        CDlgProgress::ProcessWindowMessage(window, message, wParam, lParam, result, msgMapId);
    // Under Wayland only the window with the focus may put the result on the clipboard.
    const bool due = message == WM_INITDIALOG
                         ? !ClipboardNeedsFocus()
                         : message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE;
    if (due && !m_started && !NeedsKeys(m_command)) {
      m_started = true;
      PostMessage(m_hWnd, kRunClipboardOperation, 0, 0);
    }
    return handled;
  }

 private:
  static bool NeedsKeys(e_command command) { return command == cmdEncrypt || command == cmdSign; }

  e_command m_command;
  bool m_started = false;
};

bool UseDefaultKeysSaved() {
  DWORD value = 0;
  return LoadUseDefaultKeys(nullptr, value) == ERROR_SUCCESS && value != 0;
}

// cmdNone for a word that names no clipboard action.
e_command ClipboardCommand(std::string_view word) {
  for (const ClipboardVerb& known : kClipboardVerbs) {
    if (known.name == word) return known.command;
  }
  return cmdNone;
}

void RunClipboardAction(e_command command) {
  const FileList none;
  CClipboardWindow window(&none, command);
  window.SetUseDefaultKeys(UseDefaultKeysSaved());
  window.DoModal(GetActiveWindow(), 0);
}

}  // namespace

int main(int argc, char** argv) {
  IgnoreFileSizeLimitSignal();
  // A mistyped action is said before anything else, display or not.
  const bool clipboard = argc >= 2 && std::strcmp(argv[1], "--clipboard") == 0;
  const e_command clipboardCommand = clipboard && argc == 3 ? ClipboardCommand(argv[2]) : cmdNone;
  if (clipboard && clipboardCommand == cmdNone) {
    const std::string said =
        FormatText(LoadMessage(IDS_UNKNOWN_CLIPBOARD_ACTION), argc == 3 ? argv[2] : "");
    std::fputs(said.c_str(), stderr);
    return 2;
  }
  // The engine's query runs while Qt starts; the associations dialog needs no engine.
  const bool associations = argc == 2 && std::strcmp(argv[1], "--associations") == 0;
  std::optional<EngineWarmUp> engineWarmUp;
  if (!associations) engineWarmUp.emplace();
  // The library's windows fail quietly in a host without a display; a program says so.
  if (!OpenDisplay()) {
    ReportNoDisplay();
    return 1;
  }
  if (clipboard) {
    RunClipboardAction(clipboardCommand);
    CloseDisplay();
    return 0;
  }
  if (associations) {
    {
      CDlgFileAssociations dialog;
      if (dialog.Exec(GetActiveWindow(), 0) == IDOK) SetupFileAssociations();
    }
    CloseDisplay();
    return 0;
  }
  FileList files;
  for (int i = 1; i < argc; ++i) files.emplace_back(argv[i]);
  {
    CDlgProgress window(&files, files.empty() ? cmdNone : cmdAuto);
    window.SetUseDefaultKeys(UseDefaultKeysSaved());
    window.DoModal(GetActiveWindow(), 0);
  }
  CloseDisplay();
  return 0;
}
