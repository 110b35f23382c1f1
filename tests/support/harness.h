// Test support: a scratch run directory with its own ../Common/, and a software renderer
// whose pixels a test can read back.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>

namespace testing_support {

// The scratch directory tree: <root>/run is the working directory, <root>/Common holds links to
// every committed media file, so a test may write Settings.bin or remove media without touching
// the repository.
struct RunDirectory {
  std::string root;
  std::string run;
  std::string common;
};

// Creates a fresh run directory, links the media into it and makes it the working directory.
const RunDirectory& enterFreshRunDirectory();
const RunDirectory& currentRunDirectory();
// Leaves and deletes the run directory.
void removeRunDirectory();
std::string committedAssetPath(const std::string& fileName);

// Initialises SDL video, image and audio (dummy drivers) once for the test process.
void initializeLibraries();

// Replaces gRenderer with a software renderer drawing into an 800 x 600 ARGB surface,
// and loads all media into gTexture and gSnd through loadMedia(). Returns loadMedia's result.
std::int32_t useSoftwareRendererWithMedia();
// Same without loading media.
void useSoftwareRenderer();
// Releases the software renderer and the textures/sounds loaded for it.
void releaseSoftwareRenderer();

SDL_Surface* canvas();
// Reads one pixel of the canvas as (r, g, b).
SDL_Color pixelAt(std::int32_t x, std::int32_t y);
// Fills the canvas with one colour, bypassing the renderer's state.
void fillCanvas(std::uint8_t r, std::uint8_t g, std::uint8_t b);

// Pushes a key event onto SDL's queue.
void pushKeyDown(SDL_Keycode key, bool repeat = false);
void pushKeyUp(SDL_Keycode key);
void pushQuit();
void drainEvents();

}  // namespace testing_support
