#include "zembra/operations/job.h"

#include <iterator>

#include "platform/core/log.h"
#include "platform/core/text.h"
#include "zembra/operations/messages.h"
#include "zembra/operations/window_commands.h"

namespace {

// Indexed by e_command from cmdNone to cmdVerify.
constexpr int kStartCommand[] = {
    0, ID_AUTO_PROCESS_FILES, ID_MENU_ENCRYPT, ID_DECRYPT_FILES, ID_MENU_SIGN, ID_MENU_VERIFY};
constexpr const char* kButtonName[] = {"", "Encrypt", "Encrypt", "Decrypt", "Sign", "Verify"};
static_assert(std::size(kStartCommand) == cmdVerify + 1);
static_assert(std::size(kButtonName) == cmdVerify + 1);

bool IsStartable(e_command command) { return command >= cmdAuto && command <= cmdVerify; }

// Decryptions and verifications run together in a job; an import changes the key ring that
// those after it may need, so it runs alone.
bool Together(FileAction action) {
  return action == FileAction::Decrypt || action == FileAction::Verify;
}

bool HasEnding(std::string_view name, std::string_view ending) {
  return name.size() > ending.size() &&
         EqualsNoCase(name.substr(name.size() - ending.size()), ending);
}

}  // namespace

FileAction ActionForName(std::string_view name) {
  if (HasEnding(name, ".signed.gpg")) return FileAction::Verify;
  if (HasEnding(name, ".gpg") || HasEnding(name, ".pgp")) return FileAction::Decrypt;
  if (HasEnding(name, ".asc")) return FileAction::Import;
  return FileAction::Wait;
}

Job::Job(int argc, char** argv) {
  if (argv == nullptr || argc < 2 || argv[1] == nullptr) return;
  m_command = static_cast<e_command>(ParseLeadingInt(argv[1]));
  for (int i = 2; i < argc; ++i) m_files.emplace_back(argv[i]);
}

Job::Job(const FileList* files, e_command command) : m_command(command) {
  if (files != nullptr) m_files = *files;
}

JobStart Job::Start(bool haveKeys, bool defaultKeysInUse) const {
  JobStart start;
  if (IsStartable(m_command) && !m_files.empty()) {
    start.keysPrompt = !haveKeys;
    start.command = kStartCommand[m_command];
  } else if (m_files.empty() && (m_command == cmdEncrypt || m_command == cmdSign)) {
    if (defaultKeysInUse)
      start.command = m_command == cmdEncrypt ? ID_ENCRYPT_CLIPBOARD : ID_MENU_SIGN_CLIPBOARD;
    else
      start.defaultCommand = IDC_ENCRYPT_CLIPBOARD;
  }
  return start;
}

void Job::LogKeysPrompt() const {
  if (!IsStartable(m_command) || m_files.empty()) return;
  LogRes(IDS_KEYS_PROMPT, kButtonName[m_command], static_cast<int>(m_files.size()), m_files.front(),
         m_files.size() == 1 ? "" : " and others");
}

std::size_t Job::RunTogether(std::size_t first,
                             const std::function<void(FileList& paths)>& together) {
  std::vector<std::size_t> at;  // where the run's paths are in the list
  FileList paths;
  std::size_t end = first;
  for (; end < m_files.size(); ++end) {
    const FileAction action = ActionForName(m_files[end]);
    if (action == FileAction::Wait) continue;
    if (!Together(action)) break;
    at.push_back(end);
    paths.push_back(m_files[end]);
  }
  FileList left = paths;
  together(left);
  // Those left are matched from the back: of two equal paths, the later is the one not done.
  std::vector<bool> done(paths.size(), true);
  for (std::size_t i = paths.size(), l = left.size(); i-- > 0 && l > 0;) {
    if (paths[i] != left[l - 1]) continue;
    done[i] = false;
    --l;
  }
  std::size_t removed = 0;
  for (std::size_t i = at.size(); i-- > 0;) {
    if (!done[i]) continue;
    m_files.erase(m_files.begin() + static_cast<std::ptrdiff_t>(at[i]));
    ++removed;
  }
  return end - removed;
}

void Job::AutoProcess(const std::function<void(FileAction, const std::string&)>& act,
                      const std::function<bool()>& stopped,
                      const std::function<void(FileList& paths)>& together) {
  if (m_files.empty() || m_command != cmdAuto) return;
  std::size_t i = 0;
  while (i < m_files.size()) {
    const std::string name = m_files[i];  // a copy: the operation may outlive the entry
    const FileAction action = ActionForName(name);
    if (action == FileAction::Wait) {
      ++i;
      continue;
    }
    if (Together(action) && together) {
      i = RunTogether(i, together);
      if (stopped && stopped()) break;
      continue;
    }
    act(action, name);
    if (stopped && stopped()) break;  // the file cancelled stays, with those after it
    m_files.erase(m_files.begin() + static_cast<std::ptrdiff_t>(i));
  }
  m_command = cmdNone;
}
