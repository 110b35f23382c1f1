// Start-up probe: starts a program on the current X display and reports how long after the start
// its window is mapped and its first non-black frame is shown. The program keeps running; its
// process id is printed so that the caller can go on measuring it and end it, and the probe
// waits for it to end.
//
//   zellworth_window_probe CAPTION-PREFIX TIMEOUT-SECONDS PROGRAM [ARGUMENTS...]
//
// Prints one line: "pid=<id> mapped_ms=<t> first_frame_ms=<t> window=<id>", with -1 for a
// moment that did not come within the timeout; in that case the program is ended and the probe
// exits with status 1. Otherwise it exits with status 0 once the program has ended. The
// program's standard output is joined to the probe's standard error.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// A window that goes away between two requests must not end the probe.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

double millisecondsSince(const timespec& start) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (now.tv_sec - start.tv_sec) * 1e3 + (now.tv_nsec - start.tv_nsec) / 1e6;
}

bool hasCaptionPrefix(Display* display, Window window, const char* prefix) {
  char* name = nullptr;
  if (XFetchName(display, window, &name) == 0 || name == nullptr) return false;
  const bool matches = std::strncmp(name, prefix, std::strlen(prefix)) == 0;
  XFree(name);
  return matches;
}

// Samples a cross through the window's middle: one full row and one full column.
bool showsAnything(Display* display, Window window) {
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, window, &attributes) == 0 || attributes.map_state != IsViewable) return false;
  const int width = attributes.width;
  const int height = attributes.height;
  XImage* row = XGetImage(display, window, 0, height / 2, width, 1, AllPlanes, ZPixmap);
  XImage* column = XGetImage(display, window, width / 2, 0, 1, height, AllPlanes, ZPixmap);
  bool found = false;
  for (int x = 0; row != nullptr && x < width && !found; ++x) found = (XGetPixel(row, x, 0) & 0xFFFFFF) != 0;
  for (int y = 0; column != nullptr && y < height && !found; ++y) found = (XGetPixel(column, 0, y) & 0xFFFFFF) != 0;
  if (row != nullptr) XDestroyImage(row);
  if (column != nullptr) XDestroyImage(column);
  return found;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s CAPTION-PREFIX TIMEOUT-SECONDS PROGRAM [ARGUMENTS...]\n", argv[0]);
    return 2;
  }
  const char* prefix = argv[1];
  const double timeoutMs = std::atof(argv[2]) * 1e3;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "cannot open the X display\n");
    return 2;
  }
  XSetErrorHandler(ignoreXError);
  const Window root = DefaultRootWindow(display);
  XSelectInput(display, root, SubstructureNotifyMask);
  XSync(display, False);

  timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(STDERR_FILENO, STDOUT_FILENO);  // the program's own output goes with its errors
    execvp(argv[3], argv + 3);
    _exit(127);
  }

  double mappedMs = -1;
  double firstFrameMs = -1;
  Window window = 0;
  // Map notifications of top-level windows come through the root's substructure events. The
  // first map is the moment the window appears; a renderer that needs another visual makes SDL
  // replace the window by a new one, so the pixels are read from the latest window mapped.
  while (firstFrameMs < 0 && millisecondsSince(start) < timeoutMs) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == MapNotify && hasCaptionPrefix(display, event.xmap.window, prefix)) {
        if (mappedMs < 0) mappedMs = millisecondsSince(start);
        window = event.xmap.window;
      } else if (event.type == DestroyNotify && event.xdestroywindow.window == window) {
        window = 0;
      }
    }
    if (window != 0 && showsAnything(display, window)) {
      firstFrameMs = millisecondsSince(start);
      break;
    }
    usleep(window == 0 ? 200 : 500);
  }
  std::printf("pid=%d mapped_ms=%.1f first_frame_ms=%.1f window=%lu\n", static_cast<int>(pid), mappedMs,
              firstFrameMs, static_cast<unsigned long>(window));
  std::fflush(stdout);
  XCloseDisplay(display);
  if (firstFrameMs < 0) kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  return firstFrameMs < 0 ? 1 : 0;
}
