// Diagnostic trace: with ZEMBRA_TRACE set in the environment, each line goes whole to standard
// error; otherwise nowhere.
#pragma once

#include <string_view>

#include "platform/core/format.h"

bool TraceEnabled();
// Writes the text in one write; a missing final line feed is added.
void TraceText(std::string_view text);

// A diagnostic line ("%s" narrow text, "%ls" wide text) to the trace; cut to 10,239 bytes.
void TraceV(std::string_view format, std::initializer_list<FormatArg> args);
template <typename... Args>
void Trace(std::string_view format, const Args&... args) {
  TraceV(format, {FormatArg(args)...});
}
