// The process's QApplication, made on first use: the launcher and plain programs never make one.
#include <QApplication>
#include <QClipboard>
#include <cstdio>
#include <cstdlib>

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
}  // namespace

void EnsureApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  // Without a display Qt prints a stack of plugin warnings and aborts; say it in one line instead.
  if (!HasEnv("QT_QPA_PLATFORM") && !HasEnv("DISPLAY") && !HasEnv("WAYLAND_DISPLAY")) {
    std::fputs("Zembra needs a graphical display (neither DISPLAY nor WAYLAND_DISPLAY is set).\n",
               stderr);
    std::exit(1);
  }
  // QApplication keeps references to argc and argv for its whole life.
  static int argc = 1;
  static char name[] = "zembra";
  static char* argv[] = {name, nullptr};
  g_application = new QApplication(argc, argv);
  std::atexit(ReleaseClipboardAtExit);
}

}  // namespace gui_detail
