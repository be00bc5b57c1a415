// The process's QApplication, made on first use: the launcher and plain programs never make one.
#include <QApplication>
#include <QClipboard>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/core/x_display.h"
#include "platform/gui/display.h"
#include "platform/gui/qt_window.h"

namespace gui_detail {

namespace {
bool HasEnv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

QApplication* g_application = nullptr;

// On X11 the clipboard's contents live in the program that put them there. Qt hands them to the
// desktop's clipboard manager, where one runs, when the application object goes away; so a
// program that owns the clipboard at its exit takes it down first, and what it copied outlives
// it. Others leave it as it is.
void ReleaseClipboardAtExit() {
  if (g_application == nullptr || QCoreApplication::instance() != g_application) return;
  if (!QApplication::clipboard()->ownsClipboard()) return;
  delete g_application;
  g_application = nullptr;
}

// Whether Qt can start on the named platform plugin ("xcb", "wayland:options", "offscreen").
bool PlatformUsable(std::string_view plugin) {
  plugin = plugin.substr(0, plugin.find(':'));
  if (plugin == "xcb") return HasEnv("DISPLAY") && IsXDisplayReachable(std::getenv("DISPLAY"));
  if (plugin.rfind("wayland", 0) == 0) return HasEnv("WAYLAND_DISPLAY");
  return !plugin.empty();  // offscreen, minimal, vnc: they need no display
}

// Qt ends the process (qFatal) when no platform plugin it tries can start, so the plugins it
// would try are checked first: QT_QPA_PLATFORM's list ("wayland;xcb") or, unset, the desktop's.
bool DisplayUsable() {
  const char* requested = std::getenv("QT_QPA_PLATFORM");
  if (requested == nullptr || *requested == '\0') {
    return PlatformUsable("xcb") || PlatformUsable("wayland");
  }
  std::string_view list(requested);
  while (!list.empty()) {
    const std::size_t end = list.find(';');
    if (PlatformUsable(list.substr(0, end))) return true;
    if (end == std::string_view::npos) break;
    list.remove_prefix(end + 1);
  }
  return false;
}
}  // namespace

void CloseApplication() { ReleaseClipboardAtExit(); }

bool EnsureApplication() {
  if (QCoreApplication::instance() != nullptr) return true;
  if (!DisplayUsable()) return false;
  // QApplication keeps references to argc and argv for its whole life.
  static int argc = 1;
  static char name[] = "zembra";
  static char* argv[] = {name, nullptr};
  // Under Wayland the desktop matches a window to its desktop entry by this id (X11 by the
  // window's class, "zembra"): the installed entry's name without ".desktop".
  QGuiApplication::setDesktopFileName(QStringLiteral("org.zembra.Zembra"));
  g_application = new QApplication(argc, argv);
  std::atexit(ReleaseClipboardAtExit);
  return true;
}

}  // namespace gui_detail

bool OpenDisplay() { return gui_detail::EnsureApplication(); }

void CloseDisplay() { gui_detail::CloseApplication(); }

// Without a display Qt would print a stack of plugin warnings and abort; this is the one line.
void ReportNoDisplay() {
  const char* display = std::getenv("DISPLAY");
  if (display != nullptr && *display != '\0') {
    std::fprintf(stderr, "Zembra could not connect to the graphical display \"%s\".\n", display);
    return;
  }
  std::fputs("Zembra needs a graphical display (neither DISPLAY nor WAYLAND_DISPLAY is set).\n",
             stderr);
}
