// Drawing checks: the canvas against the coded sheet (every pixel unique) drawn from.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "app/platform.h"
#include "support/harness.h"

namespace sheets {

constexpr SDL_Color kFill = {1, 2, 3, 255};  // the canvas before drawing; no sheet has it

inline void fill() { testing_support::fillCanvas(kFill.r, kFill.g, kFill.b); }

inline SDL_Surface* kept(SDL_Surface* surface) {
  static std::vector<std::unique_ptr<SDL_Surface, void (*)(SDL_Surface*)>> all;
  all.emplace_back(surface, SDL_FreeSurface);
  return surface;
}

inline SDL_Surface* coded(std::int32_t slot, std::int32_t w, std::int32_t h, std::int32_t tag) {
  return kept(testing_support::codedSheet(slot, w, h, tag));
}

// A sheet of one pixel, for areas of one colour.
inline SDL_Surface* plain(SDL_Color colour) {
  SDL_Surface* sheet = kept(SDL_CreateRGBSurfaceWithFormat(0, 1, 1, 32, SDL_PIXELFORMAT_ARGB8888));
  SDL_FillRect(sheet, nullptr, SDL_MapRGB(sheet->format, colour.r, colour.g, colour.b));
  return sheet;
}

// The game's sheets, coded; none has the coordinate font's tag (6).
struct GameSheets {
  SDL_Surface *bird, *feather, *butterfly, *shots, *sky[2];
};
inline GameSheets codedGameSheets() {
  return {coded(kTextureBird, 640, 320, 1), coded(kTextureFeather, 16, 16, 2), coded(kTextureButterfly, 315, 45, 3),
          coded(kTextureProjectiles, 32, 8, 4),
          {coded(kTextureBackground0, 1920, 300, 5), coded(kTextureBackground1, 1920, 300, 7)}};
}

inline bool same(SDL_Color a, SDL_Color b) { return a.r == b.r && a.g == b.g && a.b == b.b; }
inline bool magenta(SDL_Color c) { return c.r == 255 && c.g == 0 && c.b == 255; }

// Every window pixel of `dst` shows `src` of `sheet` scaled to it (magenta, the transparent colour,
// as the fill), or the fill throughout for no sheet; with `ring`, the pixels around `dst` keep the fill.
inline ::testing::AssertionResult drawnFrom(const SDL_Surface* sheet, SDL_Rect src, SDL_Rect dst, bool ring = true) {
  for (std::int32_t y = dst.y - ring; y < dst.y + dst.h + ring; ++y) {
    for (std::int32_t x = dst.x - ring; x < dst.x + dst.w + ring; ++x) {
      if (x < 0 || y < 0 || x >= kWindowWidth || y >= kWindowHeight) continue;
      const bool inside = x >= dst.x && y >= dst.y && x < dst.x + dst.w && y < dst.y + dst.h;
      SDL_Color want = kFill;
      if (inside && sheet != nullptr) want = testing_support::pixelAt(src.x + (x - dst.x) * src.w / dst.w, src.y + (y - dst.y) * src.h / dst.h, sheet);
      if (magenta(want)) want = kFill;
      const SDL_Color got = testing_support::pixelAt(x, y);
      if (!same(want, got)) {
        return ::testing::AssertionFailure() << "window (" << x << ", " << y << ") is " << +got.r << "," << +got.g
                                             << "," << +got.b << ", not " << +want.r << "," << +want.g << ","
                                             << +want.b << (inside ? "" : " around the copy");
      }
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace sheets
