// A job of several files' encryptions or decryptions, several at once, each on a context of its
// own, all on the window's one loop. What the user sees is what a serial run shows: the log
// holds each file's lines together in the list's order, a file whose output name an earlier
// file still running will write waits for it, and a job that needs a passphrase asks once.
#pragma once

#include <gpgme.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/log.h"
#include "zembra/engine/operation_group.h"
#include "zembra/engine/progress.h"
#include "zembra/operations/file_crypto_run.h"
#include "zembra/operations/job.h"

// How many files a job runs at once: ZEMBRA_JOB_WIDTH when set to a number from 1, otherwise
// the machine's cores, at most 4.
std::size_t JobWidth();

class FileJob {
 public:
  using MakeRun = std::function<std::unique_ptr<FileCryptoRun>(const std::string& path)>;

  // One file runs at a time on each context; progress shows the whole job. A null context
  // refuses every file that runs on it, with its line.
  FileJob(std::vector<gpgme_ctx_t> contexts, MakeRun make, ProgressSink progress = {});
  FileJob(const FileJob&) = delete;
  FileJob& operator=(const FileJob&) = delete;

  // Runs the files; those that ran leave the list, those cancelled or never started stay.
  void Run(FileList& files);
  // From a handler of the window's events during Run: every running file stops, the first in
  // the list says so, and no other starts.
  void Cancel();

  // The most files that ran at once.
  std::size_t mostRunning() const { return m_mostRunning; }

 private:
  struct File {
    FileJob* job = nullptr;
    std::size_t index = 0;
    std::unique_ptr<FileCryptoRun> run;
    gpgme_ctx_t ctx = nullptr;
    std::vector<std::string> held;  // texts written while files before it still run
    int position = 0;               // its progress, 0 to 1000
    bool started = false;
    bool ended = false;
    bool cancelled = false;
    bool silent = false;  // cancelled behind another file: it leaves no line
  };

  bool MayStart(std::size_t next) const;
  void StartFile(File& file);
  void EndFile(File& file, gpgme_error_t err);
  // Log lines of file reach the window's log, or its own until the files before it have ended.
  LogSink SinkOf(File& file);
  void Flush();
  void Progress(File& file, int position);
  static gpgme_error_t Status(void* file, const char* keyword, const char* args);

  std::vector<gpgme_ctx_t> m_free;
  MakeRun m_make;
  ProgressSink m_progress;
  LogSink m_log;  // the window's log during Run
  std::vector<File> m_files;
  std::size_t m_head = 0;  // the first file that has not ended
  OperationGroup* m_group = nullptr;
  bool m_passphrasePassed = false;
  bool m_cancelled = false;
  bool m_cancelTold = false;  // a cancelled file has said so
  long long m_progressSum = 0;
  int m_shown = -1;
  std::size_t m_mostRunning = 0;
};
