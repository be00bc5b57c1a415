#include "platform/core/log.h"

#include <utility>

#include "platform/core/text.h"
#include "platform/core/trace.h"

namespace {

// Everything runs on the window's thread, so neither needs a lock.
LogSink& Sink() {
  static LogSink sink;
  return sink;
}

MessageLookup g_messageTable = nullptr;

}  // namespace

LogSink SetLogSink(LogSink sink) { return std::exchange(Sink(), std::move(sink)); }

void AppendLogText(std::string_view text) {
  if (text.empty()) return;
  // The log shows UTF-8; a file name that is not UTF-8 shows its odd bytes as \xNN instead of
  // losing them.
  std::string shown = DisplayText(text);
  if (TraceEnabled()) TraceText("log: " + shown);
  if (Sink()) Sink()(shown);
}

void AppendLog(std::string_view format, std::initializer_list<FormatArg> args) {
  if (format.empty()) return;
  AppendLogText(FormatTextV(format, args));
}

void SetMessageTable(MessageLookup lookup) { g_messageTable = lookup; }

std::string_view MessageText(int id) {
  return g_messageTable ? g_messageTable(id) : std::string_view();
}
