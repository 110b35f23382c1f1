// The butterflies: spawning with its random draws, the path program, leaving on the left,
// removal, firing into a bounded pool, and the wing-beat drawing.
#include "game/enemies.h"
#include "game/random.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "app/platform.h"
#include "coded_sheet.h"
#include "committed_sheet.h"
#include "game/projectiles.h"
#include "support/harness.h"

namespace {

using coded_sheet::SheetPixel;

constexpr std::int32_t kButterflyTag = 4;
constexpr std::int32_t kNeverFires = 100000;

class EnemiesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gNumberOfEnemies = 0;
    gNumberOfEnemyProjectiles2 = 0;
  }

  // Adds an enemy and then puts it where the test wants it.
  std::int32_t* addEnemyAt(std::int32_t x, std::int32_t y, std::int32_t pathIndex, std::int32_t framesLeft) {
    addRandomEnemy();
    std::int32_t* enemy = gEnemyList[gNumberOfEnemies - 1];
    enemy[kEnemyX] = x;
    enemy[kEnemyY] = y;
    enemy[kEnemyPathIndex] = pathIndex;
    enemy[kEnemySegmentFramesLeft] = framesLeft;
    enemy[kEnemyFireCooldown] = kNeverFires;
    return enemy;
  }
};

TEST_F(EnemiesTest, ANewButterflyDrawsFiveNumbersInOrderAndStartsAtTheRightEdge) {
  for (unsigned seed : {1u, 7u, 2024u}) {
    SCOPED_TRACE(seed);
    gNumberOfEnemies = 0;
    seedGameRandom(seed);
    addRandomEnemy();
    const std::int32_t nextDraw = gameRandom();

    seedGameRandom(seed);
    const std::int32_t y = gameRandom() % 6000;
    const std::int32_t animation = gameRandom() % 35;
    const std::int32_t cooldown = gameRandom() % 90 + 10;
    const std::int32_t pathIndex = (gameRandom() % 4) * 3 + 13;
    const std::int32_t framesLeft = gameRandom() % 19 + 1;
    EXPECT_EQ(nextDraw, gameRandom()) << "exactly five numbers are drawn";

    ASSERT_EQ(gNumberOfEnemies, 1);
    const std::int32_t* enemy = gEnemyList[0];
    const std::vector<std::int32_t> head(enemy, enemy + 13);
    EXPECT_EQ(head, (std::vector<std::int32_t>{8000, y, 0, 1, animation, 0, cooldown, 0, 0, 0, pathIndex, 13, framesLeft}));
    const std::vector<std::int32_t> path(enemy + 13, enemy + 37);
    EXPECT_EQ(path, (std::vector<std::int32_t>{-30, -30, 20, -40, 0, 10, -30, 30, 20, -40, 0, 10,  //
                                               0,   0,   0,  0,   0, 0,  0,   0,  0,  0,   0, 0}));
  }
}

TEST_F(EnemiesTest, AFullPoolAddsNothingAndDrawsNothing) {
  gNumberOfEnemies = kEnemyCapacity;
  std::vector<std::int32_t> last(gEnemyList[kEnemyCapacity - 1], gEnemyList[kEnemyCapacity - 1] + kEnemyFieldCount);
  seedGameRandom(5);
  addRandomEnemy();
  const std::int32_t nextDraw = gameRandom();
  seedGameRandom(5);
  EXPECT_EQ(nextDraw, gameRandom());
  EXPECT_EQ(gNumberOfEnemies, kEnemyCapacity);
  EXPECT_EQ(std::vector<std::int32_t>(gEnemyList[kEnemyCapacity - 1], gEnemyList[kEnemyCapacity - 1] + kEnemyFieldCount),
            last);
}

TEST_F(EnemiesTest, OnePathCycleTakesSixtyFramesAndEndsTwoHundredPixelsLeftAtTheSameHeight) {
  std::int32_t* enemy = addEnemyAt(8000, 3000, 13, 20);
  std::vector<std::int32_t> heights;
  for (std::int32_t frame = 1; frame <= 60; ++frame) {
    moveEnemies();
    heights.push_back(enemy[kEnemyY]);
    if (frame == 20) {
      EXPECT_EQ(enemy[kEnemyY], 3000 - 600) << "the rise is 60 px";
    }
  }
  EXPECT_EQ(enemy[kEnemyX], 8000 - 2000);
  EXPECT_EQ(enemy[kEnemyY], 3000);
  EXPECT_EQ(enemy[kEnemyPathIndex], 13);
  EXPECT_EQ(enemy[kEnemySegmentFramesLeft], 20);
  // Up for 20 frames, level for 10, down for 20, level for 10.
  EXPECT_EQ(heights[0], 2970);
  EXPECT_EQ(heights[29], 2400);
  EXPECT_EQ(heights[30], 2430);
  EXPECT_EQ(heights[49], 3000);
  EXPECT_EQ(heights[59], 3000);
  EXPECT_EQ(gNumberOfEnemyProjectiles2, 0);
}

TEST_F(EnemiesTest, AButterflyStartingInItsLastSegmentLoopsBackToTheFirst) {
  std::int32_t* enemy = addEnemyAt(8000, 3000, 22, 19);
  for (std::int32_t frame = 0; frame < 19; ++frame) moveEnemies();
  EXPECT_EQ(enemy[kEnemyX], 8000 - 19 * 40);
  EXPECT_EQ(enemy[kEnemyY], 3000);
  EXPECT_EQ(enemy[kEnemyPathIndex], 13);
  EXPECT_EQ(enemy[kEnemySegmentFramesLeft], 20);
  for (std::int32_t frame = 0; frame < 20; ++frame) moveEnemies();
  EXPECT_EQ(enemy[kEnemyY], 2400);
  EXPECT_EQ(enemy[kEnemyPathIndex], 16);
  EXPECT_EQ(enemy[kEnemySegmentFramesLeft], 10);
}

TEST_F(EnemiesTest, NothingKeepsAButterflyInsideTheWindow) {
  std::int32_t* enemy = addEnemyAt(8000, 0, 13, 20);
  moveEnemies();
  EXPECT_EQ(enemy[kEnemyY], -30);
}

TEST_F(EnemiesTest, AButterflyIsDroppedBelowMinus450AndItsReplacementIsProcessedInTheSamePass) {
  addEnemyAt(-410, 1000, 16, 5);  // moves to -450: still live
  addEnemyAt(-420, 2000, 16, 5);  // moves to -460: dropped
  std::int32_t* replacement = addEnemyAt(5000, 3000, 16, 5);
  replacement[kEnemyFireCooldown] = 0;
  seedGameRandom(11);
  moveEnemies();

  ASSERT_EQ(gNumberOfEnemies, 2);
  EXPECT_EQ(gEnemyList[0][kEnemyX], -450);
  EXPECT_EQ(gEnemyList[1][kEnemyX], 5000 - 40) << "the replacement moved exactly once";
  EXPECT_EQ(gEnemyList[1][kEnemyY], 3000);
  ASSERT_EQ(gNumberOfEnemyProjectiles2, 1) << "and fired in the same pass";
  EXPECT_EQ(gEnemyProjectileList2[0].x, 4960);
  EXPECT_EQ(gEnemyProjectileList2[0].y, 3220);

  // The last butterfly leaving empties the pool.
  gNumberOfEnemies = 1;
  gEnemyList[0][kEnemyX] = -430;
  moveEnemies();
  EXPECT_EQ(gNumberOfEnemies, 0);
}

TEST_F(EnemiesTest, RemovalCopiesThePathOnlyWhenTheMovedButterflyFollowsOne) {
  for (std::int32_t field = 0; field < kEnemyFieldCount; ++field) {
    gEnemyList[0][field] = 100 + field;
    gEnemyList[1][field] = 200 + field;
    gEnemyList[2][field] = 300 + field;
  }
  gEnemyList[2][kEnemyPathIndex] = 0;  // the last one does not move
  gNumberOfEnemies = 3;
  removeEnemy(0);
  ASSERT_EQ(gNumberOfEnemies, 2);
  for (std::int32_t field = 0; field <= kEnemyPathIndex; ++field) {
    EXPECT_EQ(gEnemyList[0][field], field == kEnemyPathIndex ? 0 : 300 + field) << field;
  }
  for (std::int32_t field = kEnemyPathLoopIndex; field < kEnemyFieldCount; ++field) {
    EXPECT_EQ(gEnemyList[0][field], 100 + field) << field;
  }

  removeEnemy(0);  // now the moved record (index 1) follows a path: all 37 fields
  ASSERT_EQ(gNumberOfEnemies, 1);
  for (std::int32_t field = 0; field < kEnemyFieldCount; ++field) EXPECT_EQ(gEnemyList[0][field], 200 + field) << field;

  removeEnemy(0);
  EXPECT_EQ(gNumberOfEnemies, 0);
}

TEST_F(EnemiesTest, AButterflyFiresWhenItsCooldownIsFoundAtZeroThenReloads) {
  std::int32_t* enemy = addEnemyAt(6000, 2500, 16, 10);
  enemy[kEnemyFireCooldown] = 2;
  seedGameRandom(99);
  moveEnemies();
  moveEnemies();
  EXPECT_EQ(gNumberOfEnemyProjectiles2, 0);
  EXPECT_EQ(enemy[kEnemyFireCooldown], 0);
  moveEnemies();  // the third pass finds it at 0
  ASSERT_EQ(gNumberOfEnemyProjectiles2, 1);

  seedGameRandom(99);
  const std::int32_t speed = -50 - gameRandom() % 70;
  const std::int32_t reload = gameRandom() % 50 + 50;
  const Projectile& shot = gEnemyProjectileList2[0];
  EXPECT_EQ(shot.x, 6000 - 3 * 40);
  EXPECT_EQ(shot.y, 2500 + 220);
  EXPECT_EQ(shot.vx, speed);
  EXPECT_EQ(shot.vy, 0);
  EXPECT_EQ(enemy[kEnemyFireCooldown], reload);
  EXPECT_GE(reload, 50);
  EXPECT_LE(reload, 99);
}

TEST_F(EnemiesTest, ShotsBeyondTheEnemyShotPoolAreDroppedWithoutARandomDraw) {
  constexpr std::int32_t kShooters = 999;
  for (std::int32_t i = 0; i < kShooters; ++i) addEnemyAt(8000, 10 * i, 0, 1)[kEnemyFireCooldown] = 0;
  moveEnemies();
  ASSERT_EQ(gNumberOfEnemyProjectiles2, kShooters);
  const Projectile lastBefore = gEnemyProjectileList2[kShooters - 1];

  for (std::int32_t i = 0; i < kShooters; ++i) gEnemyList[i][kEnemyFireCooldown] = 0;
  seedGameRandom(42);
  moveEnemies();
  EXPECT_EQ(gNumberOfEnemyProjectiles2, kEnemyProjectileCapacity2);
  EXPECT_EQ(gEnemyProjectileList2[kShooters - 1].y, lastBefore.y);
  EXPECT_EQ(gEnemyProjectileList2[kEnemyProjectileCapacity2 - 1].y, 0 + 220) << "the first shooter took the last slot";

  // Only the shot that fitted drew its speed; every shooter still drew its reload.
  seedGameRandom(42);
  EXPECT_EQ(gEnemyProjectileList2[kEnemyProjectileCapacity2 - 1].vx, -50 - gameRandom() % 70);
  for (std::int32_t i = 0; i < kShooters; ++i) {
    ASSERT_EQ(gEnemyList[i][kEnemyFireCooldown], gameRandom() % 50 + 50) << "shooter " << i;
  }
}

class EnemyDrawingTest : public EnemiesTest {
 protected:
  void SetUp() override {
    EnemiesTest::SetUp();
    testing_support::useSoftwareRenderer();
    gTexture[kTextureButterfly] = coded_sheet::makeCodedSheet(gRenderer, 315, 45, kButterflyTag);
    coded_sheet::fillBlank();
  }
  void TearDown() override { testing_support::releaseSoftwareRenderer(); }
};

TEST_F(EnemyDrawingTest, EachWingBeatFrameShowsForFiveDrawsFromTheTopRow) {
  std::int32_t* enemy = addEnemyAt(1000, 2000, 0, 1);
  enemy[kEnemyAnimationCounter] = 0;
  std::vector<std::int32_t> sourceColumns;
  for (std::int32_t draw = 0; draw < 36; ++draw) {
    renderEnemies();
    sourceColumns.push_back(coded_sheet::sheetPixelAt(100, 200).x);
    EXPECT_EQ(coded_sheet::sheetPixelAt(144, 244), (SheetPixel{sourceColumns.back() + 44, 44, kButterflyTag}));
  }
  for (std::int32_t draw = 0; draw < 35; ++draw) EXPECT_EQ(sourceColumns[draw], (draw / 5) * 45) << draw;
  EXPECT_EQ(sourceColumns[35], 0);
  EXPECT_EQ(coded_sheet::sheetPixelAt(145, 200).tag, coded_sheet::kBlankTag);
  EXPECT_EQ(coded_sheet::sheetPixelAt(100, 245).tag, coded_sheet::kBlankTag);

  enemy[kEnemyAnimationCounter] = 34;
  renderEnemies();
  EXPECT_EQ(coded_sheet::sheetPixelAt(100, 200).x, 270);
  EXPECT_EQ(enemy[kEnemyAnimationCounter], 0);
}

TEST_F(EnemyDrawingTest, LaterButterfliesAreDrawnOverEarlierOnesAndPositionsTruncateTowardZero) {
  addEnemyAt(-15, 1000, 0, 1)[kEnemyAnimationCounter] = 0;  // drawn at x -1
  addEnemyAt(200, 1000, 0, 1)[kEnemyAnimationCounter] = 10;  // drawn at x 20, over the first
  renderEnemies();
  EXPECT_EQ(coded_sheet::sheetPixelAt(0, 100), (SheetPixel{1, 0, kButterflyTag}));
  EXPECT_EQ(coded_sheet::sheetPixelAt(20, 100), (SheetPixel{90, 0, kButterflyTag}));
}

TEST_F(EnemiesTest, ButterfliesAreDrawnFromTheTopRowOfButterflyPng) {
  ASSERT_EQ(testing_support::useSoftwareRendererWithMedia(), 0);
  const committed_sheet::Sheet butterfly = committed_sheet::loadSheet("Butterfly.png");
  ASSERT_NE(butterfly, nullptr);
  addEnemyAt(2000, 3000, 0, 1)[kEnemyAnimationCounter] = 34;
  addEnemyAt(4000, 3000, 0, 1)[kEnemyAnimationCounter] = 12;
  committed_sheet::fillCanvas();
  renderEnemies();
  EXPECT_TRUE(committed_sheet::drawnFrom(butterfly.get(), {270, 0, 45, 45}, {200, 300, 45, 45}));
  EXPECT_TRUE(committed_sheet::drawnFrom(butterfly.get(), {90, 0, 45, 45}, {400, 300, 45, 45}));
  committed_sheet::fillCanvas();
  renderEnemies();
  EXPECT_TRUE(committed_sheet::drawnFrom(butterfly.get(), {0, 0, 45, 45}, {200, 300, 45, 45}));
  testing_support::releaseSoftwareRenderer();
}

}  // namespace
