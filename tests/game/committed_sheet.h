// Compares what a drawing call put on the canvas with the committed sprite sheet it drew from.
#pragma once

#include <SDL.h>
#include <SDL_image.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "support/harness.h"

namespace committed_sheet {

// The canvas colour that the tests fill with before drawing; no sheet uses it.
constexpr SDL_Color kFill = {1, 2, 3, 255};

inline void fillCanvas() { testing_support::fillCanvas(kFill.r, kFill.g, kFill.b); }

using Sheet = std::unique_ptr<SDL_Surface, void (*)(SDL_Surface*)>;

// The committed sheet `fileName` as 32-bit ARGB pixels.
inline Sheet loadSheet(const std::string& fileName) {
  SDL_Surface* loaded = IMG_Load(testing_support::committedAssetPath(fileName).c_str());
  if (loaded == nullptr) return Sheet(nullptr, SDL_FreeSurface);
  SDL_Surface* converted = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(loaded);
  return Sheet(converted, SDL_FreeSurface);
}

inline SDL_Color sheetPixel(const SDL_Surface* sheet, std::int32_t x, std::int32_t y) {
  const auto* row = static_cast<const std::uint8_t*>(sheet->pixels) + y * sheet->pitch;
  SDL_Color color{};
  SDL_GetRGBA(reinterpret_cast<const Uint32*>(row)[x], sheet->format, &color.r, &color.g, &color.b, &color.a);
  return color;
}

// What a copy of `source` onto `destination` leaves at a window pixel inside the destination:
// the nearest sheet pixel, or the fill where the sheet is magenta (its transparent colour).
inline SDL_Color expectedPixel(const SDL_Surface* sheet, const SDL_Rect& source, const SDL_Rect& destination,
                               std::int32_t windowX, std::int32_t windowY) {
  const std::int32_t sheetX = source.x + (windowX - destination.x) * source.w / destination.w;
  const std::int32_t sheetY = source.y + (windowY - destination.y) * source.h / destination.h;
  const SDL_Color color = sheetPixel(sheet, sheetX, sheetY);
  if (color.r == 255 && color.g == 0 && color.b == 255) return kFill;
  return color;
}

// Every window pixel of `destination` (clipped to the window) shows `source` of `sheet`.
inline ::testing::AssertionResult drawnFrom(const SDL_Surface* sheet, const SDL_Rect& source,
                                            const SDL_Rect& destination) {
  if (sheet == nullptr) return ::testing::AssertionFailure() << "the sheet did not load";
  for (std::int32_t y = destination.y; y < destination.y + destination.h; ++y) {
    for (std::int32_t x = destination.x; x < destination.x + destination.w; ++x) {
      if (x < 0 || y < 0 || x >= 800 || y >= 600) continue;
      const SDL_Color want = expectedPixel(sheet, source, destination, x, y);
      const SDL_Color got = testing_support::pixelAt(x, y);
      if (want.r != got.r || want.g != got.g || want.b != got.b) {
        return ::testing::AssertionFailure()
               << "window (" << x << ", " << y << ") is " << int(got.r) << "," << int(got.g) << "," << int(got.b)
               << ", the sheet gives " << int(want.r) << "," << int(want.g) << "," << int(want.b);
      }
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace committed_sheet
