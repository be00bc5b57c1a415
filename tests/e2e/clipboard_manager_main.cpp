// A clipboard manager for the tests' virtual displays, as a desktop runs one: it owns
// CLIPBOARD_MANAGER, and when a program that owns the clipboard asks it to save the contents
// (SAVE_TARGETS, as Qt does at its exit), it takes the text and serves it from then on. Only
// UTF-8 text is kept, whole in one property (no INCR): enough for the tests' short texts.
// Writes "ready" to standard output once it owns CLIPBOARD_MANAGER; ends on SIGTERM.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <time.h>

#include <csignal>
#include <cstdio>
#include <optional>
#include <string>

namespace {

volatile std::sig_atomic_t g_stop = 0;

struct Atoms {
  Atom manager, clipboard, saveTargets, targets, utf8, utf8Mime, plainMime, property;
};

Atoms MakeAtoms(Display* display) {
  auto atom = [&](const char* name) { return XInternAtom(display, name, False); };
  return {atom("CLIPBOARD_MANAGER"), atom("CLIPBOARD"),        atom("SAVE_TARGETS"),
          atom("TARGETS"),           atom("UTF8_STRING"),      atom("text/plain;charset=utf-8"),
          atom("text/plain"),        atom("ZEMBRA_TEST_SAVED")};
}

// The clipboard's text from its present owner, or nothing.
std::optional<std::string> FetchText(Display* display, Window self, const Atoms& atoms) {
  XConvertSelection(display, atoms.clipboard, atoms.utf8, atoms.property, self, CurrentTime);
  XFlush(display);
  XEvent event;
  for (int i = 0; i < 500; ++i) {
    if (XCheckTypedWindowEvent(display, self, SelectionNotify, &event)) break;
    if (i == 499) return std::nullopt;
    struct timespec pause = {0, 10'000'000};
    nanosleep(&pause, nullptr);
  }
  if (event.xselection.property == None) return std::nullopt;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, self, atoms.property, 0, 0x1000000, True, AnyPropertyType, &type,
                         &format, &count, &after, &data) != Success)
    return std::nullopt;
  std::optional<std::string> text;
  if (format == 8 && type != XInternAtom(display, "INCR", False))
    text = std::string(reinterpret_cast<const char*>(data), count);
  if (data != nullptr) XFree(data);
  return text;
}

void Answer(Display* display, const XSelectionRequestEvent& request, Atom property) {
  XEvent reply{};
  reply.xselection.type = SelectionNotify;
  reply.xselection.requestor = request.requestor;
  reply.xselection.selection = request.selection;
  reply.xselection.target = request.target;
  reply.xselection.property = property;
  reply.xselection.time = request.time;
  XSendEvent(display, request.requestor, False, NoEventMask, &reply);
}

void Serve(Display* display, const XSelectionRequestEvent& request, const Atoms& atoms,
           const std::string& text) {
  Atom property = request.property != None ? request.property : request.target;
  if (request.target == atoms.targets) {
    const Atom offered[] = {atoms.targets, atoms.utf8, atoms.utf8Mime, atoms.plainMime, XA_STRING};
    XChangeProperty(display, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(offered), 5);
  } else if (request.target == atoms.utf8 || request.target == atoms.utf8Mime ||
             request.target == atoms.plainMime || request.target == XA_STRING) {
    XChangeProperty(display, request.requestor, property, request.target, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(text.data()),
                    static_cast<int>(text.size()));
  } else {
    property = None;
  }
  Answer(display, request, property);
}

}  // namespace

int main() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return 1;
  std::signal(SIGTERM, [](int) { g_stop = 1; });
  const Atoms atoms = MakeAtoms(display);
  const Window self = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
  XSetSelectionOwner(display, atoms.manager, self, CurrentTime);
  if (XGetSelectionOwner(display, atoms.manager) != self) return 1;
  std::puts("ready");
  std::fflush(stdout);

  std::string saved;
  while (g_stop == 0) {
    if (XPending(display) == 0) {
      struct timespec pause = {0, 10'000'000};
      nanosleep(&pause, nullptr);
      continue;
    }
    XEvent event;
    XNextEvent(display, &event);
    if (event.type != SelectionRequest) continue;
    const XSelectionRequestEvent& request = event.xselectionrequest;
    if (request.selection == atoms.manager && request.target == atoms.saveTargets) {
      const std::optional<std::string> text = FetchText(display, self, atoms);
      if (text) {
        saved = *text;
        XSetSelectionOwner(display, atoms.clipboard, self, CurrentTime);
      }
      Answer(display, request, text ? request.property : None);
    } else if (request.selection == atoms.clipboard) {
      Serve(display, request, atoms, saved);
    } else {
      Answer(display, request, None);
    }
    XFlush(display);
  }
  XCloseDisplay(display);
  return 0;
}
