// Test support: a scratch run directory with its own ../Common/, and a software renderer
// whose pixels a test can read back.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>
#include <vector>

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

// Tells the harness that a test shut SDL down itself (closeSDL, SDL_Quit), so that the next
// initializeLibraries() sets the libraries up again.
void forgetLibraries();

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

// Text probes. useCoordinateFont() puts a font sheet into gTexture[kTextureFont] (released with the
// software renderer) whose every pixel encodes its own position on the sheet, so the canvas tells
// which cell of which glyph set landed where. Needs useSoftwareRenderer() first.
void useCoordinateFont();
struct GlyphProbe {
  bool drawn = false;      // the 10 x 15 block is one whole cell of the sheet, unscaled
  char character = '\0';   // the character of that cell (see kFontLayout)
  std::int32_t style = -1;
};
// Reads the 10 x 15 block whose top-left corner is (x, y).
GlyphProbe glyphAt(std::int32_t x, std::int32_t y);
// The characters of `count` blocks from (x, y) rightwards, 10 pixels apart; a block holding no
// glyph reads as a space, one of another style or not a whole cell as '?'.
std::string textAt(std::int32_t x, std::int32_t y, std::int32_t count, std::int32_t style);
// Number of canvas pixels that the coordinate font has drawn on.
std::int32_t countGlyphPixels();
// The cell layout of one glyph set, row by row, 16 columns; '\x01' marks a cell without a character.
extern const char* const kFontLayout[6];

// Real X windows: a test that needs an X server begins with
//   if (!testing_support::runningUnderXvfb()) return;
// The first call runs this same test again in a child process on an X server of its own
// (tests/support/x_server.sh, 1024 x 768 x 24) with SDL's X11 video driver and dummy audio, records the child's failure if it fails, and
// returns false; in the child it returns true and the test goes on.
bool runningUnderXvfb();
// A file's bytes, written (replacing the file) and read back whole; a missing file reads empty.
void writeFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> readFileBytes(const std::string& path);

// Runs a shell command and returns what it printed on standard output.
std::string commandOutput(const std::string& command);

// Splits printed text into its lines; a last line without a line feed is marked "<no line feed>".
std::vector<std::string> lines(const std::string& text);

// Puts back what start-up leaves: the default key bindings, the drawn glyph size, an empty
// event queue.
void resetToStartUpState();

// Pushes a key event onto SDL's queue.
void pushKeyDown(SDL_Keycode key, bool repeat = false);
void pushKeyUp(SDL_Keycode key);
void pushQuit();
void drainEvents();

}  // namespace testing_support
