// Small X11 jobs for the end-to-end tests, on the display named by $DISPLAY.
//
// Usage:
//   zellworth_e2e_x close WINDOW_ID
//       asks the window to close the way a window manager does: a WM_DELETE_WINDOW client
//       message. WINDOW_ID is decimal or 0x-prefixed hexadecimal (as xdotool prints it).
//       Exit status 1 when the window does not take part in that protocol or cannot be reached.
//   zellworth_e2e_x keycode KEYSYM_NAME
//       prints the server's key code of a key symbol (Control_R, F5, ...). Pressing a modifier
//       by its code presses that key alone, where pressing it by name may press its twin too.
// Usage errors exit 2.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool gXErrorSeen = false;

int recordXError(Display*, XErrorEvent*) {
  gXErrorSeen = true;
  return 0;
}

// True when the window lists WM_DELETE_WINDOW among its WM_PROTOCOLS, as a window that wants
// the close request delivered to it must.
bool takesDeleteRequests(Display* display, Window window, Atom deleteWindow) {
  Atom* protocols = nullptr;
  int count = 0;
  if (!XGetWMProtocols(display, window, &protocols, &count)) {
    return false;
  }
  bool found = false;
  for (int i = 0; i < count; ++i) {
    if (protocols[i] == deleteWindow) {
      found = true;
    }
  }
  XFree(protocols);
  return found;
}

int sendCloseRequest(Display* display, const char* windowText) {
  char* end = nullptr;
  const unsigned long windowId = std::strtoul(windowText, &end, 0);
  if (end == windowText || *end != '\0' || windowId == 0) {
    std::fprintf(stderr, "not a window id: %s\n", windowText);
    return 2;
  }
  const Window window = static_cast<Window>(windowId);
  const Atom protocolsAtom = XInternAtom(display, "WM_PROTOCOLS", False);
  const Atom deleteAtom = XInternAtom(display, "WM_DELETE_WINDOW", False);

  if (!takesDeleteRequests(display, window, deleteAtom)) {
    std::fprintf(stderr, "window 0x%lx does not accept WM_DELETE_WINDOW\n", windowId);
    return 1;
  }

  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = protocolsAtom;
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(deleteAtom);
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
  if (gXErrorSeen) {
    std::fprintf(stderr, "X error while sending the close request\n");
    return 1;
  }
  return 0;
}

int printKeycode(Display* display, const char* name) {
  const KeySym symbol = XStringToKeysym(name);
  const KeyCode code = symbol == NoSymbol ? 0 : XKeysymToKeycode(display, symbol);
  if (code == 0) {
    std::fprintf(stderr, "no key for %s\n", name);
    return 1;
  }
  std::printf("%d\n", code);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc == 3 ? argv[1] : "";
  if (command != "close" && command != "keycode") {
    std::fprintf(stderr, "usage: %s close WINDOW_ID | keycode KEYSYM_NAME\n", argv[0]);
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "cannot open display\n");
    return 1;
  }
  XSetErrorHandler(recordXError);
  const int status =
      command == "close" ? sendCloseRequest(display, argv[2]) : printKeycode(display, argv[2]);
  XCloseDisplay(display);
  return status;
}
