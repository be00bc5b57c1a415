// Diagnostic trace: with ZEMBRA_TRACE set in the environment, each line goes whole to standard
// error; otherwise nowhere.
#pragma once

#include <string_view>

bool TraceEnabled();
// Writes the text in one write; a missing final line feed is added.
void TraceText(std::string_view text);
