// An RGB picture in memory and the few drawing operations the sprite sheets are made of.
#pragma once

#include <cstdint>
#include <vector>

struct Rgb {
  std::uint8_t r;
  std::uint8_t g;
  std::uint8_t b;
};

inline bool operator==(Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; }
inline bool operator!=(Rgb a, Rgb b) { return !(a == b); }

// The colour key of every sheet: pixels of exactly this colour are not drawn by the game.
constexpr Rgb kKeyColour{255, 0, 255};

// Row-major pixels; drawing outside the picture is clipped.
struct Canvas {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<Rgb> pixels;

  Canvas(std::int32_t pictureWidth, std::int32_t pictureHeight, Rgb background);
  bool contains(std::int32_t x, std::int32_t y) const;
  Rgb at(std::int32_t x, std::int32_t y) const;  // the key colour outside the picture
  void set(std::int32_t x, std::int32_t y, Rgb colour);
  bool isKey(std::int32_t x, std::int32_t y) const { return at(x, y) == kKeyColour; }
};

// Linear mix: amount 0 gives a, 1 gives b.
Rgb mix(Rgb a, Rgb b, double amount);

void fillRect(Canvas& canvas, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, Rgb colour);
// Pixels whose centre lies inside the ellipse.
void fillEllipse(Canvas& canvas, double centreX, double centreY, double radiusX, double radiusY,
                 Rgb colour);
// Pixels whose centre lies inside the polygon (even-odd rule); points as x0, y0, x1, y1, ...
void fillPolygon(Canvas& canvas, const std::vector<double>& points, Rgb colour);
// Paints every key-coloured pixel that touches a non-key pixel (8 neighbours when `diagonal`)
// inside the rectangle, so sprites get a crisp one-pixel outline.
void outlineSprites(Canvas& canvas, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                    Rgb colour, bool diagonal);
// Copies `source` onto `target` at (x, y), each source pixel becoming scale x scale pixels;
// key-coloured source pixels are skipped.
void blitScaled(Canvas& target, const Canvas& source, std::int32_t sourceX, std::int32_t sourceY,
                std::int32_t sourceW, std::int32_t sourceH, std::int32_t x, std::int32_t y,
                std::int32_t scale);
