// The operation log: lines appended to the log box of the operations window, and the one way
// engine errors are reported.
#pragma once

#include <gpgme.h>

#include <string>
#include <string_view>

#include "platform/core/format.h"
#include "platform/gui/win_api.h"

// The log box of the open operations window; null when none is open, and log calls then do
// nothing (but the trace copy).
extern HWND g_hLog;

// Appends the text exactly as given at the end of the log box (only bytes that are not UTF-8,
// as in some file names, show as "\xNN"); an empty text appends nothing. With ZEMBRA_TRACE
// set, the text is also copied to the trace as one line, prefixed "log: ".
void AppendLogText(std::string_view text);

// Formats and appends; a value is always an argument, never a format.
void AppendLog(std::string_view format, std::initializer_list<FormatArg> args);

template <typename... Args>
void Log(std::string_view format, const Args&... args) {
  AppendLog(format, {FormatArg(args)...});
}

// The text of a message of the table ("" for an id without text).
std::string_view LoadMessage(int id);

template <typename... Args>
void LogRes(int id, const Args&... args) {
  AppendLog(LoadMessage(id), {FormatArg(args)...});
}

// True for 0; otherwise writes "Error: <engine text>\n" and returns false.
bool CheckResult(gpgme_error_t err);

// A diagnostic line ("%s" narrow text, "%ls" wide text) to the trace; cut to 10,239 bytes.
void TraceV(std::string_view format, std::initializer_list<FormatArg> args);
template <typename... Args>
void Trace(std::string_view format, const Args&... args) {
  TraceV(format, {FormatArg(args)...});
}
