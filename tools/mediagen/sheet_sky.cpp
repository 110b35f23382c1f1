// The daytime sky behind the game: one band of 3840 columns that repeats, cut into two sheets.
#include <algorithm>
#include <cmath>
#include <vector>

#include "sheet_art.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

double smoothStep(double edge0, double edge1, double value) {
  const double t = std::clamp((value - edge0) / (edge1 - edge0), 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

// A wave that repeats exactly `cycles` times across the band.
double bandWave(double x, std::int32_t cycles, double phase) {
  return std::sin(2 * kPi * cycles * x / kBandWidth + phase);
}

Rgb skyGradient(double y) {
  const Rgb top{84, 146, 226};
  const Rgb middle{146, 198, 244};
  const Rgb horizon{200, 230, 250};
  if (y < 190) return mix(top, middle, y / 190);
  return mix(middle, horizon, (y - 190) / 110);
}

double farHillTop(double x) {
  return 232 + 12 * bandWave(x, 3, 0.5) + 7 * bandWave(x, 8, 1.3) + 3 * bandWave(x, 21, 0.2);
}

double nearHillTop(double x) {
  return 262 + 10 * bandWave(x, 5, 2.0) + 6 * bandWave(x, 13, 0.7) + 2 * bandWave(x, 37, 1.9);
}

Rgb bandPixel(double x, double y) {
  Rgb colour = skyGradient(y);
  const double far = farHillTop(x);
  if (y + 0.5 > far) {
    colour = mix(Rgb{150, 192, 206}, Rgb{128, 176, 184}, (y - far) / 40);
  }
  const double near = nearHillTop(x);
  if (y + 0.5 > near) {
    colour = mix(Rgb{110, 176, 102}, Rgb{70, 134, 74}, (y - near) / 40);
    // A lighter rim where the grass meets the sky.
    if (y - near < 2) colour = mix(colour, Rgb{168, 214, 140}, 0.6);
  }
  return colour;
}

std::vector<Cloud> bandClouds() {
  std::vector<Cloud> clouds;
  std::uint32_t state = 20240611u;
  const std::int32_t count = 22;
  for (std::int32_t i = 0; i < count; ++i) {
    const double x = (i + randomBetween(state, 0.1, 0.9)) * kBandWidth / count;
    const double size = randomBetween(state, 12, 30);
    const double y = randomBetween(state, 30 + size, 185 - size * 0.4);
    clouds.push_back({x, y, size, nextRandom(state)});
  }
  return clouds;
}

}  // namespace

std::uint32_t nextRandom(std::uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

double randomBetween(std::uint32_t& state, double low, double high) {
  return low + (high - low) * static_cast<double>(nextRandom(state) % 100000u) / 100000.0;
}

void paintCloud(Canvas& canvas, const Cloud& cloud, std::int32_t offsetX, std::int32_t period) {
  struct Puff {
    double x;
    double y;
    double radius;
  };
  std::uint32_t state = cloud.seed;
  std::vector<Puff> puffs;
  const std::int32_t count = 7;
  for (std::int32_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / (count - 1) * 2 - 1;  // -1 to 1 along the cloud
    const double crown = 1 - std::fabs(t);
    puffs.push_back({cloud.x + t * cloud.size * 1.5 + randomBetween(state, -2, 2),
                     cloud.y - crown * cloud.size * 0.55 + randomBetween(state, -2, 2),
                     cloud.size * (0.42 + 0.36 * crown) + randomBetween(state, -1.5, 1.5)});
  }
  const double base = cloud.y + cloud.size * 0.35;
  const double top = cloud.y - cloud.size * 1.4;
  const double reach = cloud.size * 2.6;
  for (std::int32_t column = 0; column < canvas.width; ++column) {
    double dx = offsetX + column + 0.5 - cloud.x;
    if (period > 0) dx -= period * std::floor(dx / period + 0.5);
    if (std::fabs(dx) > reach) continue;
    const double px = cloud.x + dx;
    for (std::int32_t row = std::max(0, static_cast<std::int32_t>(top));
         row < std::min(canvas.height, static_cast<std::int32_t>(base) + 2); ++row) {
      const double py = row + 0.5;
      double cover = 0;
      for (const Puff& puff : puffs) {
        const double distance = std::hypot(px - puff.x, py - puff.y) - puff.radius;
        cover = std::max(cover, std::clamp(0.5 - distance / 1.5, 0.0, 1.0));
      }
      cover *= std::clamp((base - py) / 1.5 + 0.5, 0.0, 1.0);
      if (cover <= 0) continue;
      // Sunlit crown, blue-grey underside.
      const double depth = std::clamp((py - (cloud.y - cloud.size)) / (cloud.size * 1.35), 0.0, 1.0);
      const Rgb shade = mix(Rgb{255, 255, 255}, Rgb{206, 220, 238}, smoothStep(0.35, 1.0, depth));
      canvas.set(column, row, mix(canvas.at(column, row), shade, cover * 0.96));
    }
  }
}

Canvas drawBackground(std::int32_t half) {
  Canvas sheet(kBackgroundWidth, kBackgroundHeight, Rgb{0, 0, 0});
  const std::int32_t offsetX = half * kBackgroundWidth;
  for (std::int32_t y = 0; y < kBackgroundHeight; ++y) {
    for (std::int32_t x = 0; x < kBackgroundWidth; ++x) {
      sheet.set(x, y, bandPixel(offsetX + x + 0.5, y));
    }
  }
  for (const Cloud& cloud : bandClouds()) paintCloud(sheet, cloud, offsetX, kBandWidth);
  return sheet;
}
