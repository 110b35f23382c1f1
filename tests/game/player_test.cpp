// The bird: speeds and bounds, the shot it fires and what that costs, its drawing and the feathers.
#include "game/player.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/platform.h"
#include "coded_sheet.h"
#include "committed_sheet.h"
#include "game/play.h"
#include "game/projectiles.h"
#include "support/harness.h"

namespace {

using coded_sheet::SheetPixel;

constexpr std::int32_t kBirdTag = 5;
constexpr std::int32_t kFeatherTag = 6;

struct MoveCase {
  const char* name;
  std::int32_t inputX, inputY;
  std::int32_t startX, startY;
  std::int32_t x, y;                  // after the move
  std::int32_t velocityX, velocityY;  // after the move
};

TEST(MovePlayerTest, SpeedsAndBounds) {
  const MoveCase cases[] = {
      {"no key", 0, 0, 600, 2000, 600, 2000, 0, 0},
      {"right", 1, 0, 600, 2000, 720, 2000, 120, 0},
      {"left", -1, 0, 600, 2000, 480, 2000, -120, 0},
      {"up", 0, -1, 600, 2000, 600, 1880, 0, -120},
      {"down", 0, 1, 600, 2000, 600, 2120, 0, 120},
      {"right and down", 1, 1, 600, 2000, 684, 2084, 84, 84},
      {"left and up", -1, -1, 600, 2000, 516, 1916, -84, -84},
      {"right at 6550 stops at 6600", 1, 0, 6550, 2000, 6600, 2000, 0, 0},
      {"right ending exactly on 6600 keeps moving", 1, 0, 6480, 2000, 6600, 2000, 120, 0},
      {"left at -150 stops at -200", -1, 0, -150, 2000, -200, 2000, 0, 0},
      {"up at -650 stops at -700", 0, -1, 600, -650, 600, -700, 0, 0},
      {"down at 4500 stops at 4600", 0, 1, 600, 4500, 600, 4600, 0, 0},
      {"up and left in the corner", -1, -1, -200, -700, -200, -700, 0, 0},
      {"down and right, only x clamped", 1, 1, 6590, 2000, 6600, 2084, 0, 84},
  };
  for (const MoveCase& move : cases) {
    SCOPED_TRACE(move.name);
    gPlayerInputX = move.inputX;
    gPlayerInputY = move.inputY;
    gPlayerX = move.startX;
    gPlayerY = move.startY;
    gPlayerVelocityX = 999;
    gPlayerVelocityY = 999;
    movePlayer();
    EXPECT_EQ(gPlayerX, move.x);
    EXPECT_EQ(gPlayerY, move.y);
    EXPECT_EQ(gPlayerVelocityX, move.velocityX);
    EXPECT_EQ(gPlayerVelocityY, move.velocityY);
  }
}

class ShootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gNumberOfPlayerProjectiles = 0;
    gPlayerShots = kShotsBase;
    gScore = 0;
  }
};

TEST_F(ShootTest, AShotLeavesTheMuzzleWithHalfTheBirdsVelocity) {
  struct {
    std::int32_t inputX, inputY, startX, startY;
    Projectile shot;
  } const cases[] = {
      {-1, 0, 720, 2000, {1650, 2960, 40, 0}},   // moved straight left to (600, 2000)
      {1, 0, 6550, 2000, {7650, 2960, 100, 0}},  // stopped by the right bound
      {-1, -1, -200, -700, {850, 260, 100, 0}},  // both axes stopped in the corner
      {1, 1, 600, 2000, {1734, 3044, 142, 42}},
      {-1, 1, 600, 2000, {1566, 3044, 58, 42}},
      {0, -1, 600, 2000, {1650, 2840, 100, -60}},
      {1, 0, 600, 2000, {1770, 2960, 160, 0}},
  };
  for (const auto& fire : cases) {
    gPlayerInputX = fire.inputX;
    gPlayerInputY = fire.inputY;
    gPlayerX = fire.startX;
    gPlayerY = fire.startY;
    movePlayer();
    shootPlayerProjectile();
    const Projectile& shot = gPlayerProjectileList[gNumberOfPlayerProjectiles - 1];
    EXPECT_EQ(shot.x, fire.shot.x);
    EXPECT_EQ(shot.y, fire.shot.y);
    EXPECT_EQ(shot.vx, fire.shot.vx);
    EXPECT_EQ(shot.vy, fire.shot.vy);
  }
  EXPECT_EQ(gNumberOfPlayerProjectiles, 7);
}

TEST_F(ShootTest, EveryShotCostsAPointButNeverBelowZero) {
  gScore = 2;
  shootPlayerProjectile();
  EXPECT_EQ(gScore, 1);
  EXPECT_EQ(gPlayerShots, kShotsBase + 1);
  shootPlayerProjectile();
  shootPlayerProjectile();
  EXPECT_EQ(gScore, 0);
  EXPECT_EQ(gPlayerShots, kShotsBase + 3);
  EXPECT_EQ(gNumberOfPlayerProjectiles, 3);
}

TEST_F(ShootTest, AFullPoolDropsTheShotAndChargesNothing) {
  gNumberOfPlayerProjectiles = kPlayerProjectileCapacity;
  gScore = 10;
  const Projectile last = gPlayerProjectileList[kPlayerProjectileCapacity - 1];
  shootPlayerProjectile();
  EXPECT_EQ(gNumberOfPlayerProjectiles, kPlayerProjectileCapacity);
  EXPECT_EQ(gScore, 10);
  EXPECT_EQ(gPlayerShots, kShotsBase);
  EXPECT_EQ(gPlayerProjectileList[kPlayerProjectileCapacity - 1].x, last.x);
}

class PlayerDrawingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::useSoftwareRenderer();
    gTexture[kTextureBird] = coded_sheet::makeCodedSheet(gRenderer, 640, 320, kBirdTag);
    gTexture[kTextureFeather] = coded_sheet::makeCodedSheet(gRenderer, 16, 16, kFeatherTag);
    gPlayerX = kPlayerStartX;
    gPlayerY = kPlayerStartY;
    gPlayerSkipFrames = 0;
  }
  void TearDown() override { testing_support::releaseSoftwareRenderer(); }

  // The sheet cell drawn at the bird's top-left corner, after one renderPlayer.
  SheetPixel drawBird() {
    coded_sheet::fillBlank();
    renderPlayer();
    return coded_sheet::sheetPixelAt(gPlayerX / 10, gPlayerY / 10);
  }

  // Draws until the wing beat is at the start of a frame (the wing-beat counter persists
  // across tests); returns the cell of that first draw.
  SheetPixel drawUntilFrameStarts() {
    SheetPixel previous = drawBird();
    for (std::int32_t draw = 0; draw < 8; ++draw) {
      const SheetPixel current = drawBird();
      if (current.x != previous.x) return current;
      previous = current;
    }
    ADD_FAILURE() << "the wing beat did not change frame within 9 draws";
    return previous;
  }
};

TEST_F(PlayerDrawingTest, TheWingBeatShowsFourFramesForEightDrawsEach) {
  const SheetPixel first = drawUntilFrameStarts();
  EXPECT_EQ(first.y, 0);
  EXPECT_EQ(first.x % 160, 0);
  std::vector<std::int32_t> columns{first.x};
  for (std::int32_t draw = 1; draw < 40; ++draw) columns.push_back(drawBird().x);
  for (std::int32_t draw = 0; draw < 40; ++draw) {
    EXPECT_EQ(columns[draw], (first.x + (draw / 8) * 160) % 640) << draw;
  }
  // The whole 160 x 160 cell is drawn unscaled at (60, 200), nothing beyond it.
  EXPECT_EQ(coded_sheet::sheetPixelAt(60 + 159, 200 + 159), (SheetPixel{columns.back() + 159, 159, kBirdTag}));
  EXPECT_EQ(coded_sheet::sheetPixelAt(60 + 160, 200).tag, coded_sheet::kBlankTag);
  EXPECT_EQ(coded_sheet::sheetPixelAt(60, 200 + 160).tag, coded_sheet::kBlankTag);
}

TEST_F(PlayerDrawingTest, AHitShowsTheSecondRowForSixDrawsWithoutStoppingTheWingBeat) {
  const SheetPixel first = drawUntilFrameStarts();
  gPlayerSkipFrames = kPlayerHitLookFrames;
  std::vector<SheetPixel> cells;
  for (std::int32_t draw = 1; draw <= 8; ++draw) cells.push_back(drawBird());
  for (std::int32_t draw = 0; draw < 6; ++draw) EXPECT_EQ(cells[draw].y, 160) << draw;
  EXPECT_EQ(cells[6].y, 0);
  EXPECT_EQ(cells[7].y, 0);
  EXPECT_EQ(cells[6].x, first.x) << "draws 1 to 7 after the frame started still show it";
  EXPECT_EQ(cells[7].x, (first.x + 160) % 640);
  EXPECT_EQ(gPlayerSkipFrames, 0);
}

TEST_F(PlayerDrawingTest, PositionsTruncateTowardZero) {
  gPlayerX = -15;
  coded_sheet::fillBlank();
  renderPlayer();
  EXPECT_EQ(coded_sheet::sheetPixelAt(0, 200).x % 160, 1) << "drawn from x -1";
  gPlayerX = -5;
  coded_sheet::fillBlank();
  renderPlayer();
  EXPECT_EQ(coded_sheet::sheetPixelAt(0, 200).x % 160, 0) << "drawn from x 0";
}

TEST_F(PlayerDrawingTest, OneFeatherPerHitPointAtTenFortyTwoAndSeventyFour) {
  const std::int32_t featherXs[] = {10, 42, 74};
  for (std::int32_t hp : {3, 2, 1}) {
    SCOPED_TRACE(hp);
    gPlayerHP = hp;
    coded_sheet::fillBlank();
    renderHP();
    for (std::int32_t feather = 0; feather < 3; ++feather) {
      const std::int32_t x = featherXs[feather];
      if (feather < hp) {
        // The whole 16 x 16 sheet scaled to 32 x 32 at (x, 16).
        EXPECT_EQ(coded_sheet::sheetPixelAt(x, 16), (SheetPixel{0, 0, kFeatherTag}));
        EXPECT_EQ(coded_sheet::sheetPixelAt(x + 31, 47), (SheetPixel{15, 15, kFeatherTag}));
      } else {
        EXPECT_EQ(coded_sheet::sheetPixelAt(x, 16).tag, coded_sheet::kBlankTag);
        EXPECT_EQ(coded_sheet::sheetPixelAt(x + 31, 47).tag, coded_sheet::kBlankTag);
      }
    }
    EXPECT_EQ(coded_sheet::sheetPixelAt(9, 16).tag, coded_sheet::kBlankTag);
    EXPECT_EQ(coded_sheet::sheetPixelAt(10, 15).tag, coded_sheet::kBlankTag);
    EXPECT_EQ(coded_sheet::sheetPixelAt(10, 48).tag, coded_sheet::kBlankTag);
  }
  gPlayerHP = 7;
  coded_sheet::fillBlank();
  renderHP();
  EXPECT_EQ(coded_sheet::sheetPixelAt(106, 16).tag, coded_sheet::kBlankTag) << "never more than three";
}

class CommittedSheetsPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(testing_support::useSoftwareRendererWithMedia(), 0); }
  void TearDown() override { testing_support::releaseSoftwareRenderer(); }
};

// The cell of Bird.png in `row` that the last renderPlayer drew at (60, 200), or -1.
std::int32_t drawnBirdFrame(const SDL_Surface* bird, std::int32_t row) {
  for (std::int32_t frame = 0; frame < 4; ++frame) {
    if (committed_sheet::drawnFrom(bird, {frame * 160, row * 160, 160, 160}, {60, 200, 160, 160})) return frame;
  }
  return -1;
}

TEST_F(CommittedSheetsPlayerTest, TheBirdBeatsItsWingsThroughBirdPngAndShowsItsHitRow) {
  const committed_sheet::Sheet bird = committed_sheet::loadSheet("Bird.png");
  ASSERT_NE(bird, nullptr);
  gPlayerX = kPlayerStartX;
  gPlayerY = kPlayerStartY;
  gPlayerSkipFrames = kPlayerHitLookFrames;
  std::vector<std::int32_t> frames;
  for (std::int32_t draw = 0; draw < 40; ++draw) {
    committed_sheet::fillCanvas();
    renderPlayer();
    const std::int32_t row = draw < kPlayerHitLookFrames ? 1 : 0;
    frames.push_back(drawnBirdFrame(bird.get(), row));
    ASSERT_NE(frames.back(), -1) << "draw " << draw << " is no cell of row " << row;
  }
  // Runs of eight draws, each frame following the previous one.
  std::int32_t runStart = 0;
  while (runStart < 40 && frames[runStart] == frames[0]) ++runStart;
  ASSERT_LE(runStart, 8);
  for (std::int32_t draw = runStart; draw < 40; ++draw) {
    EXPECT_EQ(frames[draw], (frames[0] + 1 + (draw - runStart) / 8) % 4) << draw;
  }
}

TEST_F(CommittedSheetsPlayerTest, FeathersAreFeatherPngAtThirtyTwoPixels) {
  const committed_sheet::Sheet feather = committed_sheet::loadSheet("Feather.png");
  ASSERT_NE(feather, nullptr);
  const SDL_Rect whole = {0, 0, feather->w, feather->h};
  gPlayerHP = 3;
  committed_sheet::fillCanvas();
  renderHP();
  for (std::int32_t x : {10, 42, 74}) EXPECT_TRUE(committed_sheet::drawnFrom(feather.get(), whole, {x, 16, 32, 32}));
  gPlayerHP = 1;
  committed_sheet::fillCanvas();
  renderHP();
  EXPECT_TRUE(committed_sheet::drawnFrom(feather.get(), whole, {10, 16, 32, 32}));
  EXPECT_EQ(testing_support::pixelAt(42 + 16, 16 + 16).r, committed_sheet::kFill.r);
}

}  // namespace
