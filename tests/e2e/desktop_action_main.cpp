// Starts one action of an installed desktop entry the way the application grid does, through
// GIO's launcher: desktop-action <desktop file id> <action>.
#include <gio/gdesktopappinfo.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s DESKTOP-FILE-ID ACTION\n", argv[0]);
    return 2;
  }
  GDesktopAppInfo* info = g_desktop_app_info_new(argv[1]);
  if (info == nullptr) {
    std::fprintf(stderr, "no desktop entry %s\n", argv[1]);
    return 1;
  }
  if (!g_desktop_app_info_has_key(info, "Actions")) {
    std::fprintf(stderr, "%s has no actions\n", argv[1]);
    g_object_unref(info);
    return 1;
  }
  GAppLaunchContext* context = g_app_launch_context_new();
  g_desktop_app_info_launch_action(info, argv[2], context);
  g_object_unref(context);
  g_object_unref(info);
  return 0;
}
