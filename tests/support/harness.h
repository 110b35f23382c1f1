// Test support: a scratch run directory with its own ../Common/, a software renderer whose pixels
// a test reads back, a font sheet that tells where each glyph came from, and real X windows.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// <root>/run is the working directory; <root>/Common links to every committed media file.
struct RunDirectory {
  std::string root, run, common;
};
const RunDirectory& enterFreshRunDirectory();
const RunDirectory& currentRunDirectory();
void removeRunDirectory();
std::string committedAssetPath(const std::string& fileName);

// SDL video, image and audio on the dummy drivers, once; forgetLibraries() after a test shut SDL down.
void initializeLibraries();
void forgetLibraries();

// gRenderer draws on an 800 x 600 ARGB canvas (the media loaded, loadMedia()'s result returned);
// released with its textures and sounds.
std::int32_t useSoftwareRendererWithMedia();
void useSoftwareRenderer();
void releaseSoftwareRenderer();
SDL_Surface* canvas();
SDL_Color pixelAt(std::int32_t x, std::int32_t y, const SDL_Surface* surface = nullptr);  // nullptr: the canvas
std::uint32_t rgbAt(std::int32_t x, std::int32_t y, const SDL_Surface* surface = nullptr);  // 0xRRGGBB
void fillCanvas(std::uint8_t r, std::uint8_t g, std::uint8_t b);

// A w x h sheet in gTexture[slot] (the surface returned is the caller's) whose pixel (x, y) is
// (x % 256, y % 256, 16 tag + 2 (x / 256) + y / 256): every pixel tells its place and its sheet.
SDL_Surface* codedSheet(std::int32_t slot, std::int32_t w, std::int32_t h, std::int32_t tag);
// A coded font sheet (tag 6) in gTexture[kTextureFont].
void useCoordinateFont();
struct GlyphProbe {
  bool drawn = false;  // the 10 x 15 block at (x, y) is one whole cell of the sheet, unscaled
  char character = '\0';
  std::int32_t style = -1;
};
GlyphProbe glyphAt(std::int32_t x, std::int32_t y);
// `count` blocks rightwards: a block without a glyph reads ' ', one of another style or cut '?'.
std::string textAt(std::int32_t x, std::int32_t y, std::int32_t count, std::int32_t style);
std::int32_t countGlyphPixels();
// Each glyph set's cells, 16 a row; '\x01' is a cell without a character.
extern const char* const kFontLayout[6];

// `if (!runningUnderXvfb()) return;` runs the test again in a child on an X server of its own
// (1024 x 768) and returns false; in the child it returns true.
bool runningUnderXvfb();

void writeFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> readFileBytes(const std::string& path);  // empty when missing
std::string commandOutput(const std::string& command);
std::string printedBy(const std::function<void()>& action);  // what `action` printed on stdout

// The default bindings, the drawn glyph size and an empty event queue, as at start-up.
void resetToStartUpState();
SDL_Event keyEvent(Uint32 type, SDL_Keycode key, bool repeat);
void pushKeyDown(SDL_Keycode key, bool repeat = false);
void pushKeyUp(SDL_Keycode key);
void pushQuit();
void drainEvents();

}  // namespace testing_support
