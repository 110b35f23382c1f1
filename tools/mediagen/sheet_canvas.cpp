// Drawing operations on in-memory RGB pictures.
#include "sheet_canvas.h"

#include <algorithm>
#include <cmath>

Canvas::Canvas(std::int32_t pictureWidth, std::int32_t pictureHeight, Rgb background)
    : width(pictureWidth),
      height(pictureHeight),
      pixels(static_cast<std::size_t>(pictureWidth) * static_cast<std::size_t>(pictureHeight),
             background) {}

bool Canvas::contains(std::int32_t x, std::int32_t y) const {
  return x >= 0 && y >= 0 && x < width && y < height;
}

Rgb Canvas::at(std::int32_t x, std::int32_t y) const {
  if (!contains(x, y)) return kKeyColour;
  return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
}

void Canvas::set(std::int32_t x, std::int32_t y, Rgb colour) {
  if (!contains(x, y)) return;
  pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] = colour;
}

Rgb mix(Rgb a, Rgb b, double amount) {
  amount = std::clamp(amount, 0.0, 1.0);
  auto channel = [amount](std::uint8_t from, std::uint8_t to) {
    return static_cast<std::uint8_t>(std::lround(from + (to - from) * amount));
  };
  return {channel(a.r, b.r), channel(a.g, b.g), channel(a.b, b.b)};
}

void fillRect(Canvas& canvas, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, Rgb colour) {
  for (std::int32_t row = y; row < y + h; ++row) {
    for (std::int32_t column = x; column < x + w; ++column) canvas.set(column, row, colour);
  }
}

void fillEllipse(Canvas& canvas, double centreX, double centreY, double radiusX, double radiusY,
                 Rgb colour) {
  const std::int32_t top = static_cast<std::int32_t>(std::floor(centreY - radiusY));
  const std::int32_t bottom = static_cast<std::int32_t>(std::ceil(centreY + radiusY));
  const std::int32_t left = static_cast<std::int32_t>(std::floor(centreX - radiusX));
  const std::int32_t right = static_cast<std::int32_t>(std::ceil(centreX + radiusX));
  for (std::int32_t y = top; y <= bottom; ++y) {
    for (std::int32_t x = left; x <= right; ++x) {
      const double dx = (x + 0.5 - centreX) / radiusX;
      const double dy = (y + 0.5 - centreY) / radiusY;
      if (dx * dx + dy * dy <= 1.0) canvas.set(x, y, colour);
    }
  }
}

void fillPolygon(Canvas& canvas, const std::vector<double>& points, Rgb colour) {
  const std::size_t count = points.size() / 2;
  if (count < 3) return;
  double minY = points[1];
  double maxY = points[1];
  for (std::size_t i = 0; i < count; ++i) {
    minY = std::min(minY, points[2 * i + 1]);
    maxY = std::max(maxY, points[2 * i + 1]);
  }
  for (std::int32_t y = static_cast<std::int32_t>(std::floor(minY));
       y <= static_cast<std::int32_t>(std::ceil(maxY)); ++y) {
    const double scanY = y + 0.5;
    std::vector<double> crossings;
    for (std::size_t i = 0; i < count; ++i) {
      const double x0 = points[2 * i];
      const double y0 = points[2 * i + 1];
      const double x1 = points[2 * ((i + 1) % count)];
      const double y1 = points[2 * ((i + 1) % count) + 1];
      if ((y0 <= scanY && y1 > scanY) || (y1 <= scanY && y0 > scanY)) {
        crossings.push_back(x0 + (scanY - y0) / (y1 - y0) * (x1 - x0));
      }
    }
    std::sort(crossings.begin(), crossings.end());
    for (std::size_t i = 0; i + 1 < crossings.size(); i += 2) {
      const std::int32_t from = static_cast<std::int32_t>(std::ceil(crossings[i] - 0.5));
      const std::int32_t to = static_cast<std::int32_t>(std::floor(crossings[i + 1] - 0.5));
      for (std::int32_t x = from; x <= to; ++x) canvas.set(x, y, colour);
    }
  }
}

void outlineSprites(Canvas& canvas, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                    Rgb colour, bool diagonal) {
  std::vector<std::pair<std::int32_t, std::int32_t>> border;
  for (std::int32_t row = y; row < y + h; ++row) {
    for (std::int32_t column = x; column < x + w; ++column) {
      if (!canvas.isKey(column, row)) continue;
      bool touches = false;
      for (std::int32_t dy = -1; dy <= 1 && !touches; ++dy) {
        for (std::int32_t dx = -1; dx <= 1 && !touches; ++dx) {
          if (dx == 0 && dy == 0) continue;
          if (!diagonal && dx != 0 && dy != 0) continue;
          const std::int32_t nx = column + dx;
          const std::int32_t ny = row + dy;
          if (nx < x || ny < y || nx >= x + w || ny >= y + h) continue;
          touches = !canvas.isKey(nx, ny);
        }
      }
      if (touches) border.emplace_back(column, row);
    }
  }
  for (const auto& [column, row] : border) canvas.set(column, row, colour);
}

void blitScaled(Canvas& target, const Canvas& source, std::int32_t sourceX, std::int32_t sourceY,
                std::int32_t sourceW, std::int32_t sourceH, std::int32_t x, std::int32_t y,
                std::int32_t scale) {
  for (std::int32_t row = 0; row < sourceH; ++row) {
    for (std::int32_t column = 0; column < sourceW; ++column) {
      const Rgb colour = source.at(sourceX + column, sourceY + row);
      if (colour == kKeyColour) continue;
      fillRect(target, x + column * scale, y + row * scale, scale, scale, colour);
    }
  }
}
