#include "platform/core/log.h"

#include <utility>

#include "platform/core/text.h"
#include "platform/core/trace.h"

namespace {

// The installed sink and whether it holds the text for later. Everything runs on the window's
// thread, so neither needs a lock.
struct InstalledSink {
  LogSink sink;
  bool holds = false;
};

InstalledSink& Installed() {
  static InstalledSink installed;
  return installed;
}

MessageLookup g_messageTable = nullptr;

}  // namespace

LogSink SetLogSink(LogSink sink, bool holds) {
  Installed().holds = holds;
  return std::exchange(Installed().sink, std::move(sink));
}

bool LogSinkHolds() { return Installed().holds; }

void ShowLogText(const LogSink& sink, std::string_view text) {
  if (text.empty()) return;
  if (TraceEnabled()) TraceText("log: " + std::string(text));
  if (sink) sink(text);
}

void AppendLogText(std::string_view text) {
  if (text.empty()) return;
  // The log shows UTF-8; a file name that is not UTF-8 shows its odd bytes as \xNN instead of
  // losing them.
  const std::string shown = DisplayText(text);
  const InstalledSink& installed = Installed();
  if (installed.holds && installed.sink) {
    installed.sink(shown);
    return;
  }
  ShowLogText(installed.sink, shown);
}

void AppendLog(std::string_view format, std::initializer_list<FormatArg> args) {
  if (format.empty()) return;
  AppendLogText(FormatTextV(format, args));
}

void SetMessageTable(MessageLookup lookup) { g_messageTable = lookup; }

std::string_view MessageText(int id) {
  return g_messageTable ? g_messageTable(id) : std::string_view();
}
