// The committed sprite sheets: sizes, the colour key, the glyph grid, the band's seams,
// where the bird sits in its cells, the animations and the title's menu rows.
#include <SDL.h>
#include <SDL_image.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "support/harness.h"

namespace {

struct Pixel {
  std::int32_t r;
  std::int32_t g;
  std::int32_t b;
  bool operator==(const Pixel& other) const { return r == other.r && g == other.g && b == other.b; }
  bool operator!=(const Pixel& other) const { return !(*this == other); }
};

bool isKey(Pixel p) { return p.r == 255 && p.g == 0 && p.b == 255; }
double luminance(Pixel p) { return 0.3 * p.r + 0.59 * p.g + 0.11 * p.b; }
double distance(Pixel a, Pixel b) {
  return std::sqrt(static_cast<double>((a.r - b.r) * (a.r - b.r) + (a.g - b.g) * (a.g - b.g) +
                                       (a.b - b.b) * (a.b - b.b)));
}

// A sheet as the game loads it, converted to RGB for reading.
class Sheet {
 public:
  explicit Sheet(const std::string& name) {
    testing_support::initializeLibraries();
    SDL_Surface* loaded = IMG_Load(testing_support::committedAssetPath(name).c_str());
    if (loaded == nullptr) return;
    surface_.reset(SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGB24, 0));
    SDL_FreeSurface(loaded);
  }
  bool loaded() const { return surface_ != nullptr; }
  std::int32_t width() const { return surface_->w; }
  std::int32_t height() const { return surface_->h; }
  Pixel at(std::int32_t x, std::int32_t y) const {
    const auto* row = static_cast<const std::uint8_t*>(surface_->pixels) + y * surface_->pitch;
    return {row[3 * x], row[3 * x + 1], row[3 * x + 2]};
  }
  bool key(std::int32_t x, std::int32_t y) const { return isKey(at(x, y)); }
  std::int32_t inkCount(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) const {
    std::int32_t count = 0;
    for (std::int32_t row = y; row < y + h; ++row) {
      for (std::int32_t column = x; column < x + w; ++column) count += key(column, row) ? 0 : 1;
    }
    return count;
  }

 private:
  struct Free {
    void operator()(SDL_Surface* surface) const { SDL_FreeSurface(surface); }
  };
  std::unique_ptr<SDL_Surface, Free> surface_;
};

const char* const kSheetNames[] = {"Butterfly.png", "Bird.png",        "Title.png",       "Font.png",
                                   "Feather.png",   "Background0.png", "Background1.png", "Projectiles.png"};

TEST(Sheets, EveryFileHasTheSizeItsDrawingExpects) {
  const struct {
    const char* name;
    std::int32_t width;
    std::int32_t height;
  } expected[] = {{"Butterfly.png", 315, 45},      {"Bird.png", 640, 320},
                  {"Title.png", 800, 600},         {"Font.png", 160, 360},
                  {"Feather.png", 32, 32},         {"Background0.png", 1920, 300},
                  {"Background1.png", 1920, 300},  {"Projectiles.png", 32, 8}};
  for (const auto& file : expected) {
    const Sheet sheet(file.name);
    ASSERT_TRUE(sheet.loaded()) << file.name << ": " << IMG_GetError();
    EXPECT_EQ(sheet.width(), file.width) << file.name;
    EXPECT_EQ(sheet.height(), file.height) << file.name;
  }
}

// A pixel close to magenta but not equal to it would be drawn as a pink speck.
TEST(Sheets, EveryPixelIsExactlyTheKeyOrClearlyAwayFromIt) {
  for (const char* name : kSheetNames) {
    const Sheet sheet(name);
    ASSERT_TRUE(sheet.loaded()) << name;
    std::int32_t fringe = 0;
    for (std::int32_t y = 0; y < sheet.height(); ++y) {
      for (std::int32_t x = 0; x < sheet.width(); ++x) {
        const Pixel p = sheet.at(x, y);
        if (!isKey(p) && distance(p, {255, 0, 255}) < 80) ++fringe;
      }
    }
    EXPECT_EQ(fringe, 0) << name;
  }
}

TEST(Sheets, PicturesThatCoverTheWindowHaveNoTransparentPixel) {
  for (const char* name : {"Title.png", "Background0.png", "Background1.png"}) {
    const Sheet sheet(name);
    ASSERT_TRUE(sheet.loaded()) << name;
    EXPECT_EQ(sheet.inkCount(0, 0, sheet.width(), sheet.height()), sheet.width() * sheet.height()) << name;
  }
}

// The glyph grid the game's lookup table expects; '%' marks a cell without a character.
const char* const kLayout[6] = {
    "0123456789ABCDEF", "GHIJKLMNOPQRSTUV", "WXYZabcdefghijkl",
    "mnopqrstuvwxyz.:", ",;|/\\'\"?!+-*=()_", "<>[]#$^%%% %%%%%",
};

std::vector<Pixel> cellPixels(const Sheet& font, std::int32_t set, std::int32_t row, std::int32_t column) {
  std::vector<Pixel> pixels;
  for (std::int32_t y = 0; y < 15; ++y) {
    for (std::int32_t x = 0; x < 10; ++x) pixels.push_back(font.at(column * 10 + x, set * 90 + row * 15 + y));
  }
  return pixels;
}

TEST(Font, EveryVisibleCharacterHasAGlyphAndEveryOtherCellIsEmpty) {
  const Sheet font("Font.png");
  ASSERT_TRUE(font.loaded());
  for (const std::int32_t set : {0, 1, 2, 3}) {
    std::int32_t glyphs = 0;
    for (std::int32_t row = 0; row < 6; ++row) {
      for (std::int32_t column = 0; column < 16; ++column) {
        const char character = kLayout[row][column];
        const std::int32_t ink = font.inkCount(column * 10, set * 90 + row * 15, 10, 15);
        if (character == '%' || character == ' ') {
          EXPECT_EQ(ink, 0) << "set " << set << " row " << row << " column " << column;
        } else {
          EXPECT_GE(ink, 3) << "set " << set << " '" << character << "'";
          ++glyphs;
        }
      }
    }
    EXPECT_EQ(glyphs, 87);
  }
}

TEST(Font, NoTwoCharactersShareAGlyph) {
  const Sheet font("Font.png");
  ASSERT_TRUE(font.loaded());
  for (const std::int32_t set : {0, 2, 3}) {
    std::set<std::vector<std::int32_t>> seen;
    for (std::int32_t row = 0; row < 6; ++row) {
      for (std::int32_t column = 0; column < 16; ++column) {
        const char character = kLayout[row][column];
        if (character == '%' || character == ' ') continue;
        std::vector<std::int32_t> shape;
        // Ink and rim count apart: set 2's rims alone could coincide.
        for (const Pixel p : cellPixels(font, set, row, column)) {
          shape.push_back(isKey(p) ? 0 : luminance(p) > 128 ? 2 : 1);
        }
        EXPECT_TRUE(seen.insert(shape).second) << "set " << set << " '" << character << "' repeats a glyph";
      }
    }
  }
}

// Set 0 is drawn on black, set 3 on white, set 2 on black and on the sky.
TEST(Font, EachGlyphSetContrastsWithTheBackgroundItIsDrawnOn) {
  const Sheet font("Font.png");
  ASSERT_TRUE(font.loaded());
  for (std::int32_t row = 0; row < 6; ++row) {
    for (std::int32_t column = 0; column < 16; ++column) {
      const char character = kLayout[row][column];
      if (character == '%' || character == ' ') continue;
      double darkest = 255;
      for (const Pixel p : cellPixels(font, 0, row, column)) {
        if (!isKey(p)) darkest = std::min(darkest, luminance(p));
      }
      EXPECT_GT(darkest, 170) << "set 0 '" << character << "' is too dim on black";
      double brightest = 0;
      for (const Pixel p : cellPixels(font, 3, row, column)) {
        if (!isKey(p)) brightest = std::max(brightest, luminance(p));
      }
      EXPECT_LT(brightest, 80) << "set 3 '" << character << "' is too pale on white";
      // Bright ink inside a dark rim: readable on black, on the sky and on the meadow.
      std::int32_t bright = 0;
      std::int32_t dark = 0;
      for (const Pixel p : cellPixels(font, 2, row, column)) {
        if (isKey(p)) continue;
        if (luminance(p) > 200) ++bright;
        else if (luminance(p) < 60) ++dark;
        else ADD_FAILURE() << "set 2 '" << character << "' has a middling pixel";
      }
      EXPECT_GT(bright, 0) << "set 2 '" << character << "'";
      EXPECT_GT(dark, bright) << "set 2 '" << character << "' lacks its rim";
    }
  }
}

// Sum over the rows of the colour difference between two columns.
std::int64_t columnStep(const Sheet& left, std::int32_t leftColumn, const Sheet& right, std::int32_t rightColumn) {
  std::int64_t step = 0;
  for (std::int32_t y = 0; y < 300; ++y) {
    const Pixel a = left.at(leftColumn, y);
    const Pixel b = right.at(rightColumn, y);
    step += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
  }
  return step;
}

TEST(Background, TheTwoSheetsJoinWithoutAVisibleSeamAtEitherEnd) {
  const Sheet first("Background0.png");
  const Sheet second("Background1.png");
  ASSERT_TRUE(first.loaded() && second.loaded());
  const struct {
    const Sheet& left;
    const Sheet& right;
    const char* seam;
  } seams[] = {{first, second, "Background0 into Background1"}, {second, first, "Background1 into Background0"}};
  for (const auto& seam : seams) {
    // The steps between neighbouring columns on either side of the seam.
    std::int64_t nearby = 0;
    for (std::int32_t offset = 1; offset <= 6; ++offset) {
      nearby = std::max(nearby, columnStep(seam.left, 1919 - offset, seam.left, 1920 - offset));
      nearby = std::max(nearby, columnStep(seam.right, offset - 1, seam.right, offset));
    }
    const std::int64_t across = columnStep(seam.left, 1919, seam.right, 0);
    EXPECT_LE(across, 2 * nearby + 60) << seam.seam << ": step " << across << ", nearby " << nearby;
  }
  // The band is not one flat colour: the test above would then prove nothing.
  std::int64_t variation = 0;
  for (std::int32_t x = 0; x < 1919; x += 97) variation += columnStep(first, x, first, 1919 - x);
  EXPECT_GT(variation, 0);
}

TEST(Bird, TheBodyLiesWhereTheHitBoxesAreAndTheBeakAtTheMuzzle) {
  const Sheet bird("Bird.png");
  ASSERT_TRUE(bird.loaded());
  for (std::int32_t frame = 0; frame < 4; ++frame) {
    const std::int32_t cellX = frame * 160;
    const std::int32_t all = bird.inkCount(cellX, 0, 160, 160);
    EXPECT_GT(all, 2000) << "frame " << frame;
    // Nearly all of the bird lies in the band that the butterflies' shots can hit.
    const std::int32_t inBox = bird.inkCount(cellX + 8, 56, 120, 70);
    EXPECT_GE(inBox * 10, all * 8) << "frame " << frame;
    // The body's core fills the middle of the hit box.
    EXPECT_EQ(bird.inkCount(cellX + 40, 86, 46, 20), 46 * 20) << "frame " << frame;
    // The beak ends near the muzzle point (105, 96), and nothing lies right of it.
    EXPECT_GT(bird.inkCount(cellX + 105, 88, 12, 10), 20) << "frame " << frame;
    EXPECT_EQ(bird.inkCount(cellX + 124, 0, 36, 160), 0) << "frame " << frame;
    // The cell's border stays clear so that neighbouring frames never bleed in.
    EXPECT_EQ(bird.inkCount(cellX, 0, 160, 1) + bird.inkCount(cellX, 159, 160, 1) +
                  bird.inkCount(cellX, 0, 1, 160) + bird.inkCount(cellX + 159, 0, 1, 160),
              0);
  }
}

TEST(Bird, TheHitLookHasTheSameShapeButAFlushedColour) {
  const Sheet bird("Bird.png");
  ASSERT_TRUE(bird.loaded());
  for (std::int32_t frame = 0; frame < 4; ++frame) {
    std::int32_t ink = 0;
    std::int32_t changed = 0;
    std::int32_t notRedOrWhite = 0;
    for (std::int32_t y = 0; y < 160; ++y) {
      for (std::int32_t x = frame * 160; x < frame * 160 + 160; ++x) {
        const Pixel normal = bird.at(x, y);
        const Pixel hit = bird.at(x, y + 160);
        ASSERT_EQ(isKey(normal), isKey(hit)) << "frame " << frame << " at " << x << "," << y;
        if (isKey(normal)) continue;
        ++ink;
        if (distance(normal, hit) > 40) ++changed;
        // A flash between red and white: red leads, green and blue stay together.
        if (hit.r < hit.g || hit.r < hit.b || std::abs(hit.g - hit.b) > 40) ++notRedOrWhite;
      }
    }
    EXPECT_GE(changed * 10, ink * 9) << "frame " << frame;
    EXPECT_EQ(notRedOrWhite, 0) << "frame " << frame;
  }
  // The wings beat: consecutive frames differ.
  for (std::int32_t frame = 0; frame < 4; ++frame) {
    const std::int32_t next = (frame + 1) % 4;
    std::int32_t different = 0;
    for (std::int32_t y = 0; y < 160; ++y) {
      for (std::int32_t x = 0; x < 160; ++x) different += bird.key(frame * 160 + x, y) != bird.key(next * 160 + x, y);
    }
    EXPECT_GT(different, 100) << "frames " << frame << " and " << next;
  }
}

// How many pixels change between two butterfly frames (shape or colour).
std::int32_t frameChange(const Sheet& sheet, std::int32_t a, std::int32_t b) {
  std::int32_t changed = 0;
  for (std::int32_t y = 0; y < 45; ++y) {
    for (std::int32_t x = 0; x < 45; ++x) changed += sheet.at(a * 45 + x, y) != sheet.at(b * 45 + x, y);
  }
  return changed;
}

TEST(Butterfly, TheSevenFramesFlapAndLoopBackSmoothly) {
  const Sheet butterfly("Butterfly.png");
  ASSERT_TRUE(butterfly.loaded());
  std::int32_t largestStep = 0;
  for (std::int32_t frame = 0; frame < 7; ++frame) {
    EXPECT_GT(butterfly.inkCount(frame * 45, 0, 45, 45), 150) << "frame " << frame;
    if (frame < 6) {
      const std::int32_t step = frameChange(butterfly, frame, frame + 1);
      EXPECT_GT(step, 0) << "frames " << frame << " and " << frame + 1;
      largestStep = std::max(largestStep, step);
    }
  }
  // From the last frame back to the first is a step like the others, not a jump.
  EXPECT_LE(frameChange(butterfly, 6, 0), largestStep * 3 / 2);
  EXPECT_GT(frameChange(butterfly, 0, 3), largestStep);
}

TEST(Butterfly, StandsOutFromTheSky) {
  const Sheet butterfly("Butterfly.png");
  const Sheet sky("Background0.png");
  ASSERT_TRUE(butterfly.loaded() && sky.loaded());
  double skyLuminance = 0;
  for (std::int32_t y = 0; y < 200; ++y) skyLuminance += luminance(sky.at(100, y));
  skyLuminance /= 200;
  double total = 0;
  std::int32_t count = 0;
  for (std::int32_t y = 0; y < 45; ++y) {
    for (std::int32_t x = 0; x < 45; ++x) {
      if (butterfly.key(x, y)) continue;
      total += luminance(butterfly.at(x, y));
      ++count;
    }
  }
  EXPECT_GT(skyLuminance - total / count, 60);
}

TEST(Projectiles, ThreeSpritesInTheirRectanglesAndNothingElse) {
  const Sheet shots("Projectiles.png");
  ASSERT_TRUE(shots.loaded());
  const struct {
    std::int32_t x, w, h;
  } sprites[] = {{0, 6, 6}, {6, 8, 8}, {14, 18, 4}};
  std::int32_t inside = 0;
  for (const auto& sprite : sprites) {
    const std::int32_t ink = shots.inkCount(sprite.x, 0, sprite.w, sprite.h);
    EXPECT_GE(ink * 2, sprite.w * sprite.h) << "sprite at x " << sprite.x;
    inside += ink;
  }
  EXPECT_EQ(shots.inkCount(0, 0, shots.width(), shots.height()), inside);

  // The bird's pellet is warm, the butterflies' streak pink and violet like them.
  double pelletWarmth = 0;
  double streakPink = 0;
  for (std::int32_t y = 0; y < 8; ++y) {
    for (std::int32_t x = 6; x < 14; ++x) {
      if (!shots.key(x, y)) pelletWarmth += shots.at(x, y).r - shots.at(x, y).b;
    }
  }
  for (std::int32_t y = 0; y < 4; ++y) {
    for (std::int32_t x = 14; x < 32; ++x) {
      if (!shots.key(x, y)) streakPink += shots.at(x, y).b - shots.at(x, y).g;
    }
  }
  EXPECT_GT(pelletWarmth / shots.inkCount(6, 0, 8, 8), 80);
  EXPECT_GT(streakPink / shots.inkCount(14, 0, 18, 4), 40);
}

TEST(Feather, IsAShapeOnTheKeyColour) {
  const Sheet feather("Feather.png");
  ASSERT_TRUE(feather.loaded());
  const std::int32_t ink = feather.inkCount(0, 0, 32, 32);
  EXPECT_GT(ink, 150);
  EXPECT_LT(ink, 32 * 32 / 2);
}

TEST(Title, TheMenuRowsCarryLabelsOnDarkPlatesThatAWhiteFrameShowsOn) {
  const Sheet title("Title.png");
  ASSERT_TRUE(title.loaded());
  for (const std::int32_t rowY : {390, 444, 498}) {
    // The one-pixel frame (373, rowY, 418, 50) lies on these pixels.
    for (std::int32_t x = 373; x <= 790; ++x) {
      EXPECT_LT(luminance(title.at(x, rowY)), 120) << x << "," << rowY;
      EXPECT_LT(luminance(title.at(x, rowY + 49)), 120) << x << "," << rowY + 49;
    }
    for (std::int32_t y = rowY; y < rowY + 50; ++y) {
      EXPECT_LT(luminance(title.at(373, y)), 120) << "373," << y;
      EXPECT_LT(luminance(title.at(790, y)), 120) << "790," << y;
    }
    // A bright label well inside the frame, clear of its edges.
    std::int32_t bright = 0;
    std::int32_t brightNearEdge = 0;
    for (std::int32_t y = rowY; y < rowY + 50; ++y) {
      for (std::int32_t x = 373; x <= 790; ++x) {
        if (luminance(title.at(x, y)) <= 180) continue;
        const bool nearEdge = x < 383 || x > 780 || y < rowY + 3 || y > rowY + 46;
        (nearEdge ? brightNearEdge : bright) += 1;
      }
    }
    EXPECT_GT(bright, 200) << "row " << rowY;
    EXPECT_EQ(brightNearEdge, 0) << "row " << rowY;
  }
  // The middle label is the longest: "Flight Control" against "Play" and "Quit".
  auto labelWidth = [&title](std::int32_t rowY) {
    std::int32_t first = 800;
    std::int32_t last = 0;
    for (std::int32_t y = rowY; y < rowY + 50; ++y) {
      for (std::int32_t x = 373; x <= 790; ++x) {
        if (luminance(title.at(x, y)) > 180) {
          first = std::min(first, x);
          last = std::max(last, x);
        }
      }
    }
    return last - first;
  };
  EXPECT_GT(labelWidth(444), 2 * labelWidth(390));
  EXPECT_GT(labelWidth(444), 2 * labelWidth(498));
}

TEST(Title, TheHintLineStripIsPlain) {
  const Sheet title("Title.png");
  ASSERT_TRUE(title.loaded());
  const Pixel reference = title.at(290, 583);
  for (std::int32_t y = 583; y < 598; ++y) {
    for (std::int32_t x = 290; x < 800; ++x) {
      EXPECT_LT(distance(title.at(x, y), reference), 30) << x << "," << y;
    }
  }
  // Dark enough for the bright glyphs, light enough for their dark rim.
  EXPECT_GT(luminance(reference), 50);
  EXPECT_LT(luminance(reference), 170);
}

}  // namespace
