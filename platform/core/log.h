// The operation log: the lines every operation writes for the user. The text goes to one sink,
// which the window that shows the log installs; without a sink only the trace copy is made.
// Message texts come from the message table the library installs, by id, as from a string
// table of resources.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/core/format.h"

// Receives each appended text, already made displayable (valid UTF-8).
using LogSink = std::function<void(std::string_view text)>;

// Installs the sink (an empty one removes it) and returns the one it replaces. A sink that holds
// keeps the text to show later (the lines of a file that runs behind the one the log shows) and
// shows it through ShowLogText, which makes the trace copy then, so that the trace reads as the
// log does.
LogSink SetLogSink(LogSink sink, bool holds = false);
bool LogSinkHolds();

// Sends the log to sink while it lives; the sink it replaced is back at its end.
class ScopedLogSink {
 public:
  explicit ScopedLogSink(LogSink sink, bool holds = false)
      : m_replacedHolds(LogSinkHolds()), m_replaced(SetLogSink(std::move(sink), holds)) {}
  ~ScopedLogSink() { SetLogSink(std::move(m_replaced), m_replacedHolds); }
  ScopedLogSink(const ScopedLogSink&) = delete;
  ScopedLogSink& operator=(const ScopedLogSink&) = delete;

  const LogSink& replaced() const { return m_replaced; }

 private:
  bool m_replacedHolds;
  LogSink m_replaced;
};

// Shows text that a holding sink kept (already displayable): the trace copy, then sink, when
// there is one.
void ShowLogText(const LogSink& sink, std::string_view text);

// Hands the text to the sink exactly as given (only bytes that are not UTF-8, as in some file
// names, become "\xNN"); an empty text goes nowhere. With ZEMBRA_TRACE set, the text is also
// copied to the trace as one line, prefixed "log: ".
void AppendLogText(std::string_view text);

// Formats and appends; a value is always an argument, never a format.
void AppendLog(std::string_view format, std::initializer_list<FormatArg> args);

template <typename... Args>
void Log(std::string_view format, const Args&... args) {
  AppendLog(format, {FormatArg(args)...});
}

// The message table: the text of a message id, "" for an id without text.
using MessageLookup = std::string_view (*)(int id);
void SetMessageTable(MessageLookup lookup);
// The text of a message of the installed table ("" without a table or text).
std::string_view MessageText(int id);

template <typename... Args>
void LogRes(int id, const Args&... args) {
  AppendLog(MessageText(id), {FormatArg(args)...});
}
