#include "zembra/ui/log_box.h"

#include <string>

#include "platform/core/log.h"

HWND g_hLog = nullptr;

void AppendToLogBox(std::string_view text) {
  if (!g_hLog) return;
  const std::string shown(text);  // the box takes a terminated string
  int length = GetWindowTextLength(g_hLog);
  SendMessage(g_hLog, EM_SETSEL, static_cast<WPARAM>(length), length);
  SendMessage(g_hLog, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(shown.c_str()));
}

void SetLogBox(HWND box) {
  g_hLog = box;
  SetLogSink(box ? LogSink(&AppendToLogBox) : LogSink());
}
