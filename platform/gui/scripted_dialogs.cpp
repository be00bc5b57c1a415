// The scripted dialog service: queued answers, recorded questions, no screen.
#include "platform/gui/scripted_dialogs.h"

#include "platform/core/files.h"
#include "platform/gui/menu_data.h"

ScriptedDialogs::ScriptedDialogs() : m_previous(SetDialogService(this)) {}

ScriptedDialogs::~ScriptedDialogs() { SetDialogService(m_previous); }

void ScriptedDialogs::answerMessageBox(int buttonId) { m_messageBoxes.push_back(buttonId); }

void ScriptedDialogs::answerOpen(std::vector<std::string> paths) {
  m_opens.push_back(std::move(paths));
}

void ScriptedDialogs::answerSave(std::string path, std::function<void(HWND)> beforeOk,
                                 bool replaceExisting) {
  m_saves.push_back({std::move(path), std::move(beforeOk), replaceExisting});
}

void ScriptedDialogs::answerPopupMenu(UINT id) { m_menus.push_back(id); }

std::vector<ScriptedDialogs::Question> ScriptedDialogs::asked(Kind kind) const {
  std::vector<Question> found;
  for (const Question& question : m_asked) {
    if (question.kind == kind) found.push_back(question);
  }
  return found;
}

std::vector<std::string> ScriptedDialogs::openedUrls() const {
  std::vector<std::string> urls;
  for (const Question& question : m_asked) {
    if (question.kind == Kind::OpenUrl) urls.push_back(question.text);
  }
  return urls;
}

int ScriptedDialogs::messageBox(HWND owner, const std::string& text, const std::string& caption,
                                UINT type) {
  Question question;
  question.kind = Kind::MessageBox;
  question.owner = owner;
  question.caption = caption;
  question.text = text;
  question.type = type;
  m_asked.push_back(question);
  if (m_messageBoxes.empty()) {
    ++m_unanswered;
    return (type & 0xF) == MB_YESNO ? IDNO : IDOK;
  }
  const int answer = m_messageBoxes.front();
  m_messageBoxes.pop_front();
  return answer;
}

std::vector<std::string> ScriptedDialogs::chooseFiles(HWND owner, const FileDialogRequest& request,
                                                      FileDialogPanel* panel) {
  Question question;
  question.kind = request.save ? Kind::Save : Kind::Open;
  question.owner = owner;
  question.caption = request.title;
  question.file = request;
  m_asked.push_back(question);
  // The panel's controls exist and the hook has seen WM_INITDIALOG before any answer.
  const HWND window = panel != nullptr ? panel->create(nullptr) : nullptr;
  if (!request.save) {
    if (m_opens.empty()) {
      ++m_unanswered;
      return {};
    }
    std::vector<std::string> paths = std::move(m_opens.front());
    m_opens.pop_front();
    if (!paths.empty() && panel != nullptr && !panel->fileOk(paths.front())) {
      m_refused.push_back(paths.front());
      return {};
    }
    return paths;
  }
  if (m_saves.empty()) ++m_unanswered;
  while (!m_saves.empty()) {
    SaveAnswer answer = std::move(m_saves.front());
    m_saves.pop_front();
    if (answer.path.empty()) return {};
    if (answer.beforeOk) answer.beforeOk(window);
    const std::string path = WithDefaultExtension(answer.path, request);
    if ((request.flags & OFN_OVERWRITEPROMPT) != 0 && PathExists(path)) {
      Question prompt;
      prompt.kind = Kind::OverwritePrompt;
      prompt.owner = owner;
      prompt.caption = request.title;
      prompt.text = OverwritePromptText(path);
      m_asked.push_back(prompt);
      if (!answer.replaceExisting) continue;
    }
    if (panel != nullptr && !panel->fileOk(path)) {
      m_refused.push_back(path);
      continue;
    }
    return {path};
  }
  return {};
}

UINT ScriptedDialogs::trackPopupMenu(HMENU menu, int x, int y, HWND owner) {
  Question question;
  question.kind = Kind::PopupMenu;
  question.owner = owner;
  question.point.x = x;
  question.point.y = y;
  if (const gui_detail::MenuNode* node = gui_detail::MenuOf(menu)) {
    for (const gui_detail::MenuNode& item : node->children) {
      if (!item.separator && !item.popup) question.menuIds.push_back(item.id);
    }
  }
  m_asked.push_back(question);
  if (m_menus.empty()) {
    ++m_unanswered;
    return 0;
  }
  const UINT id = m_menus.front();
  m_menus.pop_front();
  return id;
}

bool ScriptedDialogs::openUrl(const std::string& address) {
  Question question;
  question.kind = Kind::OpenUrl;
  question.text = address;
  m_asked.push_back(question);
  return true;
}
