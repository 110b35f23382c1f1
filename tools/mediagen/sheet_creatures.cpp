// The bird, its feather, the butterflies and the shots.
#include <algorithm>
#include <cmath>
#include <vector>

#include "sheet_art.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Bird colours.
constexpr Rgb kBirdOutline{58, 34, 24};
constexpr Rgb kBirdBody{246, 192, 52};
constexpr Rgb kBirdShade{222, 158, 40};
constexpr Rgb kBirdBelly{255, 236, 156};
constexpr Rgb kBirdWing{214, 118, 38};
constexpr Rgb kBirdWingLight{238, 150, 56};
constexpr Rgb kBirdFeatherLine{150, 74, 26};
constexpr Rgb kBirdBeak{255, 148, 30};
constexpr Rgb kBirdBeakLower{220, 104, 24};
constexpr Rgb kBirdCheek{255, 128, 84};
constexpr Rgb kEyeWhite{255, 255, 255};
constexpr Rgb kEyePupil{22, 16, 24};

void drawLine(Canvas& canvas, double x0, double y0, double x1, double y1, Rgb colour) {
  const double length = std::max(std::fabs(x1 - x0), std::fabs(y1 - y0));
  const std::int32_t steps = static_cast<std::int32_t>(std::ceil(length));
  for (std::int32_t step = 0; step <= steps; ++step) {
    const double t = steps == 0 ? 0.0 : static_cast<double>(step) / steps;
    canvas.set(static_cast<std::int32_t>(std::floor(x0 + (x1 - x0) * t)),
               static_cast<std::int32_t>(std::floor(y0 + (y1 - y0) * t)), colour);
  }
}

// Draws the non-key pixels of `layer` over `target`.
void overlay(Canvas& target, const Canvas& layer, std::int32_t x, std::int32_t y) {
  blitScaled(target, layer, 0, 0, layer.width, layer.height, x, y, 1);
}

// Keeps `colour` only where `canvas` already holds one of the body colours (a clip to the body).
void paintInside(Canvas& canvas, const Canvas& shape, Rgb colour) {
  for (std::int32_t y = 0; y < canvas.height; ++y) {
    for (std::int32_t x = 0; x < canvas.width; ++x) {
      if (!shape.isKey(x, y) && canvas.at(x, y) == kBirdBody) canvas.set(x, y, colour);
    }
  }
}

// The wing seen from the side, its root at the shoulder, its tip where the beat has taken it.
Canvas birdWing(double tipX, double tipY) {
  Canvas wing(kBirdCellSize, kBirdCellSize, kKeyColour);
  const double rootFrontX = 76;
  const double rootFrontY = 90;
  const double rootBackX = 44;
  const double rootBackY = 94;
  // The leading edge bulges away from the body's side of the line root-front to tip.
  const double edgeX = tipX - rootFrontX;
  const double edgeY = tipY - rootFrontY;
  const double edgeLength = std::hypot(edgeX, edgeY);
  double normalX = -edgeY / edgeLength;
  double normalY = edgeX / edgeLength;
  const double middleX = (rootFrontX + tipX) / 2;
  const double middleY = (rootFrontY + tipY) / 2;
  const double towardsBackX = rootBackX - middleX;
  const double towardsBackY = rootBackY - middleY;
  if (normalX * towardsBackX + normalY * towardsBackY > 0) {
    normalX = -normalX;
    normalY = -normalY;
  }
  std::vector<double> outline = {rootFrontX, rootFrontY, middleX + normalX * 7, middleY + normalY * 7,
                                 tipX, tipY};
  // Trailing edge: four feather tips from the wing tip back to the root.
  std::vector<double> featherTips;
  for (std::int32_t feather = 1; feather <= 4; ++feather) {
    const double t = feather / 5.0;
    const double baseX = tipX + (rootBackX - tipX) * t;
    const double baseY = tipY + (rootBackY - tipY) * t;
    const double notch = (feather % 2 == 0) ? 0.0 : 4.0;
    outline.push_back(baseX - normalX * 5 + normalX * notch);
    outline.push_back(baseY - normalY * 5 + normalY * notch);
    featherTips.push_back(baseX - normalX * 5);
    featherTips.push_back(baseY - normalY * 5);
  }
  outline.push_back(rootBackX);
  outline.push_back(rootBackY);
  fillPolygon(wing, outline, kBirdWing);
  // A lighter covert band along the leading edge, then the feather lines.
  std::vector<double> coverts = {rootFrontX, rootFrontY, middleX + normalX * 7, middleY + normalY * 7,
                                 middleX + (tipX - middleX) * 0.5, middleY + (tipY - middleY) * 0.5,
                                 (middleX + rootBackX) / 2, (middleY + rootBackY) / 2, rootBackX + 8,
                                 rootBackY - 2};
  Canvas covertLayer(kBirdCellSize, kBirdCellSize, kKeyColour);
  fillPolygon(covertLayer, coverts, kBirdWingLight);
  for (std::int32_t y = 0; y < wing.height; ++y) {
    for (std::int32_t x = 0; x < wing.width; ++x) {
      if (!covertLayer.isKey(x, y) && !wing.isKey(x, y)) wing.set(x, y, kBirdWingLight);
    }
  }
  for (std::size_t i = 0; i + 1 < featherTips.size(); i += 2) {
    const double fromX = (rootFrontX + rootBackX) / 2 + (featherTips[i] - (rootFrontX + rootBackX) / 2) * 0.45;
    const double fromY = (rootFrontY + rootBackY) / 2 + (featherTips[i + 1] - (rootFrontY + rootBackY) / 2) * 0.45;
    drawLine(wing, fromX, fromY, featherTips[i] + normalX * 2, featherTips[i + 1] + normalY * 2,
             kBirdFeatherLine);
  }
  outlineSprites(wing, 0, 0, wing.width, wing.height, kBirdOutline, false);
  return wing;
}

// One frame of the bird in the normal look, facing right, into a 160 x 160 cell at (x, y).
void drawBirdFrame(Canvas& sheet, std::int32_t cellX, std::int32_t cellY, std::int32_t frame) {
  Canvas bird(kBirdCellSize, kBirdCellSize, kKeyColour);
  // Silhouette: tail, body, head and beak.
  fillPolygon(bird, {36, 92, 12, 82, 8, 90, 10, 98, 14, 106, 36, 104}, kBirdWing);
  fillEllipse(bird, 60, 97, 32, 16, kBirdBody);
  fillEllipse(bird, 90, 87, 14, 13.5, kBirdBody);
  fillPolygon(bird, {86, 76, 71, 70, 82, 71, 75, 63, 92, 75}, kBirdBody);
  fillPolygon(bird, {100, 84, 120, 92, 101, 95}, kBirdBeak);
  fillPolygon(bird, {101, 95, 115, 96, 101, 100}, kBirdBeakLower);
  outlineSprites(bird, 0, 0, bird.width, bird.height, kBirdOutline, false);

  // Shading of the back, the pale belly, the cheek and the eye.
  Canvas shade(kBirdCellSize, kBirdCellSize, kKeyColour);
  fillEllipse(shade, 58, 89, 30, 8, kBirdShade);
  paintInside(bird, shade, kBirdShade);
  Canvas belly(kBirdCellSize, kBirdCellSize, kKeyColour);
  fillEllipse(belly, 70, 106, 28, 9, kBirdBelly);
  fillEllipse(belly, 92, 98, 9, 5, kBirdBelly);
  paintInside(bird, belly, kBirdBelly);
  fillEllipse(bird, 94, 93, 3.5, 2.5, kBirdCheek);
  fillEllipse(bird, 95, 82, 4.5, 4.5, kEyeWhite);
  fillEllipse(bird, 96.5, 82.5, 2.5, 2.8, kEyePupil);
  bird.set(97, 81, kEyeWhite);
  // Tail feather lines.
  drawLine(bird, 34, 96, 14, 88, kBirdFeatherLine);
  drawLine(bird, 34, 99, 13, 100, kBirdFeatherLine);

  // The wing beat: up, passing down, down, passing up.
  static const double kWingTips[kBirdFrames][2] = {{40, 50}, {16, 74}, {30, 124}, {18, 96}};
  overlay(bird, birdWing(kWingTips[frame][0], kWingTips[frame][1]), 0, 0);
  overlay(sheet, bird, cellX, cellY);
}

// The hit look: a flash from red in the dark parts to white in the light ones.
Rgb hitTint(Rgb colour) {
  const double luminance = (0.3 * colour.r + 0.59 * colour.g + 0.11 * colour.b) / 255.0;
  const double t = std::clamp((luminance - 0.15) / 0.6, 0.0, 1.0);
  return mix(Rgb{190, 10, 24}, Rgb{255, 184, 174}, t * t * (3 - 2 * t));
}

// Butterfly colours.
constexpr Rgb kButterflyOutline{30, 16, 40};
constexpr Rgb kButterflyBody{52, 32, 48};
constexpr Rgb kWingInner{118, 56, 198};
constexpr Rgb kWingOuter{238, 108, 196};
constexpr Rgb kWingBorder{36, 22, 48};
constexpr Rgb kWingSpot{255, 255, 236};
constexpr Rgb kWingEye{255, 214, 84};
constexpr Rgb kButterflyRing{96, 66, 90};

// One wing, designed fully open as a tilted ellipse and then pressed towards the body by
// `openness`: violet at the root, pink outwards, a dark rim with pale spots, an eye spot.
struct WingShape {
  double centreX;  // offset from the body's axis when fully open, pixels
  double centreY;
  double radiusX;
  double radiusY;
  double tilt;  // radians
  bool eyeSpot;
};

void drawButterflyWing(Canvas& frame, double axisX, double openness, const WingShape& wing) {
  const double cosine = std::cos(wing.tilt);
  const double sine = std::sin(wing.tilt);
  for (std::int32_t y = 0; y < frame.height; ++y) {
    for (std::int32_t x = 0; x < frame.width; ++x) {
      const double openX = (x + 0.5 - axisX) / openness;
      const double openY = y + 0.5;
      if (openX * wing.centreX < 0) continue;  // each wing stays on its own side
      const double localX = openX - wing.centreX;
      const double localY = openY - wing.centreY;
      const double alongX = (localX * cosine + localY * sine) / wing.radiusX;
      const double alongY = (-localX * sine + localY * cosine) / wing.radiusY;
      const double distance = std::sqrt(alongX * alongX + alongY * alongY);
      if (distance > 1.0) continue;
      Rgb colour = mix(kWingInner, kWingOuter, std::fabs(openX) / 14.0);
      if (wing.eyeSpot) {
        const double outward = wing.centreX > 0 ? alongX : -alongX;
        const double spot = std::hypot(outward - 0.3, alongY);
        if (spot < 0.34) colour = spot < 0.2 ? kWingEye : kWingBorder;
      }
      if (distance > 0.76 && openness > 0.3) {
        const bool spot = distance < 0.9 && std::fmod(std::atan2(alongY, alongX) + 2 * kPi, 0.95) < 0.3;
        colour = spot ? kWingSpot : kWingBorder;
      }
      frame.set(x, y, colour);
    }
  }
}

void drawButterflyFrame(Canvas& sheet, std::int32_t frameIndex) {
  Canvas frame(kButterflySize, kButterflySize, kKeyColour);
  // Openness runs once round the cycle, fast on the downstroke, so frame 6 leads back to frame 0;
  // the body bobs up as the wings beat down.
  const double phase = 2 * kPi * frameIndex / kButterflyFrames;
  const double openness = 0.6 + 0.4 * std::cos(phase + 0.45 * std::sin(phase));
  const double bob = -1.6 * std::sin(phase);
  const double axisX = 22.5;
  const double axisY = 23 + bob;
  for (const double side : {-1.0, 1.0}) {
    drawButterflyWing(frame, axisX, openness, {side * 10.5, axisY - 7.5, 11.5, 8.5, -side * 0.5, true});
    drawButterflyWing(frame, axisX, openness, {side * 8, axisY + 7, 8.5, 7.5, side * 0.6, false});
  }
  fillEllipse(frame, axisX, axisY + 1, 2.4, 11, kButterflyBody);
  for (std::int32_t ring = 0; ring < 4; ++ring) {
    frame.set(22, static_cast<std::int32_t>(axisY + 3 + 2.5 * ring), kButterflyRing);
  }
  fillEllipse(frame, axisX, axisY - 11, 3.2, 3.2, kButterflyBody);
  drawLine(frame, 21, axisY - 13, 16, axisY - 20, kButterflyBody);
  drawLine(frame, 24, axisY - 13, 29, axisY - 20, kButterflyBody);
  fillRect(frame, 15, static_cast<std::int32_t>(axisY - 21), 2, 2, kButterflyBody);
  fillRect(frame, 29, static_cast<std::int32_t>(axisY - 21), 2, 2, kButterflyBody);
  outlineSprites(frame, 0, 0, frame.width, frame.height, kButterflyOutline, false);
  overlay(sheet, frame, frameIndex * kButterflySize, 0);
}

// Draws a small sprite given as rows of palette letters; '.' stays the key colour.
struct PaletteEntry {
  char letter;
  Rgb colour;
};

void drawPixelArt(Canvas& sheet, std::int32_t x, std::int32_t y, const std::vector<const char*>& rows,
                  const std::vector<PaletteEntry>& palette) {
  for (std::size_t row = 0; row < rows.size(); ++row) {
    for (std::int32_t column = 0; rows[row][column] != '\0'; ++column) {
      for (const PaletteEntry& entry : palette) {
        if (entry.letter == rows[row][column]) {
          sheet.set(x + column, y + static_cast<std::int32_t>(row), entry.colour);
        }
      }
    }
  }
}

}  // namespace

Canvas drawBirdSheet() {
  Canvas sheet(kBirdCellSize * kBirdFrames, kBirdCellSize * 2, kKeyColour);
  for (std::int32_t frame = 0; frame < kBirdFrames; ++frame) {
    drawBirdFrame(sheet, frame * kBirdCellSize, 0, frame);
  }
  for (std::int32_t y = 0; y < kBirdCellSize; ++y) {
    for (std::int32_t x = 0; x < sheet.width; ++x) {
      const Rgb colour = sheet.at(x, y);
      if (colour != kKeyColour) sheet.set(x, y + kBirdCellSize, hitTint(colour));
    }
  }
  return sheet;
}

Canvas drawButterflySheet() {
  Canvas sheet(kButterflySize * kButterflyFrames, kButterflySize, kKeyColour);
  for (std::int32_t frame = 0; frame < kButterflyFrames; ++frame) drawButterflyFrame(sheet, frame);
  return sheet;
}

Canvas drawFeather() {
  Canvas feather(kFeatherSize, kFeatherSize, kKeyColour);
  // The quill runs from the bottom-left corner to the top-right one, bowing slightly.
  const double baseX = 3.5;
  const double baseY = 28.5;
  const double tipX = 28;
  const double tipY = 3.5;
  const double length = std::hypot(tipX - baseX, tipY - baseY);
  const double alongX = (tipX - baseX) / length;
  const double alongY = (tipY - baseY) / length;
  const Rgb down{255, 246, 222};
  const Rgb quill{255, 248, 228};
  const Rgb tipBand{196, 96, 30};
  for (std::int32_t y = 0; y < kFeatherSize; ++y) {
    for (std::int32_t x = 0; x < kFeatherSize; ++x) {
      const double px = x + 0.5 - baseX;
      const double py = y + 0.5 - baseY;
      const double u = (px * alongX + py * alongY) / length;
      // Positive below-right of the quill; the bow bends the whole feather.
      const double v = px * alongY - py * alongX - 3.0 * u * (1 - u);
      if (u < 0 || u > 1) continue;
      if (std::fabs(v) < 0.75 && u < 0.93) {
        feather.set(x, y, quill);
        continue;
      }
      if (u < 0.16) continue;
      const double shapeU = (u - 0.16) / 0.84;
      double halfWidth = 6.8 * std::pow(std::sin(kPi * std::pow(shapeU, 0.7)), 0.7);
      if (v < 0) halfWidth *= 0.78;
      // A split where the barbs have parted.
      if (v > 0 && std::fabs(shapeU - 0.5) < 0.045) halfWidth *= 0.45;
      if (std::fabs(v) > halfWidth) continue;
      // Barbs sweep towards the tip: stripes along lines of constant u + |v| / length.
      const double barb = (u * length + std::fabs(v) * 0.9) / 2.2;
      Rgb colour = mix(kBirdBody, kBirdWing, shapeU * 0.7);
      if (shapeU > 0.8) colour = tipBand;
      if (shapeU < 0.18) colour = mix(down, colour, shapeU / 0.18);
      if (static_cast<std::int32_t>(std::floor(barb)) % 2 == 0) colour = mix(colour, Rgb{150, 74, 26}, 0.16);
      if (v < 0) colour = mix(colour, Rgb{255, 250, 224}, 0.22);
      feather.set(x, y, colour);
    }
  }
  outlineSprites(feather, 0, 0, kFeatherSize, kFeatherSize, kBirdOutline, false);
  return feather;
}

Canvas drawProjectiles() {
  Canvas sheet(kProjectilesWidth, kProjectilesHeight, kKeyColour);
  // The unused pool's shot: a small blue orb.
  drawPixelArt(sheet, kOrbX, 0,
               {"..bb..", ".bwcb.", "bwccdb", "bccddb", ".bddb.", "..bb.."},
               {{'b', {34, 66, 120}}, {'w', {255, 255, 255}}, {'c', {140, 212, 255}}, {'d', {70, 150, 230}}});
  // The bird's shot: a warm golden pellet.
  drawPixelArt(sheet, kPelletX, 0,
               {"..oooo..", ".oyyyyo.", "oywwyyro", "oywyyyro", "oyyyyyro", "oyyyyrro", ".orrrro.",
                "..oooo.."},
               {{'o', {140, 58, 12}}, {'y', {255, 222, 64}}, {'w', {255, 255, 224}}, {'r', {255, 150, 30}}});
  // The butterflies' shot: a pink streak with a white-hot head, flying left.
  drawPixelArt(sheet, kStreakX, 0,
               {"..kppppvvvvv......", "kwwwwpppppvvvvvvv.", "kwwwwpppppvvvvvvvv", "..kppppvvvvv......"},
               {{'k', {120, 30, 110}}, {'w', {255, 232, 250}}, {'p', {255, 112, 200}}, {'v', {168, 80, 230}}});
  return sheet;
}
