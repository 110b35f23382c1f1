// Drawing checks: the canvas against the committed or coded sheet (every pixel unique) drawn from.
#pragma once

#include <SDL.h>
#include <SDL_image.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
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

inline SDL_Surface* committed(const std::string& name) {
  static std::map<std::string, SDL_Surface*> loaded;
  SDL_Surface*& sheet = loaded[name];
  if (sheet != nullptr) return sheet;
  SDL_Surface* file = IMG_Load(testing_support::committedAssetPath(name).c_str());
  if (file == nullptr) throw std::runtime_error(name + " does not load");
  sheet = kept(SDL_ConvertSurfaceFormat(file, SDL_PIXELFORMAT_ARGB8888, 0));
  SDL_FreeSurface(file);
  return sheet;
}

// Pixel (x, y) is (x % 256, y % 256, 16 tag + 2 (x / 256) + y / 256); the texture of `slot`.
inline SDL_Surface* coded(std::int32_t slot, std::int32_t w, std::int32_t h, std::int32_t tag) {
  SDL_Surface* sheet = kept(SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_ARGB8888));
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

// A sheet of one pixel, for areas of one colour.
inline SDL_Surface* plain(SDL_Color colour) {
  SDL_Surface* sheet = kept(SDL_CreateRGBSurfaceWithFormat(0, 1, 1, 32, SDL_PIXELFORMAT_ARGB8888));
  SDL_FillRect(sheet, nullptr, SDL_MapRGB(sheet->format, colour.r, colour.g, colour.b));
  return sheet;
}

// The game's sheets, coded; their colours never pass for the coordinate font's (blue 100 or 101).
struct GameSheets {
  SDL_Surface *bird, *feather, *butterfly, *shots, *sky[2];
};
inline GameSheets codedGameSheets() {
  return {coded(kTextureBird, 640, 320, 1), coded(kTextureFeather, 16, 16, 2), coded(kTextureButterfly, 315, 45, 3),
          coded(kTextureProjectiles, 32, 8, 4),
          {coded(kTextureBackground0, 1920, 300, 5), coded(kTextureBackground1, 1920, 300, 7)}};
}

inline SDL_Color at(const SDL_Surface* surface, std::int32_t x, std::int32_t y) {
  Uint32 value = 0;
  std::memcpy(&value, static_cast<const std::uint8_t*>(surface->pixels) + y * surface->pitch + 4 * x, 4);
  SDL_Color color{};
  SDL_GetRGBA(value, surface->format, &color.r, &color.g, &color.b, &color.a);
  return color;
}

inline bool same(SDL_Color a, SDL_Color b) { return a.r == b.r && a.g == b.g && a.b == b.b; }
inline bool magenta(SDL_Color c) { return c.r == 255 && c.g == 0 && c.b == 255; }

// Every window pixel of `dst` shows `src` of `sheet` scaled to it (magenta, the transparent colour,
// as the fill), or the fill throughout for no sheet; with `ring`, the pixels around `dst` keep the fill.
inline ::testing::AssertionResult drawnFrom(const SDL_Surface* sheet, SDL_Rect src, SDL_Rect dst, bool ring = true) {
  const SDL_Surface* canvas = testing_support::canvas();
  for (std::int32_t y = dst.y - ring; y < dst.y + dst.h + ring; ++y) {
    for (std::int32_t x = dst.x - ring; x < dst.x + dst.w + ring; ++x) {
      if (x < 0 || y < 0 || x >= kWindowWidth || y >= kWindowHeight) continue;
      const bool inside = x >= dst.x && y >= dst.y && x < dst.x + dst.w && y < dst.y + dst.h;
      SDL_Color want = kFill;
      if (inside && sheet != nullptr) want = at(sheet, src.x + (x - dst.x) * src.w / dst.w, src.y + (y - dst.y) * src.h / dst.h);
      if (magenta(want)) want = kFill;
      const SDL_Color got = at(canvas, x, y);
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
