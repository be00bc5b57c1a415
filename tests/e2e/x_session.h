// What a person at the virtual display sees and does: the windows a program shows, clicks and
// keys (through xdotool, as real input events), and the cursor the pointer shows at the moment.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

struct WindowGeometry {
  int x = 0, y = 0, width = 0, height = 0;
};

class XSession {
 public:
  explicit XSession(std::string display);
  ~XSession();
  XSession(const XSession&) = delete;
  XSession& operator=(const XSession&) = delete;

  // The mapped windows of the process, oldest first.
  std::vector<std::string> Windows(pid_t pid) const;
  // The first mapped window of the process that is not one of known; "" after the deadline.
  std::string WaitForNewWindow(pid_t pid, const std::set<std::string>& known,
                               std::chrono::milliseconds deadline) const;
  WindowGeometry Geometry(const std::string& window) const;

  void Focus(const std::string& window) const;
  // A click of the button at x, y inside the window.
  void Click(const std::string& window, int x, int y, int button = 1) const;
  // The window's title.
  std::string WindowName(const std::string& window) const;
  // The text on the clipboard as xclip reads it; "" when nobody holds any.
  std::string ClipboardText() const;
  // Two clicks of the first button at x, y, close enough to count as a double click.
  void DoubleClick(const std::string& window, int x, int y) const;
  void MovePointer(const std::string& window, int x, int y) const;
  // Key names as xdotool takes them ("Tab", "alt+e"), to the window that has the focus.
  void Keys(const std::vector<std::string>& keys) const;
  void Type(const std::string& text) const;

  // The pixels of the cursor the pointer shows now, with its size; "" when unknown.
  std::string CursorImage() const;

  // What the screen shows in the rectangle (root coordinates), as bytes; "" when unknown.
  std::string ScreenPixels(const WindowGeometry& area) const;
  // Another program's window over the rectangle, filled with one colour and held above every
  // other until Uncover: what a person does who drags a window over this one and away again.
  void Cover(const WindowGeometry& area);
  void Uncover();

 private:
  std::string m_display;
  void* m_connection = nullptr;  // the Xlib display of CursorImage and the pixels
  unsigned long m_cover = 0;     // the covering window; 0: none
  std::string Run(const std::vector<std::string>& args) const;
};
