#include "support/harness.h"

#include <SDL_image.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>

#include "app/platform.h"
#include "app/settings.h"
#include "text/font.h"

namespace fs = std::filesystem;

namespace testing_support {
namespace {

RunDirectory gRunDirectory;
SDL_Surface* gCanvas = nullptr;
bool gLibrariesReady = false;

// The coordinate font is a coded sheet of its own tag.
constexpr std::int32_t kCellWidth = 10, kCellHeight = 15, kRowsPerStyle = 6, kFontTag = 6;
constexpr std::int32_t kSheetWidth = 16 * kCellWidth, kSheetHeight = 4 * kRowsPerStyle * kCellHeight;

bool sheetPositionAt(std::int32_t x, std::int32_t y, std::int32_t& sheetX, std::int32_t& sheetY) {
  if (x < 0 || y < 0 || x >= gCanvas->w || y >= gCanvas->h) return false;
  const SDL_Color color = pixelAt(x, y);
  if (color.r >= kSheetWidth || color.b >> 1 != kFontTag << 3) return false;
  sheetX = color.r;
  sheetY = color.g | (color.b & 1) << 8;
  return true;
}

}  // namespace

std::string committedAssetPath(const std::string& fileName) { return ZELLWORTH_ASSETS_DIR "/" + fileName; }

const RunDirectory& enterFreshRunDirectory() {
  removeRunDirectory();
  std::string root = (fs::temp_directory_path() / "zellworth-test-XXXXXX").string();
  if (mkdtemp(root.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  gRunDirectory = {root, root + "/run", root + "/Common"};
  fs::create_directory(gRunDirectory.run);
  fs::create_directory(gRunDirectory.common);
  std::error_code missingAssets;
  for (const auto& entry : fs::directory_iterator(ZELLWORTH_ASSETS_DIR, missingAssets)) {
    const std::string name = entry.path().filename().string();
    if (name == "Settings.bin" || name.rfind("Scores.bin", 0) == 0 || !entry.is_regular_file()) continue;
    fs::create_symlink(fs::absolute(entry.path()), gRunDirectory.common + "/" + name);
  }
  if (chdir(gRunDirectory.run.c_str()) != 0) throw std::runtime_error("chdir failed");
  return gRunDirectory;
}

const RunDirectory& currentRunDirectory() { return gRunDirectory; }

void removeRunDirectory() {
  if (gRunDirectory.root.empty() || chdir("/") != 0) return;
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

void forgetLibraries() {
  gLibrariesReady = false;
  gRenderer = nullptr;  // destroyed with SDL
  SDL_FreeSurface(gCanvas);
  gCanvas = nullptr;
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
  for (auto& texture : gTexture) SDL_DestroyTexture(std::exchange(texture, nullptr));
  for (auto& sound : gSnd) Mix_FreeChunk(std::exchange(sound, nullptr));
  if (gRenderer != nullptr) SDL_DestroyRenderer(std::exchange(gRenderer, nullptr));
  SDL_FreeSurface(std::exchange(gCanvas, nullptr));
}

SDL_Surface* canvas() { return gCanvas; }

SDL_Color pixelAt(std::int32_t x, std::int32_t y, const SDL_Surface* surface) {
  if (surface == nullptr) surface = gCanvas;
  Uint32 value;
  SDL_memcpy(&value, static_cast<const std::uint8_t*>(surface->pixels) + y * surface->pitch + x * 4, 4);
  SDL_Color color{};
  SDL_GetRGBA(value, surface->format, &color.r, &color.g, &color.b, &color.a);
  return color;
}

std::uint32_t rgbAt(std::int32_t x, std::int32_t y, const SDL_Surface* surface) {
  const SDL_Color color = pixelAt(x, y, surface);
  return static_cast<std::uint32_t>(color.r << 16 | color.g << 8 | color.b);
}
void fillCanvas(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  SDL_FillRect(gCanvas, nullptr, SDL_MapRGB(gCanvas->format, r, g, b));
}

const char* const kFontLayout[6] = {"0123456789ABCDEF", "GHIJKLMNOPQRSTUV", "WXYZabcdefghijkl",
                                    "mnopqrstuvwxyz.:", ",;|/\\'\"?!+-*=()_",
                                    "<>[]#$^\x01\x01\x01 \x01\x01\x01\x01\x01"};

SDL_Surface* codedSheet(std::int32_t slot, std::int32_t w, std::int32_t h, std::int32_t tag) {
  SDL_Surface* sheet = SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_ARGB8888);
  for (std::int32_t y = 0; y < h; ++y) {
    for (std::int32_t x = 0; x < w; ++x) {
      static_cast<Uint32*>(sheet->pixels)[y * sheet->pitch / 4 + x] =
          SDL_MapRGB(sheet->format, x & 255, y & 255, tag << 4 | (x >> 8) << 1 | y >> 8);
    }
  }
  SDL_DestroyTexture(gTexture[slot]);
  gTexture[slot] = SDL_CreateTextureFromSurface(gRenderer, sheet);
  return sheet;
}

void useCoordinateFont() { SDL_FreeSurface(codedSheet(kTextureFont, kSheetWidth, kSheetHeight, kFontTag)); }

GlyphProbe glyphAt(std::int32_t x, std::int32_t y) {
  GlyphProbe probe;
  std::int32_t cellX = 0, cellY = 0, sheetX = 0, sheetY = 0;
  if (!sheetPositionAt(x, y, cellX, cellY) || cellX % kCellWidth != 0 || cellY % kCellHeight != 0) return probe;
  for (std::int32_t dy = 0; dy < kCellHeight; ++dy) {
    for (std::int32_t dx = 0; dx < kCellWidth; ++dx) {
      if (!sheetPositionAt(x + dx, y + dy, sheetX, sheetY) || sheetX != cellX + dx || sheetY != cellY + dy) return probe;
    }
  }
  const std::int32_t row = cellY / kCellHeight;
  return {true, kFontLayout[row % kRowsPerStyle][cellX / kCellWidth], row / kRowsPerStyle};
}

std::string textAt(std::int32_t x, std::int32_t y, std::int32_t count, std::int32_t style) {
  std::string text;
  for (std::int32_t left = x, sheetX, sheetY; left < x + count * kCellWidth; left += kCellWidth) {
    const GlyphProbe probe = glyphAt(left, y);
    if (probe.drawn && probe.style == style) {
      text += probe.character;
    } else {
      text += probe.drawn || sheetPositionAt(left, y, sheetX, sheetY) ? '?' : ' ';
    }
  }
  return text;
}

std::int32_t countGlyphPixels() {
  std::int32_t count = 0;
  for (std::int32_t y = 0, sheetX, sheetY; y < gCanvas->h; ++y) {
    for (std::int32_t x = 0; x < gCanvas->w; ++x) count += sheetPositionAt(x, y, sheetX, sheetY) ? 1 : 0;
  }
  return count;
}

bool runningUnderXvfb() {
  if (std::getenv("ZELLWORTH_UNDER_XVFB") != nullptr) {
    setenv("SDL_VIDEODRIVER", "x11", 1);
    return true;
  }
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string command = std::string("bash '") + ZELLWORTH_X_SERVER_SCRIPT +
                              "' 1024x768 env ZELLWORTH_UNDER_XVFB=1 '" + fs::read_symlink("/proc/self/exe").string() +
                              "' --gtest_filter='" + test->test_suite_name() + "." + test->name() + "'";
  fflush(stdout);
  const int status = std::system(command.c_str());
  if (status != 0) ADD_FAILURE() << "the test failed under Xvfb (status " << status << ")";
  return false;
}

void writeFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string commandOutput(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  for (int c; pipe != nullptr && (c = fgetc(pipe)) != EOF;) output += static_cast<char>(c);
  if (pipe != nullptr) pclose(pipe);
  return output;
}

std::string printedBy(const std::function<void()>& action) {
  fflush(stdout);
  ::testing::internal::CaptureStdout();
  action();
  fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

SDL_Event keyEvent(Uint32 type, SDL_Keycode key, bool repeat) {
  SDL_Event event{type};
  event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
  event.key.repeat = repeat ? 1 : 0;
  event.key.keysym = {SDL_GetScancodeFromKey(key), key, 0, 0};
  return event;
}
void push(SDL_Event event) { SDL_PushEvent(&event); }
void pushKeyDown(SDL_Keycode key, bool repeat) { push(keyEvent(SDL_KEYDOWN, key, repeat)); }
void pushKeyUp(SDL_Keycode key) { push(keyEvent(SDL_KEYUP, key, false)); }
void pushQuit() { push(SDL_Event{SDL_QUIT}); }

void resetToStartUpState() {
  std::copy(kDefaultKeyBindings, kDefaultKeyBindings + kKeyBindingCount, gKeyBindings);
  gCharacterWidthToRender = 10;
  gCharacterHeightToRender = 15;
  drainEvents();
}

void drainEvents() {
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
}

}  // namespace testing_support
