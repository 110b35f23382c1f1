// What each drawing call of a game puts on a software renderer, from coded sheets.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "game/background.h"
#include "game/enemies.h"
#include "game/player.h"
#include "game/projectiles.h"
#include "game/sheet_checks.h"

namespace {

using sheets::drawnFrom;

// The column and row of the coded sheet pixel shown at window pixel (x, y).
SDL_Point codedAt(std::int32_t x, std::int32_t y) {
  const SDL_Color c = testing_support::pixelAt(x, y);
  return {c.r | ((c.b >> 1) & 7) << 8, c.g | (c.b & 1) << 8};
}

// The sky at band column `want`, scrolled there undrawn; its position starts at 0 with the process.
void skyAt(std::int32_t want) {
  static std::int32_t position = 0;
  SDL_Renderer* renderer = std::exchange(gRenderer, nullptr);
  for (; position != want; position = (position + 1) % (kBackgroundLastPosition + 1)) renderBackground();
  gRenderer = renderer;
  sheets::fill();
  renderBackground();
  position = (position + 1) % (kBackgroundLastPosition + 1);
}

// The view from `position`: `column` on of one sheet, then the head of the other, scaled by two.
void expectSky(std::int32_t position, const SDL_Surface* const sky[2]) {
  const std::int32_t column = position % 3840 % 1920, width = std::min(400, 1920 - column);
  const std::int32_t first = position % 3840 / 1920;
  EXPECT_TRUE(drawnFrom(sky[first], {column, 0, width, 300}, {0, 0, 2 * width, 600}, false));
  if (width < 400) { EXPECT_TRUE(drawnFrom(sky[1 - first], {0, 0, 400 - width, 300}, {2 * width, 0, 800 - 2 * width, 600}, false)); }
}

class DrawingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::useSoftwareRenderer();
    sheet = sheets::codedGameSheets();
    gNumberOfEnemies = gNumberOfPlayerProjectiles = gNumberOfEnemyProjectiles1 = gNumberOfEnemyProjectiles2 = 0;
    gPlayerX = kPlayerStartX;
    gPlayerY = kPlayerStartY;
    gPlayerSkipFrames = 0;
    sheets::fill();
  }
  void TearDown() override { testing_support::releaseSoftwareRenderer(); }
  sheets::GameSheets sheet;
};

TEST_F(DrawingTest, TheBirdBeatsItsWingsEightDrawsAFrameAndShowsTheHitRowForSix) {
  auto draw = [] { sheets::fill(); renderPlayer(); return codedAt(60, 200); };
  std::int32_t previous = draw().x, start = -1;
  for (std::int32_t d = 0; d < 8 && start < 0; ++d) {
    const std::int32_t x = draw().x;
    if (x != previous) start = x;
    previous = x;
  }
  ASSERT_GE(start, 0);
  gPlayerSkipFrames = kPlayerHitLookFrames;
  for (std::int32_t d = 1; d < 40; ++d) {
    const SDL_Point cell = draw();
    EXPECT_EQ(cell.x, (start + d / 8 * 160) % 640) << d;
    EXPECT_EQ(cell.y, d <= 6 ? 160 : 0) << d;
  }
  EXPECT_EQ(gPlayerSkipFrames, 0);
  EXPECT_TRUE(drawnFrom(sheet.bird, {start, 0, 160, 160}, {60, 200, 160, 160}));
  for (const auto& [x, column] : {std::pair{-15, 1}, std::pair{-5, 0}}) {  // positions truncate toward zero
    gPlayerX = x;
    draw();
    EXPECT_EQ(codedAt(0, 200).x % 160, column) << x;
  }
}

TEST_F(DrawingTest, OneFeatherPerHitPointUpToThreeScaledToThirtyTwoPixels) {
  for (const std::int32_t hp : {1, 2, 3, 7}) {
    sheets::fill();
    gPlayerHP = hp;
    renderHP();
    for (std::int32_t i = 0; i < 4; ++i) {
      EXPECT_TRUE(drawnFrom(i < std::min(hp, 3) ? sheet.feather : nullptr, {0, 0, 16, 16}, {10 + 32 * i, 16, 32, 32}, hp + i == 1))
          << hp << " hit points, feather " << i;
    }
  }
}

TEST_F(DrawingTest, ButterfliesBeatTheirWingsFiveDrawsAFrameLaterOnesOnTop) {
  for (const std::int32_t x : {-15, 200}) {  // drawn at x -1, and at 20 over the first
    std::int32_t* enemy = gEnemyList[gNumberOfEnemies++];
    enemy[kEnemyX] = x;
    enemy[kEnemyY] = 1000;
    enemy[kEnemyAnimationCounter] = x < 0 ? 0 : 10;
  }
  for (std::int32_t d = 0; d < 36; ++d) {
    sheets::fill();
    renderEnemies();
    EXPECT_EQ(codedAt(0, 100).x, 1 + d % 35 / 5 * 45) << d;
    EXPECT_TRUE(drawnFrom(sheet.butterfly, {(10 + d) % 35 / 5 * 45, 0, 45, 45}, {20, 100, 45, 45}, false)) << d;
  }
  EXPECT_TRUE(drawnFrom(nullptr, {}, {65, 100, 1, 45}, false));
  EXPECT_TRUE(drawnFrom(nullptr, {}, {0, 145, 66, 1}, false));
}

TEST_F(DrawingTest, EachShotPoolDrawsItsCellScaledByTwoLaterPoolsOnTop) {
  gPlayerProjectileList[gNumberOfPlayerProjectiles++] = {1000, 2000, 0, 0};
  gPlayerProjectileList[gNumberOfPlayerProjectiles++] = {1000, 1000, 0, 0};
  gEnemyProjectileList1[gNumberOfEnemyProjectiles1++] = {3000, 2000, 0, 0};
  for (const SDL_Point at : {SDL_Point{5000, 2000}, {-160, 3000}, {-15, 4000}, {-5, 5000}, {1000, 1000}}) {
    gEnemyProjectileList2[gNumberOfEnemyProjectiles2++] = {at.x, at.y, 0, 0};
  }
  renderProjectiles();
  EXPECT_TRUE(drawnFrom(sheet.shots, {6, 0, 8, 8}, {100, 200, 16, 16}));
  EXPECT_TRUE(drawnFrom(sheet.shots, {0, 0, 6, 6}, {300, 200, 12, 12}));
  for (const SDL_Point at : {SDL_Point{500, 200}, {-16, 300}, {-1, 400}, {0, 500}}) {
    EXPECT_TRUE(drawnFrom(sheet.shots, {14, 0, 18, 4}, {at.x, at.y, 36, 8})) << at.x;
  }
  EXPECT_TRUE(drawnFrom(sheet.shots, {14, 0, 18, 4}, {100, 100, 36, 8}, false));
  EXPECT_TRUE(drawnFrom(sheet.shots, {6, 4, 8, 4}, {100, 108, 16, 8}, false));
}

// 3841 positions: 3840 shows what 0 does, so the sky holds still once at the wrap.
TEST_F(DrawingTest, TheSkyShowsItsBandScaledByTwoAtEachRangeEdgeAndAcrossTheWrap) {
  for (const std::int32_t position : {0, 1, 1519, 1520, 1521, 1919, 1920, 1921, 3439, 3440, 3441, 3839, 3840, 0, 1}) {
    SCOPED_TRACE(position);
    skyAt(position);
    expectSky(position, sheet.sky);
  }
}

}  // namespace
