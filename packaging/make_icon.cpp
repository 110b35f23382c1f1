// Makes a desktop icon from the game's own art: the first cell of the bird's sprite sheet, with the
// sheet's magenta colour key turned transparent, cut to a square around the bird and scaled to a
// square icon size.
//
// Usage: zellworth_make_icon BIRD_PNG CELL_SIZE ICON_SIZE OUT_PNG
#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kMarginDivisor = 32;  // the bird keeps 1/32 of the icon's side free on each side

int fail(const char* what, const char* detail) {
  std::fprintf(stderr, "zellworth_make_icon: %s: %s\n", what, detail);
  return 1;
}

// Premultiplied colour and coverage of one pixel, so that averaging does not bleed the colour of
// transparent pixels into the bird's outline.
struct Pixel {
  float red = 0, green = 0, blue = 0, alpha = 0;
};

// A square picture, read as transparent outside its bounds.
struct Square {
  int side = 0;
  std::vector<Pixel> pixels;
  Pixel at(int x, int y) const {
    if (x < 0 || y < 0 || x >= side || y >= side) return {};
    return pixels[static_cast<std::size_t>(y) * side + x];
  }
};

// The cell at the sheet's top-left corner; the colour key becomes transparent.
Square readCell(const SDL_Surface* sheet, int cellSize) {
  Square cell{cellSize, std::vector<Pixel>(static_cast<std::size_t>(cellSize) * cellSize)};
  for (int y = 0; y < cellSize; ++y) {
    const auto* row = static_cast<const std::uint8_t*>(sheet->pixels) + y * sheet->pitch;
    for (int x = 0; x < cellSize; ++x) {
      const std::uint8_t* p = row + 4 * x;
      if (p[0] == 255 && p[1] == 0 && p[2] == 255) continue;
      const float alpha = p[3] / 255.0f;
      cell.pixels[static_cast<std::size_t>(y) * cellSize + x] = {p[0] * alpha, p[1] * alpha, p[2] * alpha, alpha};
    }
  }
  return cell;
}

// The smallest square, with its margin, centred on what is not transparent.
Square cropToContent(const Square& cell) {
  int left = cell.side, top = cell.side, right = -1, bottom = -1;
  for (int y = 0; y < cell.side; ++y) {
    for (int x = 0; x < cell.side; ++x) {
      if (cell.at(x, y).alpha == 0) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  if (right < 0) return cell;
  const int content = std::max(right - left + 1, bottom - top + 1);
  const int side = content + 2 * (content / kMarginDivisor + 1);
  const int originX = (left + right + 1 - side) / 2;
  const int originY = (top + bottom + 1 - side) / 2;
  Square square{side, std::vector<Pixel>(static_cast<std::size_t>(side) * side)};
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) square.pixels[static_cast<std::size_t>(y) * side + x] = cell.at(originX + x, originY + y);
  }
  return square;
}

// Each icon pixel is the average of the picture over the area it covers, smaller or larger than
// one picture pixel: no pixel of the art is skipped when shrinking.
std::vector<Pixel> scaleByArea(const Square& picture, int size) {
  std::vector<Pixel> icon(static_cast<std::size_t>(size) * size);
  const double scale = static_cast<double>(picture.side) / size;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double x0 = x * scale, x1 = (x + 1) * scale, y0 = y * scale, y1 = (y + 1) * scale;
      Pixel sum;
      for (int sy = static_cast<int>(y0); sy < y1; ++sy) {
        const double height = std::min<double>(sy + 1, y1) - std::max<double>(sy, y0);
        for (int sx = static_cast<int>(x0); sx < x1; ++sx) {
          const auto weight = static_cast<float>(height * (std::min<double>(sx + 1, x1) - std::max<double>(sx, x0)));
          const Pixel p = picture.at(sx, sy);
          sum.red += p.red * weight;
          sum.green += p.green * weight;
          sum.blue += p.blue * weight;
          sum.alpha += p.alpha * weight;
        }
      }
      const auto area = static_cast<float>(scale * scale);
      icon[static_cast<std::size_t>(y) * size + x] = {sum.red / area, sum.green / area, sum.blue / area, sum.alpha / area};
    }
  }
  return icon;
}

std::uint8_t channel(float premultiplied, float alpha) {
  const float value = alpha > 0 ? premultiplied / alpha : 0;
  return static_cast<std::uint8_t>(std::clamp(value + 0.5f, 0.0f, 255.0f));
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
  const std::vector<Pixel> pixels = scaleByArea(cropToContent(readCell(sheet, cellSize)), iconSize);
  SDL_FreeSurface(sheet);

  SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormat(0, iconSize, iconSize, 32, SDL_PIXELFORMAT_RGBA32);
  if (icon == nullptr) return fail("icon", SDL_GetError());
  for (int y = 0; y < iconSize; ++y) {
    auto* row = static_cast<std::uint8_t*>(icon->pixels) + y * icon->pitch;
    for (int x = 0; x < iconSize; ++x) {
      const Pixel& p = pixels[static_cast<std::size_t>(y) * iconSize + x];
      const float alpha = std::min(p.alpha, 1.0f);
      row[4 * x + 0] = channel(p.red, alpha);
      row[4 * x + 1] = channel(p.green, alpha);
      row[4 * x + 2] = channel(p.blue, alpha);
      row[4 * x + 3] = static_cast<std::uint8_t>(alpha * 255 + 0.5f);
    }
  }
  if (IMG_SavePNG(icon, argv[4]) != 0) return fail(argv[4], IMG_GetError());
  SDL_FreeSurface(icon);
  IMG_Quit();
  return 0;
}
