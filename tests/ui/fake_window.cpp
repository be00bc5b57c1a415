// Stands in for the two window functions the log uses. Only this test links it.
#include "fake_window.h"

#include <algorithm>

namespace {

struct FakeEdit {
  std::string text;
  std::size_t selStart = 0;
  std::size_t selEnd = 0;
  int messages = 0;
};

FakeEdit& Box() {
  static FakeEdit box;
  return box;
}

}  // namespace

HWND FakeLogWindow() { return reinterpret_cast<HWND>(&Box()); }

void ResetFakeLog(const std::string& text) { Box() = FakeEdit{text, 0, 0, 0}; }

const std::string& FakeLogText() { return Box().text; }

int FakeLogMessages() { return Box().messages; }

int GetWindowTextLength(HWND window) {
  if (window != FakeLogWindow()) return 0;
  return static_cast<int>(Box().text.size());
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window != FakeLogWindow()) return 0;
  FakeEdit& box = Box();
  ++box.messages;
  if (message == EM_SETSEL) {
    box.selStart = std::min<std::size_t>(wParam, box.text.size());
    box.selEnd = std::min<std::size_t>(static_cast<std::size_t>(lParam), box.text.size());
  } else if (message == EM_REPLACESEL) {
    std::string inserted = reinterpret_cast<const char*>(lParam);
    box.text.replace(box.selStart, box.selEnd - box.selStart, inserted);
    box.selStart = box.selEnd = box.selStart + inserted.size();
  }
  return 0;
}
