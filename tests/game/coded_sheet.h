// Test sheets whose every pixel tells where it came from, so that a pixel read back from the
// canvas names the sheet and the sheet pixel that was drawn there.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <ostream>
#include <stdexcept>

#include "support/harness.h"

namespace coded_sheet {

// Red and green carry the low bytes of the sheet column and row; blue carries the sheet's tag
// (upper four bits), bits 8 to 10 of the column and bit 8 of the row.
struct SheetPixel {
  std::int32_t x;
  std::int32_t y;
  std::int32_t tag;
  bool operator==(const SheetPixel& other) const { return x == other.x && y == other.y && tag == other.tag; }
};

// The tag that a canvas filled by fillBlank() decodes to.
constexpr std::int32_t kBlankTag = 15;

inline void fillBlank() { testing_support::fillCanvas(0, 0, kBlankTag << 4); }

// A width x height texture (width up to 2047, height up to 511) on gRenderer whose pixels encode
// their own position and `tag` (0 to 14).
inline SDL_Texture* makeCodedSheet(SDL_Renderer* renderer, std::int32_t width, std::int32_t height, std::int32_t tag) {
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_RGB888);
  if (surface == nullptr) throw std::runtime_error(SDL_GetError());
  for (std::int32_t y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<Uint32*>(static_cast<std::uint8_t*>(surface->pixels) + y * surface->pitch);
    for (std::int32_t x = 0; x < width; ++x) {
      const auto blue = static_cast<std::uint8_t>((tag << 4) | ((x >> 8) << 1) | ((y >> 8) & 1));
      row[x] = SDL_MapRGB(surface->format, static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), blue);
    }
  }
  SDL_Texture* texture = SDL_CreateTextureFromSurface(renderer, surface);
  SDL_FreeSurface(surface);
  if (texture == nullptr) throw std::runtime_error(SDL_GetError());
  return texture;
}

inline SheetPixel sheetPixelAt(std::int32_t windowX, std::int32_t windowY) {
  const SDL_Color color = testing_support::pixelAt(windowX, windowY);
  return SheetPixel{color.r | (((color.b >> 1) & 7) << 8), color.g | ((color.b & 1) << 8), color.b >> 4};
}

inline std::ostream& operator<<(std::ostream& out, const SheetPixel& pixel) {
  return out << "sheet " << pixel.tag << " (" << pixel.x << ", " << pixel.y << ")";
}
}  // namespace coded_sheet
