#include "zembra/operations/file_job.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

#include "platform/core/text.h"
#include "zembra/engine/operation_loop.h"

namespace {

constexpr std::size_t kMostAtOnce = 4;

}  // namespace

std::size_t JobWidth() {
  if (const char* set = std::getenv("ZEMBRA_JOB_WIDTH"); set && *set) {
    const int width = ParseLeadingInt(set);
    if (width >= 1) return static_cast<std::size_t>(width);
  }
  const std::size_t cores = std::thread::hardware_concurrency();
  return std::clamp<std::size_t>(cores, 1, kMostAtOnce);
}

FileJob::FileJob(std::vector<gpgme_ctx_t> contexts, MakeRun make, ProgressSink progress)
    : m_free(std::move(contexts)), m_make(std::move(make)), m_progress(std::move(progress)) {}

void FileJob::Cancel() {
  m_cancelled = true;
  if (m_group) m_group->Cancel();
}

LogSink FileJob::SinkOf(File& file) {
  return [this, &file](std::string_view text) {
    if (file.silent) return;
    if (file.index != m_head)
      file.held.emplace_back(text);
    else
      ShowLogText(m_log, text);
  };
}

// The head's lines so far, then those of every file after it that has ended, up to the first
// that still runs, which becomes the head and writes straight to the log from then on.
void FileJob::Flush() {
  while (m_head < m_files.size() && m_files[m_head].started) {
    File& file = m_files[m_head];
    // After a cancel, a file still running has said nothing: it is cancelled too.
    if (m_cancelled && !file.ended) break;
    if (!file.silent)
      for (const std::string& text : file.held) ShowLogText(m_log, text);
    file.held.clear();
    if (!file.ended) break;
    ++m_head;
  }
}

void FileJob::Progress(File& file, int position) {
  position = std::clamp(position, 0, 1000);
  m_progressSum += position - file.position;
  file.position = position;
  if (!m_progress || m_files.empty()) return;
  const int shown = static_cast<int>(m_progressSum / static_cast<long long>(m_files.size()));
  if (shown == m_shown) return;
  m_shown = shown;
  m_progress(shown);
}

gpgme_error_t FileJob::Status(void* hook, const char* keyword, const char*) {
  auto* file = static_cast<File*>(hook);
  FileJob* job = file->job;
  const char* passed = file->run->passphrasePassedStatus();
  if (!job->m_passphrasePassed && keyword && passed && std::strcmp(keyword, passed) == 0) {
    job->m_passphrasePassed = true;
    if (job->m_group) job->m_group->Wake();
  }
  return 0;
}

// In the list's order; a file whose output an earlier file still running will write (or whose
// input that one will replace) waits for it, as does every file after it. Until one file has
// passed the point where the engine asks for a passphrase, a job that may need one runs one file
// at a time, so that the agent asks once and keeps the answer for the rest.
bool FileJob::MayStart(std::size_t next) const {
  if (m_cancelled || next >= m_files.size() || m_free.empty()) return false;
  const bool running = m_group && !m_group->empty();
  const FileCryptoRun& run = *m_files[next].run;
  // Prompts for passphrases of their own would come one after another anyway, in no clear
  // order: such files run one at a time.
  const char* passed = run.passphrasePassedStatus();
  if (running && (!passed || (*passed && !m_passphrasePassed))) return false;
  for (std::size_t i = m_head; i < next; ++i) {
    const File& earlier = m_files[i];
    if (earlier.ended) continue;
    if (earlier.run->output() == run.output() || earlier.run->output() == run.input()) return false;
  }
  return true;
}

void FileJob::StartFile(File& file) {
  file.started = true;
  file.ctx = m_free.back();
  m_free.pop_back();
  FileCryptoRun& run = *file.run;
  bool running = false;
  {
    ScopedLogSink sink(SinkOf(file), true);
    if (run.Open(file.ctx, [this, &file](int position) { Progress(file, position); })) {
      // A window without an engine has no context: the start refuses it with its line.
      if (file.ctx) {
        gpgme_set_ctx_flag(file.ctx, "full-status", "1");
        gpgme_set_status_cb(file.ctx, &Status, &file);
      }
      const gpgme_error_t err = m_group->Start(
          file.ctx, [&run] { return run.Start(); }, run.endStatus());
      if (err == 0) {
        running = true;
      } else {
        EndFile(file, err);
        return;
      }
    }
  }
  if (running) {
    m_mostRunning = std::max(m_mostRunning, m_group->size());
    return;
  }
  // It ended before the engine ran: an input that cannot be opened, an output that exists.
  file.ended = true;
  file.run.reset();
  m_free.push_back(file.ctx);
  Progress(file, 1000);
  Flush();
}

void FileJob::EndFile(File& file, gpgme_error_t err) {
  if (file.ctx) {
    gpgme_set_status_cb(file.ctx, nullptr, nullptr);
    gpgme_set_ctx_flag(file.ctx, "full-status", "0");
  }
  file.cancelled = IsOperationCancelled(err);
  // A cancel ends every running file; the first of them in the list says so, as a serial run
  // would, and the others leave no trace of a start.
  if (file.cancelled && std::exchange(m_cancelTold, true)) {
    file.silent = true;
    file.held.clear();
  }
  {
    ScopedLogSink sink(SinkOf(file), true);
    file.run->Finish(err);
  }
  // Its files are closed now, as a serial run closes them before the next file opens them.
  file.run.reset();
  file.ended = true;
  m_free.push_back(file.ctx);
  Progress(file, 1000);
  Flush();
}

void FileJob::Run(FileList& files) {
  if (files.empty() || m_free.empty()) return;
  // The log this job writes into: a sink that is only looked at, then put back.
  const bool holds = LogSinkHolds();
  m_log = SetLogSink({});
  SetLogSink(m_log, holds);
  m_files.clear();
  m_files.reserve(files.size());  // files are reached by address from callbacks
  for (std::size_t i = 0; i < files.size(); ++i) {
    File& file = m_files.emplace_back();
    file.job = this;
    file.index = i;
    file.run = m_make(files[i]);
  }
  OperationGroup group;
  m_group = &group;
  std::size_t next = 0;
  for (;;) {
    while (MayStart(next)) StartFile(m_files[next++]);
    if (group.empty()) break;
    for (const OperationGroup::Ended& ended : group.Wait()) {
      const auto file = std::find_if(m_files.begin(), m_files.end(), [&](const File& f) {
        return f.started && !f.ended && f.ctx == ended.ctx;
      });
      if (file != m_files.end()) EndFile(*file, ended.err);
    }
  }
  m_group = nullptr;
  FileList stay;
  for (File& file : m_files)
    if (!file.ended || file.cancelled) stay.push_back(files[file.index]);
  files = std::move(stay);
  m_files.clear();
  m_log = {};
}
