// The picture on the real screen: the renderer's choice, the canvas scaled into the window or the
// screen with black bars, and the window scales the desktop has room for.
#include "app/display.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "app/platform.h"

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#else
// Last: the X11 headers define macros (None, Bool) that clash with names in the others.
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#endif

std::int32_t gWindowScale = 1;
SDL_Rect gPictureRect = {0, 0, kWindowWidth, kWindowHeight};

namespace {

#ifdef __EMSCRIPTEN__
constexpr const char* kShownVideoDrivers = "emscripten";
#else
constexpr const char* kShownVideoDrivers = "x11,wayland,kmsdrm";
#endif
constexpr const char* kRenderNodeDirectory = "/dev/dri";
constexpr const char* kRenderNodePrefix = "renderD";
// The proprietary driver of one maker reaches its cards through its own control device.
constexpr const char* kVendorControlDevice = "/dev/nvidiactl";

bool scalingStarted = false;
#ifndef __EMSCRIPTEN__
bool coveringDisplay = false;   // fullscreen by a borderless window over the whole display
SDL_Rect windowedPlace = {SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, kWindowWidth, kWindowHeight};
#endif
int windowPixelWidth = 0;   // the window's size in pixels, for which gPictureRect was laid out
int windowPixelHeight = 0;
// While the output is not exactly 800 x 600, every screen draws into this canvas, which is then
// copied into gPictureRect in one scaled copy: each pixel of the canvas becomes the same block of
// screen pixels, one-pixel lines included, whatever was drawn where.
SDL_Texture* canvas = nullptr;

void placePicture() {
  SDL_GetWindowSizeInPixels(gWindow, &windowPixelWidth, &windowPixelHeight);
  gPictureRect = pictureRectFor(windowPixelWidth, windowPixelHeight);
  const bool scaled = windowPixelWidth != kWindowWidth || windowPixelHeight != kWindowHeight;
  if (scaled && canvas == nullptr) {
    // In the window's own pixel format, the software renderer copies opaque sheets into the
    // canvas and the canvas into the window without converting a pixel.
    canvas = SDL_CreateTexture(gRenderer, SDL_GetWindowPixelFormat(gWindow), SDL_TEXTUREACCESS_TARGET,
                               kWindowWidth, kWindowHeight);
    if (canvas == nullptr) {
      canvas = SDL_CreateTexture(gRenderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET, kWindowWidth,
                                 kWindowHeight);
    }
    SDL_SetTextureBlendMode(canvas, SDL_BLENDMODE_NONE);
  }
  // Without a canvas (a renderer that cannot draw into a texture) the picture stays unscaled.
  SDL_SetRenderTarget(gRenderer, scaled ? canvas : nullptr);
}

// Every change of the window's size, a fullscreen mode switch included, comes as an event. A
// screen polls its events between presenting one frame and drawing the next, so a new canvas
// arrangement always starts with a whole frame.
int SDLCALL watchWindowSize(void*, SDL_Event* event) {
  if (event->type == SDL_WINDOWEVENT && gWindow != nullptr && event->window.windowID == SDL_GetWindowID(gWindow) &&
      (event->window.event == SDL_WINDOWEVENT_SIZE_CHANGED || event->window.event == SDL_WINDOWEVENT_DISPLAY_CHANGED)) {
    placePicture();
  }
  return 1;
}

#ifdef __EMSCRIPTEN__
// The browser's fullscreen shows the page's own picture area, which lays the canvas out scaled
// and centred between black bars. It follows the browser's real state, which the player may have
// changed with the browser's own keys.
EM_JS(void, toggleBrowserFullscreen, (), {
  if (Module['toggleFullscreen']) Module['toggleFullscreen']();
});
#else
// On X11, a window manager announces itself on the root window. Other window systems always
// have someone to carry out a fullscreen request.
bool hasWindowManager() {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(gWindow, &info) || info.subsystem != SDL_SYSWM_X11) return true;
  Display* display = info.info.x11.display;
  const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == 0) return false;
  Atom type = 0;
  int format = 0;
  unsigned long count = 0;
  unsigned long bytesAfter = 0;
  unsigned char* data = nullptr;
  const int status = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type,
                                        &format, &count, &bytesAfter, &data);
  if (data != nullptr) XFree(data);
  return status == Success && type == XA_WINDOW && count == 1;
}
#endif

}  // namespace

void preferShownVideoDrivers() {
  SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, kShownVideoDrivers, SDL_HINT_DEFAULT);
}

bool hasGraphicsHardware() {
  if (access(kVendorControlDevice, R_OK | W_OK) == 0) return true;
  DIR* directory = opendir(kRenderNodeDirectory);
  if (directory == nullptr) return false;
  bool found = false;
  while (const dirent* entry = readdir(directory)) {
    if (std::strncmp(entry->d_name, kRenderNodePrefix, std::strlen(kRenderNodePrefix)) != 0) continue;
    const std::string path = std::string(kRenderNodeDirectory) + "/" + entry->d_name;
    if (access(path.c_str(), R_OK | W_OK) == 0) {
      found = true;
      break;
    }
  }
  closedir(directory);
  return found;
}

Uint32 chooseRendererFlags() {
  const char* named = SDL_GetHint(SDL_HINT_RENDER_DRIVER);
  if ((named != nullptr && *named != '\0') || hasGraphicsHardware()) {
    return SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC;
  }
  // Without this, SDL would present the software renderer's window through OpenGL after all.
  SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
  return SDL_RENDERER_SOFTWARE;
}

SDL_Rect pictureRectFor(std::int32_t outputWidth, std::int32_t outputHeight) {
  const float fit = std::fmin(static_cast<float>(outputWidth) / kWindowWidth,
                              static_cast<float>(outputHeight) / kWindowHeight);
  const float scale = fit >= kWholeScaleFrom ? std::floor(fit) : fit;
  // A side that fills its output keeps its exact size; the other follows the canvas's shape.
  const std::int32_t width = std::min(outputWidth, static_cast<std::int32_t>(std::lround(kWindowWidth * scale)));
  const std::int32_t height = std::min(outputHeight, static_cast<std::int32_t>(std::lround(kWindowHeight * scale)));
  return {(outputWidth - width) / 2, (outputHeight - height) / 2, width, height};
}

void startPictureScaling() {
  // A window smaller than the canvas would lose whole rows and columns of the pixel art.
  SDL_SetWindowMinimumSize(gWindow, kWindowWidth, kWindowHeight);
  SDL_AddEventWatch(watchWindowSize, nullptr);
  scalingStarted = true;
  placePicture();
}

void stopPictureScaling() {
  if (!scalingStarted) return;
  SDL_DelEventWatch(watchWindowSize, nullptr);
  SDL_SetRenderTarget(gRenderer, nullptr);
  SDL_DestroyTexture(canvas);
  canvas = nullptr;
  scalingStarted = false;
}

#ifdef __EMSCRIPTEN__
void enterFullscreen() { toggleBrowserFullscreen(); }

void leaveFullscreen() { toggleBrowserFullscreen(); }
#else
void enterFullscreen() {
  SDL_GetWindowPosition(gWindow, &windowedPlace.x, &windowedPlace.y);
  SDL_GetWindowSize(gWindow, &windowedPlace.w, &windowedPlace.h);
  SDL_Rect display;
  if (hasWindowManager() || SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(gWindow), &display) != 0) {
    SDL_SetWindowFullscreen(gWindow, SDL_WINDOW_FULLSCREEN);
    return;
  }
  SDL_SetWindowBordered(gWindow, SDL_FALSE);
  SDL_SetWindowPosition(gWindow, display.x, display.y);
  SDL_SetWindowSize(gWindow, display.w, display.h);
  coveringDisplay = true;
}

void leaveFullscreen() {
  if (coveringDisplay) {
    SDL_SetWindowBordered(gWindow, SDL_TRUE);
    coveringDisplay = false;
  } else {
    SDL_SetWindowFullscreen(gWindow, 0);
  }
  // On X11, SDL keeps the fullscreen mode's size for the window on the way back.
  SDL_SetWindowSize(gWindow, windowedPlace.w, windowedPlace.h);
  SDL_SetWindowPosition(gWindow, windowedPlace.x, windowedPlace.y);
}
#endif

void presentFrame() {
  if (canvas == nullptr || SDL_GetRenderTarget(gRenderer) != canvas) {
    SDL_RenderPresent(gRenderer);
    return;
  }
  // The bars are black whatever colour the screen clears its canvas with.
  Uint8 red, green, blue, alpha;
  SDL_GetRenderDrawColor(gRenderer, &red, &green, &blue, &alpha);
  SDL_SetRenderTarget(gRenderer, nullptr);
  SDL_SetRenderDrawColor(gRenderer, 0, 0, 0, 255);
  const SDL_Rect& picture = gPictureRect;
  const SDL_Rect bars[4] = {{0, 0, windowPixelWidth, picture.y},
                            {0, picture.y + picture.h, windowPixelWidth, windowPixelHeight - picture.y - picture.h},
                            {0, picture.y, picture.x, picture.h},
                            {picture.x + picture.w, picture.y, windowPixelWidth - picture.x - picture.w, picture.h}};
  for (const SDL_Rect& bar : bars) {
    if (bar.w > 0 && bar.h > 0) SDL_RenderFillRect(gRenderer, &bar);
  }
  SDL_RenderCopy(gRenderer, canvas, nullptr, &gPictureRect);
  SDL_RenderPresent(gRenderer);
  SDL_SetRenderTarget(gRenderer, canvas);
  SDL_SetRenderDrawColor(gRenderer, red, green, blue, alpha);
}

bool desktopUsableArea(SDL_Rect& usable) {
  preferShownVideoDrivers();
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
  const bool known = SDL_GetDisplayUsableBounds(0, &usable) == 0;
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  return known;
}
