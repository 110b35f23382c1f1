// Shared ground of the fuzz targets: set-up once, the fenced canvas and the settings file.
#include "fuzz_support.h"

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "app/platform.h"
#include "app/settings.h"
#include "text/font.h"

namespace fuzz_support {
namespace {

constexpr std::int32_t kGuardRows = 64;
constexpr std::uint8_t kGuardByte = 0xA5;
constexpr std::int32_t kPitch = kWindowWidth * 4;  // bytes per row, ARGB8888

std::vector<std::uint8_t> gFencedPixels;
SDL_Surface* gCanvas = nullptr;
bool gReady = false;

std::uint8_t* pixelsBelow() { return gFencedPixels.data() + (kGuardRows + kWindowHeight) * kPitch; }

namespace fs = std::filesystem;
std::string gScratchRoot;

// <scratch>/run becomes the working directory; <scratch>/Common holds links to the media.
void enterScratchRunDirectory() {
  std::string pattern = (fs::temp_directory_path() / "zellworth-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) fail("mkdtemp failed");
  gScratchRoot = pattern;
  fs::create_directory(gScratchRoot + "/run");
  fs::create_directory(gScratchRoot + "/Common");
  for (const auto& entry : fs::directory_iterator(ZELLWORTH_ASSETS_DIR)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("Settings.bin", 0) == 0 || name.rfind("Scores.bin", 0) == 0 || !entry.is_regular_file()) continue;
    fs::create_symlink(fs::absolute(entry.path()), gScratchRoot + "/Common/" + name);
  }
  if (chdir((gScratchRoot + "/run").c_str()) != 0) fail("chdir failed");
  atexit([] {
    std::error_code ignored;
    fs::remove_all(gScratchRoot, ignored);
  });
}

}  // namespace

void fail(const std::string& what) {
  fprintf(stderr, "fuzz property broken: %s\n", what.c_str());
  fflush(stderr);
  abort();
}

void setUpOnce() {
  if (gReady) return;
  gReady = true;
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  enterScratchRunDirectory();
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO) < 0) fail(SDL_GetError());
  IMG_Init(IMG_INIT_PNG);
  if (Mix_OpenAudio(44100, AUDIO_S16LSB, 2, 2048) < 0) fail(Mix_GetError());

  gFencedPixels.assign(static_cast<std::size_t>(kGuardRows * 2 + kWindowHeight) * kPitch, kGuardByte);
  gCanvas = SDL_CreateRGBSurfaceWithFormatFrom(gFencedPixels.data() + kGuardRows * kPitch, kWindowWidth,
                                               kWindowHeight, 32, kPitch, SDL_PIXELFORMAT_ARGB8888);
  gRenderer = SDL_CreateSoftwareRenderer(gCanvas);
  if (gRenderer == nullptr) fail(std::string("no software renderer: ") + SDL_GetError());
  SDL_SetRenderDrawBlendMode(gRenderer, SDL_BLENDMODE_BLEND);
  if (loadMedia() != 0) fail("the media did not load");
  gCharacterWidthToRender = 10;
  gCharacterHeightToRender = 15;
  clearCanvas();
}

void drainEvents() {
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
}

void pushQuit() {
  SDL_Event event{};
  event.type = SDL_QUIT;
  SDL_PushEvent(&event);
}

void clearCanvas() {
  SDL_SetRenderDrawColor(gRenderer, 0, 0, 0, 255);
  SDL_RenderClear(gRenderer);
}

void checkCanvasGuards() {
  // The renderer queues its drawing; make it reach the pixels before looking.
  SDL_RenderFlush(gRenderer);
  const std::size_t guardBytes = static_cast<std::size_t>(kGuardRows) * kPitch;
  static const std::vector<std::uint8_t> untouched(guardBytes, kGuardByte);
  if (memcmp(gFencedPixels.data(), untouched.data(), guardBytes) != 0 ||
      memcmp(pixelsBelow(), untouched.data(), guardBytes) != 0) {
    fail("a drawing call wrote outside the canvas");
  }
}

void writeSettingsFile(const std::uint8_t* data, std::size_t size) {
  FILE* file = fopen(kSettingsPath, "wb");
  if (file == nullptr) fail("cannot write the scratch settings file");
  if (size != 0 && fwrite(data, 1, size, file) != size) fail("short write of the scratch settings file");
  fclose(file);
}

void restoreDefaultBindings() { memcpy(gKeyBindings, kDefaultKeyBindings, sizeof(gKeyBindings)); }

}  // namespace fuzz_support
