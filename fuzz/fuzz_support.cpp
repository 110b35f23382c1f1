#include "fuzz_support.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/platform.h"

namespace fuzz_support {
namespace {

constexpr std::size_t kGuardBytes = 64 * kWindowWidth * 4;  // 64 rows
constexpr std::uint8_t kGuardByte = 0xA5;
std::vector<std::uint8_t> gFencedPixels;  // guard rows, the ARGB canvas, guard rows

}  // namespace

void fail(const std::string& what) {
  fprintf(stderr, "fuzz property broken: %s\n", what.c_str());
  fflush(stderr);
  abort();
}

void setUpOnce() {
  if (!gFencedPixels.empty()) return;
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  testing_support::enterFreshRunDirectory();
  atexit(testing_support::removeRunDirectory);
  testing_support::initializeLibraries();
  gFencedPixels.assign(2 * kGuardBytes + kWindowHeight * kWindowWidth * 4, kGuardByte);
  SDL_Surface* canvas = SDL_CreateRGBSurfaceWithFormatFrom(gFencedPixels.data() + kGuardBytes, kWindowWidth,
                                                           kWindowHeight, 32, kWindowWidth * 4, SDL_PIXELFORMAT_ARGB8888);
  gRenderer = SDL_CreateSoftwareRenderer(canvas);
  if (gRenderer == nullptr) fail(std::string("no software renderer: ") + SDL_GetError());
  SDL_SetRenderDrawBlendMode(gRenderer, SDL_BLENDMODE_BLEND);
  if (loadMedia() != 0) fail("the media did not load");
  testing_support::resetToStartUpState();
  clearCanvas();
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

ReplayVerdict verifyChecked(std::vector<std::uint8_t>& bytes, bool sealCrc) {
  if (sealCrc && bytes.size() >= 4) {
    const std::uint32_t crc = SDL_crc32(0, bytes.data(), bytes.size() - 4);
    for (std::size_t i = 0; i < 4; ++i) bytes[bytes.size() - 4 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
  }
  ReplayVerdict verdict;
  verifyReplay(bytes.data(), bytes.size(), verdict);
  const std::size_t length = strnlen(verdict.message, sizeof verdict.message);
  if (length == 0 || length == sizeof verdict.message || std::strchr(verdict.message, '\n') != nullptr) {
    fail("the verdict is not one line");
  }
  if (verdict.status != 0 && verdict.status != 2 && verdict.status != 3) fail("an unknown status");
  if ((verdict.status == 2) != (verdict.problem != ReplayProblem::kNone)) fail("status and problem differ");
  if (verdict.status == 0 && verdict.score != verdict.recordedScore) fail("verified another score");
  return verdict;
}

}  // namespace fuzz_support
