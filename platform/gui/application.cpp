// The process's QApplication, made on first use: the launcher and plain programs never make one.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "platform/gui/qt_window.h"

namespace gui_detail {

namespace {
bool HasEnv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
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
  static QApplication* application = new QApplication(argc, argv);
  (void)application;
}

}  // namespace gui_detail
