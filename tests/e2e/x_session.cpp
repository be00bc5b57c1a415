#include "tests/e2e/x_session.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>

#include <sstream>
#include <thread>

#include "tests/support/run_process.h"

namespace {

Display* AsDisplay(void* connection) { return static_cast<Display*>(connection); }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

}  // namespace

XSession::XSession(std::string display) : m_display(std::move(display)) {
  m_connection = XOpenDisplay(m_display.c_str());
}

XSession::~XSession() {
  Uncover();
  if (m_connection != nullptr) XCloseDisplay(AsDisplay(m_connection));
}

std::string XSession::Run(const std::vector<std::string>& args) const {
  return RunProcess(args, {}, {"DISPLAY=" + m_display}).out;
}

std::vector<std::string> XSession::Windows(pid_t pid) const {
  return Lines(Run({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(pid)}));
}

std::string XSession::WaitForNewWindow(pid_t pid, const std::set<std::string>& known,
                                       std::chrono::milliseconds deadline) const {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (std::chrono::steady_clock::now() < end) {
    for (const std::string& window : Windows(pid)) {
      if (known.count(window) == 0) {
        // A window just mapped may not take input yet; give it a moment to settle.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return window;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return {};
}

WindowGeometry XSession::Geometry(const std::string& window) const {
  WindowGeometry g;
  for (const std::string& line : Lines(Run({"xdotool", "getwindowgeometry", "--shell", window}))) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string name = line.substr(0, eq);
    const int value = std::stoi(line.substr(eq + 1));
    if (name == "X") g.x = value;
    if (name == "Y") g.y = value;
    if (name == "WIDTH") g.width = value;
    if (name == "HEIGHT") g.height = value;
  }
  return g;
}

void XSession::Focus(const std::string& window) const {
  Run({"xdotool", "windowfocus", "--sync", window});
}

void XSession::MovePointer(const std::string& window, int x, int y) const {
  Run({"xdotool", "mousemove", "--sync", "--window", window, std::to_string(x), std::to_string(y)});
}

void XSession::Click(const std::string& window, int x, int y, int button) const {
  MovePointer(window, x, y);
  Run({"xdotool", "click", std::to_string(button)});
}

std::string XSession::WindowName(const std::string& window) const {
  std::string name = Run({"xdotool", "getwindowname", window});
  if (!name.empty() && name.back() == '\n') name.pop_back();
  return name;
}

std::string XSession::ClipboardText() const {
  return Run({"xclip", "-selection", "clipboard", "-o"});
}

void XSession::DoubleClick(const std::string& window, int x, int y) const {
  MovePointer(window, x, y);
  Run({"xdotool", "click", "--repeat", "2", "--delay", "80", "1"});
}

void XSession::Keys(const std::vector<std::string>& keys) const {
  std::vector<std::string> args{"xdotool", "key", "--delay", "60"};
  args.insert(args.end(), keys.begin(), keys.end());
  Run(args);
}

void XSession::Type(const std::string& text) const {
  Run({"xdotool", "type", "--delay", "30", text});
}

std::string XSession::ScreenPixels(const WindowGeometry& area) const {
  if (m_connection == nullptr) return {};
  Display* display = AsDisplay(m_connection);
  XImage* image = XGetImage(display, DefaultRootWindow(display), area.x, area.y,
                            static_cast<unsigned>(area.width), static_cast<unsigned>(area.height),
                            AllPlanes, ZPixmap);
  if (image == nullptr) return {};
  std::string pixels;
  for (int y = 0; y < area.height; ++y) {
    for (int x = 0; x < area.width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      pixels.append(reinterpret_cast<const char*>(&pixel), sizeof pixel);
    }
  }
  XDestroyImage(image);
  return pixels;
}

void XSession::Cover(const WindowGeometry& area) {
  if (m_connection == nullptr) return;
  Uncover();
  Display* display = AsDisplay(m_connection);
  const int screen = DefaultScreen(display);
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;  // no window manager needed to keep it on top
  attributes.background_pixel = 0xff0000 & WhitePixel(display, screen);
  m_cover = XCreateWindow(display, DefaultRootWindow(display), area.x, area.y,
                          static_cast<unsigned>(area.width), static_cast<unsigned>(area.height), 0,
                          CopyFromParent, InputOutput, CopyFromParent,
                          CWOverrideRedirect | CWBackPixel, &attributes);
  XMapRaised(display, m_cover);
  XSync(display, False);
}

void XSession::Uncover() {
  if (m_connection == nullptr || m_cover == 0) return;
  XDestroyWindow(AsDisplay(m_connection), m_cover);
  XSync(AsDisplay(m_connection), False);
  m_cover = 0;
}

std::string XSession::CursorImage() const {
  if (m_connection == nullptr) return {};
  XFixesCursorImage* image = XFixesGetCursorImage(AsDisplay(m_connection));
  if (image == nullptr) return {};
  std::string pixels = std::to_string(image->width) + "x" + std::to_string(image->height) + ":";
  for (int i = 0; i < image->width * image->height; ++i) {
    const auto pixel = static_cast<unsigned long>(image->pixels[i]);
    pixels.append(reinterpret_cast<const char*>(&pixel), sizeof pixel);
  }
  XFree(image);
  return pixels;
}
