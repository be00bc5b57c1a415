// Sends standard error to a file for the lifetime of the object, and sets or clears
// ZEMBRA_TRACE, restoring both afterwards.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "tests/platform/core/temp_folder.h"

class StderrCapture {
 public:
  StderrCapture(const std::string& file, const char* trace) : m_file(file) {
    const char* old = getenv("ZEMBRA_TRACE");
    m_hadTrace = old != nullptr;
    if (old) m_oldTrace = old;
    if (trace) {
      setenv("ZEMBRA_TRACE", trace, 1);
    } else {
      unsetenv("ZEMBRA_TRACE");
    }
    fflush(stderr);
    m_saved = dup(STDERR_FILENO);
    int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
    dup2(fd, STDERR_FILENO);
    close(fd);
  }
  ~StderrCapture() { Restore(); }

  // Ends the capture and returns what was written.
  std::string Text() {
    Restore();
    return ReadWholeFile(m_file);
  }

 private:
  void Restore() {
    if (m_saved < 0) return;
    fflush(stderr);
    dup2(m_saved, STDERR_FILENO);
    close(m_saved);
    m_saved = -1;
    if (m_hadTrace) {
      setenv("ZEMBRA_TRACE", m_oldTrace.c_str(), 1);
    } else {
      unsetenv("ZEMBRA_TRACE");
    }
  }

  std::string m_file;
  int m_saved = -1;
  bool m_hadTrace = false;
  std::string m_oldTrace;
};
