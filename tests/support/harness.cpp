#include "support/harness.h"

#include <SDL_image.h>
#include <SDL_mixer.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "app/platform.h"

namespace fs = std::filesystem;

namespace testing_support {
namespace {

RunDirectory gRunDirectory;
SDL_Surface* gCanvas = nullptr;
bool gLibrariesReady = false;

void pushKey(Uint32 type, SDL_Keycode key, bool repeat) {
  SDL_Event event{};
  event.type = type;
  event.key.type = type;
  event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
  event.key.repeat = repeat ? 1 : 0;
  event.key.keysym.sym = key;
  event.key.keysym.scancode = SDL_GetScancodeFromKey(key);
  SDL_PushEvent(&event);
}

}  // namespace

std::string committedAssetPath(const std::string& fileName) {
  return std::string(ZELLWORTH_ASSETS_DIR) + "/" + fileName;
}

const RunDirectory& enterFreshRunDirectory() {
  removeRunDirectory();
  std::string pattern = (fs::temp_directory_path() / "zellworth-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  gRunDirectory.root = pattern;
  gRunDirectory.run = pattern + "/run";
  gRunDirectory.common = pattern + "/Common";
  fs::create_directory(gRunDirectory.run);
  fs::create_directory(gRunDirectory.common);
  for (const auto& entry : fs::directory_iterator(ZELLWORTH_ASSETS_DIR)) {
    const std::string name = entry.path().filename().string();
    if (name == "Settings.bin" || !entry.is_regular_file()) continue;
    fs::create_symlink(fs::absolute(entry.path()), gRunDirectory.common + "/" + name);
  }
  if (chdir(gRunDirectory.run.c_str()) != 0) throw std::runtime_error("chdir failed");
  return gRunDirectory;
}

const RunDirectory& currentRunDirectory() { return gRunDirectory; }

void removeRunDirectory() {
  if (gRunDirectory.root.empty()) return;
  chdir("/");
  std::error_code ignored;
  fs::remove_all(gRunDirectory.root, ignored);
  gRunDirectory = RunDirectory{};
}

void initializeLibraries() {
  if (gLibrariesReady) return;
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO) < 0) throw std::runtime_error(SDL_GetError());
  IMG_Init(IMG_INIT_PNG);
  if (Mix_OpenAudio(44100, AUDIO_S16LSB, 2, 2048) < 0) throw std::runtime_error(Mix_GetError());
  gLibrariesReady = true;
}

void useSoftwareRenderer() {
  initializeLibraries();
  releaseSoftwareRenderer();
  gCanvas = SDL_CreateRGBSurfaceWithFormat(0, kWindowWidth, kWindowHeight, 32, SDL_PIXELFORMAT_ARGB8888);
  gRenderer = SDL_CreateSoftwareRenderer(gCanvas);
  SDL_SetRenderDrawColor(gRenderer, 0, 0, 0, 255);
  SDL_SetRenderDrawBlendMode(gRenderer, SDL_BLENDMODE_BLEND);
}

std::int32_t useSoftwareRendererWithMedia() {
  useSoftwareRenderer();
  if (gRunDirectory.root.empty()) enterFreshRunDirectory();
  return loadMedia();
}

void releaseSoftwareRenderer() {
  for (auto& texture : gTexture) {
    SDL_DestroyTexture(texture);
    texture = nullptr;
  }
  for (auto& sound : gSnd) {
    Mix_FreeChunk(sound);
    sound = nullptr;
  }
  if (gRenderer != nullptr) SDL_DestroyRenderer(gRenderer);
  gRenderer = nullptr;
  if (gCanvas != nullptr) SDL_FreeSurface(gCanvas);
  gCanvas = nullptr;
}

SDL_Surface* canvas() { return gCanvas; }

SDL_Color pixelAt(std::int32_t x, std::int32_t y) {
  const auto* row = static_cast<const std::uint8_t*>(gCanvas->pixels) + y * gCanvas->pitch;
  Uint32 value = reinterpret_cast<const Uint32*>(row)[x];
  SDL_Color color{};
  SDL_GetRGBA(value, gCanvas->format, &color.r, &color.g, &color.b, &color.a);
  return color;
}

void fillCanvas(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  SDL_FillRect(gCanvas, nullptr, SDL_MapRGB(gCanvas->format, r, g, b));
}

void pushKeyDown(SDL_Keycode key, bool repeat) { pushKey(SDL_KEYDOWN, key, repeat); }
void pushKeyUp(SDL_Keycode key) { pushKey(SDL_KEYUP, key, false); }

void pushQuit() {
  SDL_Event event{};
  event.type = SDL_QUIT;
  SDL_PushEvent(&event);
}

void drainEvents() {
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
}

}  // namespace testing_support
