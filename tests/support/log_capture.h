// Collects what the operation log shows while it lives, in place of a window's log box, and
// puts the previous sink back at the end.
//
//   LogCapture log;
//   Outcome outcome = DecryptFile(ctx.get(), path, progress.sink());
//   EXPECT_EQ(log.text(), "Decrypting \"...\"...\nDone.\n") << outcome;
#pragma once

#include <string>
#include <utility>

#include "platform/core/log.h"

class LogCapture {
 public:
  // A line break is "\n" here whether the text says "\r\n" or "\n", as the log box shows both
  // the same.
  LogCapture()
      : m_previous(SetLogSink([this](std::string_view text) {
          for (std::size_t i = 0; i < text.size(); ++i)
            if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) m_text += text[i];
        })) {}
  ~LogCapture() { SetLogSink(std::move(m_previous)); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  const std::string& text() const { return m_text; }
  // Returns what was collected and starts again.
  std::string take() { return std::exchange(m_text, {}); }

 private:
  std::string m_text;
  LogSink m_previous;
};
