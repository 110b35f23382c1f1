// Makes the desktop icon from the game's own art: the first cell of the bird's sprite sheet,
// with the sheet's magenta colour key turned transparent, scaled to a square icon size.
//
// Usage: zellworth_make_icon BIRD_PNG CELL_SIZE ICON_SIZE OUT_PNG
#include <SDL.h>
#include <SDL_image.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

int fail(const char* what, const char* detail) {
  std::fprintf(stderr, "zellworth_make_icon: %s: %s\n", what, detail);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s BIRD_PNG CELL_SIZE ICON_SIZE OUT_PNG\n", argv[0]);
    return 2;
  }
  const int cellSize = std::atoi(argv[2]);
  const int iconSize = std::atoi(argv[3]);
  if (cellSize <= 0 || iconSize <= 0) {
    std::fprintf(stderr, "zellworth_make_icon: sizes must be positive\n");
    return 2;
  }
  if (IMG_Init(IMG_INIT_PNG) == 0) return fail("SDL_image", IMG_GetError());

  SDL_Surface* loaded = IMG_Load(argv[1]);
  if (loaded == nullptr) return fail(argv[1], IMG_GetError());
  SDL_Surface* sheet = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0);
  SDL_FreeSurface(loaded);
  if (sheet == nullptr) return fail(argv[1], SDL_GetError());
  if (sheet->w < cellSize || sheet->h < cellSize) return fail(argv[1], "smaller than one cell");

  // The cell, with the colour key made see-through.
  SDL_Surface* cell = SDL_CreateRGBSurfaceWithFormat(0, cellSize, cellSize, 32, SDL_PIXELFORMAT_RGBA32);
  if (cell == nullptr) return fail("cell", SDL_GetError());
  for (int y = 0; y < cellSize; ++y) {
    const auto* from = static_cast<const std::uint8_t*>(sheet->pixels) + y * sheet->pitch;
    auto* to = static_cast<std::uint8_t*>(cell->pixels) + y * cell->pitch;
    for (int x = 0; x < cellSize; ++x) {
      const std::uint8_t* p = from + 4 * x;
      const bool key = p[0] == 255 && p[1] == 0 && p[2] == 255;
      to[4 * x + 0] = key ? 0 : p[0];
      to[4 * x + 1] = key ? 0 : p[1];
      to[4 * x + 2] = key ? 0 : p[2];
      to[4 * x + 3] = key ? 0 : p[3];
    }
  }
  SDL_FreeSurface(sheet);

  // Nearest-neighbour scaling keeps the pixel art sharp.
  SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormat(0, iconSize, iconSize, 32, SDL_PIXELFORMAT_RGBA32);
  if (icon == nullptr) return fail("icon", SDL_GetError());
  SDL_SetSurfaceBlendMode(cell, SDL_BLENDMODE_NONE);
  if (SDL_BlitScaled(cell, nullptr, icon, nullptr) != 0) return fail("scaling", SDL_GetError());
  if (IMG_SavePNG(icon, argv[4]) != 0) return fail(argv[4], IMG_GetError());
  SDL_FreeSurface(cell);
  SDL_FreeSurface(icon);
  IMG_Quit();
  return 0;
}
