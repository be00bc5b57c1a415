#include "zembra/operations/log.h"

#include "platform/core/text.h"
#include "platform/core/trace.h"
#include "zembra/operations/messages.h"

HWND g_hLog = nullptr;

namespace {

// A trace line holds at most this many bytes (a buffer of 10,240 with its terminator).
constexpr std::size_t kTraceLimit = 10239;

}  // namespace

void AppendLogText(std::string_view text) {
  if (text.empty()) return;
  // The log box shows UTF-8; a file name that is not UTF-8 shows its odd bytes as \xNN
  // instead of losing them.
  std::string shown = DisplayText(text);
  if (TraceEnabled()) TraceText("log: " + shown);
  if (!g_hLog) return;
  int length = GetWindowTextLength(g_hLog);
  SendMessage(g_hLog, EM_SETSEL, static_cast<WPARAM>(length), length);
  SendMessage(g_hLog, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(shown.c_str()));
}

void AppendLog(std::string_view format, std::initializer_list<FormatArg> args) {
  if (format.empty()) return;
  AppendLogText(FormatTextV(format, args));
}

bool CheckResult(gpgme_error_t err) {
  if (gpgme_err_code(err) == GPG_ERR_NO_ERROR) return true;
  LogRes(IDS_ERROR, gpgme_strerror(err));
  return false;
}

void TraceV(std::string_view format, std::initializer_list<FormatArg> args) {
  if (!TraceEnabled()) return;
  std::string text = FormatTextV(format, args);
  if (text.size() > kTraceLimit) {
    std::size_t cut = kTraceLimit;
    // Back up to the start of a character, so the line stays valid UTF-8.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
  }
  TraceText(text);
}
