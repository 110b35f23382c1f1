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

namespace fs = std::filesystem;

namespace fuzz_support {
namespace {

constexpr std::int32_t kGuardRows = 64;
constexpr std::uint8_t kGuardByte = 0xA5;
constexpr std::size_t kGuardBytes = kGuardRows * kWindowWidth * 4;

std::vector<std::uint8_t> gFencedPixels;  // guard rows, the ARGB canvas, guard rows
std::string gScratch;

}  // namespace

void fail(const std::string& what) {
  fprintf(stderr, "fuzz property broken: %s\n", what.c_str());
  fflush(stderr);
  abort();
}

void setUpOnce() {
  if (!gScratch.empty()) return;
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  gScratch = (fs::temp_directory_path() / "zellworth-fuzz-XXXXXX").string();
  if (mkdtemp(gScratch.data()) == nullptr) fail("mkdtemp failed");
  fs::create_directory(gScratch + "/run");
  fs::create_directory(gScratch + "/Common");
  for (const auto& entry : fs::directory_iterator(ZELLWORTH_ASSETS_DIR)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("Settings.bin", 0) == 0 || name.rfind("Scores.bin", 0) == 0 || !entry.is_regular_file()) continue;
    fs::create_symlink(fs::absolute(entry.path()), gScratch + "/Common/" + name);
  }
  if (chdir((gScratch + "/run").c_str()) != 0) fail("chdir failed");
  atexit([] {
    std::error_code ignored;
    fs::remove_all(gScratch, ignored);
  });
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO) < 0) fail(SDL_GetError());
  IMG_Init(IMG_INIT_PNG);
  if (Mix_OpenAudio(44100, AUDIO_S16LSB, 2, 2048) < 0) fail(Mix_GetError());
  gFencedPixels.assign(2 * kGuardBytes + kWindowHeight * kWindowWidth * 4, kGuardByte);
  SDL_Surface* canvas = SDL_CreateRGBSurfaceWithFormatFrom(gFencedPixels.data() + kGuardBytes, kWindowWidth,
                                                           kWindowHeight, 32, kWindowWidth * 4, SDL_PIXELFORMAT_ARGB8888);
  gRenderer = SDL_CreateSoftwareRenderer(canvas);
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
  SDL_RenderFlush(gRenderer);  // the renderer queues its drawing
  static const std::vector<std::uint8_t> untouched(kGuardBytes, kGuardByte);
  if (memcmp(gFencedPixels.data(), untouched.data(), kGuardBytes) != 0 ||
      memcmp(&*(gFencedPixels.end() - kGuardBytes), untouched.data(), kGuardBytes) != 0) {
    fail("a drawing call wrote outside the canvas");
  }
}

void writeSettingsFile(const std::uint8_t* data, std::size_t size) {
  FILE* file = fopen(kSettingsPath, "wb");
  if (file == nullptr || (size != 0 && fwrite(data, 1, size, file) != size)) fail("cannot write the settings file");
  fclose(file);
}

void restoreDefaultBindings() { memcpy(gKeyBindings, kDefaultKeyBindings, sizeof(gKeyBindings)); }

}  // namespace fuzz_support
