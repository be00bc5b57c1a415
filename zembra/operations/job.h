// The job of the operations window as a value: its command and file list, how it starts, and
// the sorting of automatic processing by name ending. The window holds one and acts on it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The command of a job; the same numbers travel on the launcher's command line.
enum e_command : std::int32_t {
  cmdNone = 0,
  cmdAuto = 1,
  cmdEncrypt = 2,
  cmdDecrypt = 3,
  cmdSign = 4,
  cmdVerify = 5,
};

using FileList = std::vector<std::string>;

// What the window does when the job starts.
struct JobStart {
  int command = 0;          // the window command to post; 0 for none
  int defaultCommand = 0;   // the command to make the default instead; 0 for none
  bool keysPrompt = false;  // write the keys prompt first (no keys at hand)

  bool operator==(const JobStart&) const = default;
};

// What automatic processing does with a path, by its ending (any case): ".signed.gpg" is
// verified, ".gpg" and ".pgp" decrypted, ".asc" imported; the rest waits for Encrypt. A bare
// ending is not a name with that ending.
enum class FileAction { Verify, Decrypt, Import, Wait };
FileAction ActionForName(std::string_view name);

class Job {
 public:
  Job() = default;
  // From a split command line: argument 1 the command number (read as _wtoi reads it), 2 and
  // up the paths. A line without argument 1 carries no job.
  Job(int argc, char** argv);
  // From a file array (may be null) and a command.
  Job(const FileList* files, e_command command);

  e_command command() const { return m_command; }
  FileList& files() { return m_files; }
  const FileList& files() const { return m_files; }

  // A start with paths posts the command's window command (the prompt first when no keys are
  // at hand); Encrypt or Sign without paths acts on the clipboard when default keys are in
  // use, and otherwise makes Enter encrypt the clipboard. Any other job starts nothing.
  JobStart Start(bool haveKeys, bool defaultKeysInUse) const;
  // "Please choose key(s) and press `Encrypt` button to proceed 2 files (/a and others)".
  void LogKeysPrompt() const;

  // For a job of cmdAuto: acts on each path whose ending names an action and removes it,
  // whatever the result; the paths left wait for Encrypt. The job is then cmdNone. When stopped
  // says so after an action (the user cancelled), the path acted on and those after it stay.
  // With together, the paths to decrypt or verify that follow one another (paths that wait
  // between them left where they are) go to it together instead, to be worked on at once; it
  // leaves in its list those it did not finish (a cancel), which stay with every path after them.
  void AutoProcess(const std::function<void(FileAction action, const std::string& path)>& act,
                   const std::function<bool()>& stopped = {},
                   const std::function<void(FileList& paths)>& together = {});

 private:
  // Hands the run of paths to decrypt or verify from first on to together and removes those it
  // did; returns where the path after the run now is.
  std::size_t RunTogether(std::size_t first, const std::function<void(FileList& paths)>& together);

  FileList m_files;
  e_command m_command = cmdNone;
};
