// A dialog service for tests: answers come from a queue the test fills before the product asks,
// and every question is recorded. Installed for the life of the object:
//
//   ScriptedDialogs dialogs;
//   dialogs.answerSave("/tmp/x/out.gpg", [](HWND panel) { CheckDlgButton(panel, 1001, 1); });
//   ... product code calls GetSaveFileName ...
//   EXPECT_EQ(dialogs.asked().back().title, "Save As");
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/gui/dialog_service.h"

class ScriptedDialogs : public DialogService {
 public:
  enum class Kind { MessageBox, Open, Save, OverwritePrompt, PopupMenu, OpenUrl };

  // One question the product asked.
  struct Question {
    Kind kind = Kind::MessageBox;
    HWND owner = nullptr;
    std::string caption;        // message box caption, file dialog title
    std::string text;           // message box and overwrite prompt text, address opened
    UINT type = 0;              // message box type
    FileDialogRequest file;     // open and save dialogs
    POINT point;                // pop-up menu: the screen point it was tracked at
    std::vector<UINT> menuIds;  // pop-up menu: the ids it offered, in order
  };

  ScriptedDialogs();
  ~ScriptedDialogs() override;
  ScriptedDialogs(const ScriptedDialogs&) = delete;
  ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

  // ---- The next answers, taken in order per kind.
  void answerMessageBox(int buttonId);
  // The user picks these files (one or several); an empty list cancels.
  void answerOpen(std::vector<std::string> paths);
  void cancelOpen() { answerOpen({}); }
  // The user types `path` and presses Save. `beforeOk` runs with the options panel's window
  // after the hook's WM_INITDIALOG and before CDN_FILEOK, as the user's clicks in the panel.
  // When the file exists and the dialog asks before replacing it (OFN_OVERWRITEPROMPT), the
  // user answers `replaceExisting` (recorded as an OverwritePrompt question).
  // When the name is not taken (the user says No, or the hook refuses it) the next save answer
  // is tried; none left cancels.
  void answerSave(std::string path, std::function<void(HWND panel)> beforeOk = {},
                  bool replaceExisting = true);
  void cancelSave() { answerSave({}); }
  // The item chosen from the next pop-up menu; 0 dismisses it.
  void answerPopupMenu(UINT id);

  // ---- What was asked, in order.
  const std::vector<Question>& asked() const { return m_asked; }
  std::vector<Question> asked(Kind kind) const;
  // Addresses ShellExecute was asked to open (none is opened).
  std::vector<std::string> openedUrls() const;
  // Questions that found no answer queued (they got: IDOK / IDNO, cancel, no item).
  int unanswered() const { return m_unanswered; }
  // Names refused by a hook's CDN_FILEOK.
  const std::vector<std::string>& refusedNames() const { return m_refused; }

  // DialogService
  int messageBox(HWND owner, const std::string& text, const std::string& caption,
                 UINT type) override;
  std::vector<std::string> chooseFiles(HWND owner, const FileDialogRequest& request,
                                       FileDialogPanel* panel) override;
  UINT trackPopupMenu(HMENU menu, int x, int y, HWND owner) override;
  bool openUrl(const std::string& address) override;

 private:
  struct SaveAnswer {
    std::string path;
    std::function<void(HWND)> beforeOk;
    bool replaceExisting = true;
  };
  std::deque<int> m_messageBoxes;
  std::deque<std::vector<std::string>> m_opens;
  std::deque<SaveAnswer> m_saves;
  std::deque<UINT> m_menus;
  std::vector<Question> m_asked;
  std::vector<std::string> m_refused;
  int m_unanswered = 0;
  DialogService* m_previous = nullptr;
};
