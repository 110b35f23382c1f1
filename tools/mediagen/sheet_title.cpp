// The title picture: sky, the bird facing a swarm of butterflies, the name and the menu labels.
#include <algorithm>
#include <cmath>
#include <string>

#include "sheet_art.h"
#include "sheet_font.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

constexpr Rgb kPlateEdge{22, 36, 86};
constexpr Rgb kPlateFace{36, 60, 128};
constexpr Rgb kLabelInk{255, 236, 150};
constexpr Rgb kLabelShadow{12, 18, 48};
constexpr Rgb kGrass{50, 102, 60};
constexpr std::int32_t kGrassTop = 566;
constexpr std::int32_t kTitleScale = 8;
constexpr std::int32_t kLabelScale = 3;

void paintSkyAndHills(Canvas& title) {
  for (std::int32_t y = 0; y < kTitleHeight; ++y) {
    for (std::int32_t x = 0; x < kTitleWidth; ++x) {
      const double t = std::clamp(y / 520.0, 0.0, 1.0);
      Rgb colour = mix(Rgb{62, 120, 212}, Rgb{182, 222, 250}, t * t * 0.4 + t * 0.6);
      const double farTop = 446 + 16 * std::sin(2 * kPi * x / 800 * 1.5 + 0.8) + 8 * std::sin(2 * kPi * x / 800 * 4 + 2);
      if (y + 0.5 > farTop) colour = mix(Rgb{146, 190, 204}, Rgb{124, 172, 182}, (y - farTop) / 60);
      const double nearTop = 506 + 14 * std::sin(2 * kPi * x / 800 * 2.2 + 2.4) + 6 * std::sin(2 * kPi * x / 800 * 6 + 0.4);
      if (y + 0.5 > nearTop) {
        colour = mix(Rgb{104, 172, 98}, Rgb{68, 130, 72}, (y - nearTop) / 60);
        if (y - nearTop < 2) colour = mix(colour, Rgb{168, 214, 140}, 0.6);
      }
      title.set(x, y, colour);
    }
  }
  paintCloud(title, {140, 190, 26, 11u}, 0, 0);
  paintCloud(title, {420, 250, 20, 23u}, 0, 0);
  paintCloud(title, {700, 120, 30, 37u}, 0, 0);
  paintCloud(title, {60, 60, 18, 41u}, 0, 0);
  paintCloud(title, {560, 330, 16, 53u}, 0, 0);
  // A plain strip of meadow along the bottom, where the screen writes its hint line.
  fillRect(title, 0, kGrassTop, kTitleWidth, kTitleHeight - kGrassTop, kGrass);
  for (std::int32_t x = 0; x < kTitleWidth; x += 3) {
    const std::int32_t tuft = 2 + static_cast<std::int32_t>((x * 7) % 5);
    fillRect(title, x, kGrassTop - tuft, 2, tuft, kGrass);
  }
}

void paintMask(Canvas& canvas, const LetterMask& mask, std::int32_t shiftX, std::int32_t shiftY, Rgb colour) {
  for (std::int32_t y = 0; y < canvas.height; ++y) {
    for (std::int32_t x = 0; x < canvas.width; ++x) {
      if (mask.at(x - shiftX, y - shiftY)) canvas.set(x, y, colour);
    }
  }
}

// The game's name: golden letters with a dark rim and a drop shadow.
void paintName(Canvas& title) {
  const std::string name = "Zellworth";
  const std::int32_t width = letteringWidth(name, kTitleScale);
  const std::int32_t left = (kTitleWidth - width) / 2;
  const std::int32_t top = 44;
  LetterMask ink{kTitleWidth, kTitleHeight, std::vector<std::uint8_t>(kTitleWidth * kTitleHeight, 0)};
  stampLettering(ink, name, left, top, kTitleScale);
  const LetterMask rim = grownMask(ink, 3);
  paintMask(title, rim, 6, 6, Rgb{24, 30, 72});
  paintMask(title, rim, 0, 0, Rgb{44, 26, 58});
  const std::int32_t height = kGlyphBaselineRow * kTitleScale + kTitleScale;
  for (std::int32_t y = 0; y < kTitleHeight; ++y) {
    for (std::int32_t x = 0; x < kTitleWidth; ++x) {
      if (!ink.at(x, y)) continue;
      const double t = static_cast<double>(y - top) / height;
      Rgb colour = mix(Rgb{255, 248, 184}, Rgb{240, 150, 36}, t);
      // A thin highlight on the upper edge of every stroke.
      if (!ink.at(x, y - 2)) colour = mix(colour, Rgb{255, 255, 255}, 0.55);
      title.set(x, y, colour);
    }
  }
}

// One menu plate filling its frame row exactly, so the screen's white frame lies on its dark edge.
void paintMenuLabel(Canvas& title, std::int32_t rowY, const std::string& label) {
  fillRect(title, kMenuX, rowY, kMenuWidth, kMenuHeight, kPlateEdge);
  fillRect(title, kMenuX + 3, rowY + 3, kMenuWidth - 6, kMenuHeight - 6, kPlateFace);
  const std::int32_t width = letteringWidth(label, kLabelScale);
  const std::int32_t left = kMenuX + (kMenuWidth - width) / 2;
  const std::int32_t top = rowY + 9;
  LetterMask ink{kTitleWidth, kTitleHeight, std::vector<std::uint8_t>(kTitleWidth * kTitleHeight, 0)};
  stampLettering(ink, label, left, top, kLabelScale);
  paintMask(title, ink, 2, 2, kLabelShadow);
  paintMask(title, ink, 0, 0, kLabelInk);
}

}  // namespace

Canvas drawTitle() {
  Canvas title(kTitleWidth, kTitleHeight, Rgb{0, 0, 0});
  paintSkyAndHills(title);

  const Canvas butterflies = drawButterflySheet();
  const struct {
    std::int32_t x, y, scale, frame;
  } swarm[] = {{600, 150, 2, 0}, {700, 250, 1, 3}, {480, 232, 2, 5}, {730, 330, 1, 1},
               {420, 160, 1, 2}, {640, 300, 1, 4}, {540, 330, 1, 6}};
  for (const auto& butterfly : swarm) {
    blitScaled(title, butterflies, butterfly.frame * kButterflySize, 0, kButterflySize, kButterflySize,
               butterfly.x, butterfly.y, butterfly.scale);
  }
  const Canvas projectiles = drawProjectiles();
  blitScaled(title, projectiles, kStreakX, 0, kStreakWidth, kStreakHeight, 420, 300, 2);
  blitScaled(title, projectiles, kStreakX, 0, kStreakWidth, kStreakHeight, 590, 262, 2);

  const Canvas bird = drawBirdSheet();
  const std::int32_t birdX = 10;
  const std::int32_t birdY = 210;
  blitScaled(title, bird, 0, 0, kBirdCellSize, kBirdCellSize, birdX, birdY, 2);
  for (std::int32_t shot = 0; shot < 2; ++shot) {
    blitScaled(title, projectiles, kPelletX, 0, kPelletSize, kPelletSize,
               birdX + 2 * kBirdMuzzleX + 40 + shot * 56, birdY + 2 * kBirdMuzzleY - 20 - shot * 26, 3);
  }

  paintName(title);
  paintMenuLabel(title, kMenuRowY[0], "Play");
  paintMenuLabel(title, kMenuRowY[1], "Flight Control");
  paintMenuLabel(title, kMenuRowY[2], "Quit");
  return title;
}
