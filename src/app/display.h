// The picture on the real screen: which renderer draws it, and the 800 x 600 canvas scaled into
// whatever size the window or the screen really has.
#pragma once

#include <SDL.h>

#include <cstdint>

// From this fit on, the picture grows by whole factors only, so that every sprite pixel becomes
// the same square of screen pixels; below it the picture fills the window as far as its shape
// allows.
constexpr float kWholeScaleFrom = 2.0f;

extern std::int32_t gWindowScale;  // the window opens at this many times 800 x 600
extern SDL_Rect gPictureRect;      // where the canvas lands in the renderer's output, in its pixels

// Only drivers that show the window to someone: without a display SDL would otherwise fall back
// to its off-screen driver, and the game would run on unseen. A driver named in the environment
// (the tests' dummy driver) still takes precedence over this default.
void preferShownVideoDrivers();

// Set before the renderer is created: the flags to create it with. Without graphics hardware,
// OpenGL could only be a rasteriser on the CPU, which costs far more than SDL's own software
// renderer drawing the same pixels; there the software renderer draws straight into the window.
// A renderer named in SDL_RENDER_DRIVER still wins, as SDL lets it.
Uint32 chooseRendererFlags();
// True when a graphics device that OpenGL can render on is there to be opened.
bool hasGraphicsHardware();

// Lays the canvas into the window now and after every change of its size.
void startPictureScaling();
void stopPictureScaling();
// Puts the canvas where it belongs in an output of that size, centred, keeping its shape.
SDL_Rect pictureRectFor(std::int32_t outputWidth, std::int32_t outputHeight);

// Fullscreen in a true mode of the window's size. Where no window manager carries that out (SDL
// asks the window manager for it on X11), the window itself covers the display instead, without
// a border. Leaving gives the window back the size and place it had.
void enterFullscreen();
void leaveFullscreen();

// Shows the frame: a scaled canvas is copied into its place between black bars, then presented.
void presentFrame();

// The part of the first display that windows may use (without panels and docks); false when SDL
// cannot tell. Sets up and releases SDL's video itself, so it can run before the start-up.
bool desktopUsableArea(SDL_Rect& usable);
