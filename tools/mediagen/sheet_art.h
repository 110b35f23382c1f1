// The pictures of the sprite sheets and the layout numbers the game relies on.
#pragma once

#include <cstdint>

#include "sheet_canvas.h"

// Bird.png: four wing-beat frames per row; row 0 the normal look, row 1 the hit look.
constexpr std::int32_t kBirdCellSize = 160;  // pixels
constexpr std::int32_t kBirdFrames = 4;
constexpr std::int32_t kBirdMuzzleX = 105;   // where the bird's shots appear, pixels in the cell
constexpr std::int32_t kBirdMuzzleY = 96;

// Butterfly.png: seven frames of a wing-flap cycle in the top row.
constexpr std::int32_t kButterflySize = 45;  // pixels
constexpr std::int32_t kButterflyFrames = 7;

constexpr std::int32_t kFeatherSize = 32;  // pixels; drawn at this size

// Projectiles.png: the three sprites of the top row (x, width, height; y is 0).
constexpr std::int32_t kProjectilesWidth = 32;
constexpr std::int32_t kProjectilesHeight = 8;
constexpr std::int32_t kOrbX = 0;
constexpr std::int32_t kOrbSize = 6;
constexpr std::int32_t kPelletX = 6;
constexpr std::int32_t kPelletSize = 8;
constexpr std::int32_t kStreakX = 14;
constexpr std::int32_t kStreakWidth = 18;
constexpr std::int32_t kStreakHeight = 4;

// Background0.png and Background1.png are the two halves of one band that repeats.
constexpr std::int32_t kBackgroundWidth = 1920;  // pixels per sheet
constexpr std::int32_t kBackgroundHeight = 300;
constexpr std::int32_t kBandWidth = 2 * kBackgroundWidth;

// Title.png: the menu rows the title screen frames, and the hint line at the bottom.
constexpr std::int32_t kTitleWidth = 800;
constexpr std::int32_t kTitleHeight = 600;
constexpr std::int32_t kMenuX = 373;
constexpr std::int32_t kMenuWidth = 418;
constexpr std::int32_t kMenuHeight = 50;
constexpr std::int32_t kMenuRowY[3] = {390, 444, 498};  // top to bottom
constexpr std::int32_t kHintX = 290;
constexpr std::int32_t kHintY = 583;
constexpr std::int32_t kHintHeight = 15;

Canvas drawBirdSheet();
Canvas drawButterflySheet();
Canvas drawFeather();
Canvas drawProjectiles();
// One sheet-sized piece of the band: `half` 0 is Background0, 1 is Background1.
Canvas drawBackground(std::int32_t half);
Canvas drawTitle();

// A cumulus cloud: its puffs come from `seed`; it sits on a flat base below (x, y).
struct Cloud {
  double x;
  double y;
  double size;  // about half the cloud's height, pixels
  std::uint32_t seed;
};
// Paints the cloud over `canvas`, whose column 0 is column `offsetX` of a picture that repeats
// every `period` columns (0: no repetition).
void paintCloud(Canvas& canvas, const Cloud& cloud, std::int32_t offsetX, std::int32_t period);
// A small deterministic random sequence for placing things.
std::uint32_t nextRandom(std::uint32_t& state);
double randomBetween(std::uint32_t& state, double low, double high);
