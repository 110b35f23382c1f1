// The hit tests: every box edge, the effects of a hit, and which records meet after removals.
#include "game/collisions.h"

#include <gtest/gtest.h>

#include <vector>

#include "game/enemies.h"
#include "game/play.h"
#include "game/player.h"
#include "game/projectiles.h"

namespace {

class CollisionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gNumberOfEnemies = 0;
    gNumberOfPlayerProjectiles = 0;
    gNumberOfEnemyProjectiles2 = 0;
    gPlayerX = kPlayerStartX;
    gPlayerY = kPlayerStartY;
    gPlayerHP = kPlayerStartHP;
    gPlayerSkipFrames = 0;
    gScore = 0;
  }

  // A butterfly at (x, y) tagged with `tag` in a field the tests do not otherwise use.
  static void addButterfly(std::int32_t x, std::int32_t y, std::int32_t tag = 0) {
    std::int32_t* enemy = gEnemyList[gNumberOfEnemies++];
    enemy[kEnemyX] = x;
    enemy[kEnemyY] = y;
    enemy[kEnemyPathIndex] = 13;
    enemy[kEnemyPath + 20] = tag;  // a field of an unused path segment, copied with the record
  }
  static void addPlayerShot(std::int32_t x, std::int32_t y, std::int32_t tag = 0) {
    gPlayerProjectileList[gNumberOfPlayerProjectiles++] = {x, y, tag, 0};
  }
  static void addEnemyShot(std::int32_t x, std::int32_t y, std::int32_t tag = 0) {
    gEnemyProjectileList2[gNumberOfEnemyProjectiles2++] = {x, y, tag, 0};
  }
  static std::vector<std::int32_t> butterflyTags() {
    std::vector<std::int32_t> tags;
    for (std::int32_t i = 0; i < gNumberOfEnemies; ++i) tags.push_back(gEnemyList[i][kEnemyPath + 20]);
    return tags;
  }
  static std::vector<std::int32_t> playerShotTags() {
    std::vector<std::int32_t> tags;
    for (std::int32_t j = 0; j < gNumberOfPlayerProjectiles; ++j) tags.push_back(gPlayerProjectileList[j].vx);
    return tags;
  }
};

struct EdgeCase {
  std::int32_t dx;
  std::int32_t dy;
  bool hits;
};

// dx, dy = butterfly minus player shot.
TEST_F(CollisionsTest, PlayerShotOnButterflyBoxEdges) {
  const EdgeCase cases[] = {
      {-449, 79, true},   {-450, 79, false}, {-449, 80, false}, {79, 79, true},    {80, 79, false},
      {79, 80, false},    {79, -449, true},  {80, -449, false}, {-449, -449, true}, {-449, -450, false},
      {-450, -449, false}, {0, 0, true},
  };
  for (const EdgeCase& edge : cases) {
    SetUp();
    SCOPED_TRACE(testing::Message() << "dx " << edge.dx << ", dy " << edge.dy);
    addButterfly(4000, 3000);
    addPlayerShot(4000 - edge.dx, 3000 - edge.dy);
    testPlayerProjectileOnEnemies();
    EXPECT_EQ(gNumberOfEnemies, edge.hits ? 0 : 1);
    EXPECT_EQ(gNumberOfPlayerProjectiles, edge.hits ? 0 : 1);
    EXPECT_EQ(gScore, edge.hits ? 5 : 0);
  }
}

// dx, dy = butterfly shot minus bird.
TEST_F(CollisionsTest, EnemyShotOnBirdBoxEdges) {
  const EdgeCase cases[] = {
      {141, 711, true},   {140, 711, false},  {141, 710, false}, {141, 1070, false}, {141, 1069, true},
      {1049, 1069, true}, {1050, 1069, false}, {1049, 711, true}, {600, 900, true},
  };
  for (const EdgeCase& edge : cases) {
    SetUp();
    SCOPED_TRACE(testing::Message() << "dx " << edge.dx << ", dy " << edge.dy);
    addEnemyShot(gPlayerX + edge.dx, gPlayerY + edge.dy);
    testProjectiles2OnPlayer();
    EXPECT_EQ(gNumberOfEnemyProjectiles2, edge.hits ? 0 : 1);
    EXPECT_EQ(gPlayerHP, edge.hits ? 2 : 3);
    EXPECT_EQ(gPlayerSkipFrames, edge.hits ? 6 : 0);
  }
}

// dx, dy = butterfly minus bird.
TEST_F(CollisionsTest, ButterflyOnBirdBoxEdges) {
  const EdgeCase cases[] = {
      {-129, 301, true},  {-130, 301, false},  {-129, 300, false}, {1049, 1069, true},
      {1050, 1069, false}, {1049, 1070, false}, {-129, 1069, true}, {1049, 301, true},
  };
  for (const EdgeCase& edge : cases) {
    SetUp();
    SCOPED_TRACE(testing::Message() << "dx " << edge.dx << ", dy " << edge.dy);
    addButterfly(gPlayerX + edge.dx, gPlayerY + edge.dy);
    testEnemiesOnPlayer();
    EXPECT_EQ(gNumberOfEnemies, edge.hits ? 0 : 1);
    EXPECT_EQ(gPlayerHP, edge.hits ? 2 : 3);
    EXPECT_EQ(gPlayerSkipFrames, edge.hits ? 6 : 0);
    EXPECT_EQ(gScore, 0) << "ramming scores nothing";
  }
}

TEST_F(CollisionsTest, SeveralHitsInOneFrameEachCostAHitPoint) {
  addEnemyShot(gPlayerX + 500, gPlayerY + 800, 1);
  addEnemyShot(gPlayerX + 5000, gPlayerY + 800, 2);  // misses
  addEnemyShot(gPlayerX + 600, gPlayerY + 900, 3);
  addEnemyShot(gPlayerX + 700, gPlayerY + 1000, 4);
  addButterfly(gPlayerX + 100, gPlayerY + 500);
  addButterfly(gPlayerX + 200, gPlayerY + 600);
  testProjectiles2OnPlayer();
  EXPECT_EQ(gPlayerHP, 0);
  ASSERT_EQ(gNumberOfEnemyProjectiles2, 1);
  EXPECT_EQ(gEnemyProjectileList2[0].vx, 2);
  testEnemiesOnPlayer();
  EXPECT_EQ(gPlayerHP, -2) << "hit points may fall below zero within a frame";
  EXPECT_EQ(gNumberOfEnemies, 0);
  EXPECT_EQ(gPlayerSkipFrames, 6);
}

TEST_F(CollisionsTest, TheOnlyButterflyHitEndsTheTest) {
  addButterfly(4000, 3000);
  addPlayerShot(4000, 3000, 1);
  addPlayerShot(4000, 3000, 2);
  testPlayerProjectileOnEnemies();
  EXPECT_EQ(gNumberOfEnemies, 0);
  EXPECT_EQ(playerShotTags(), (std::vector<std::int32_t>{2})) << "one shot destroys one butterfly";
  EXPECT_EQ(gScore, 5);
}

TEST_F(CollisionsTest, TheButterflyMovedIntoAHitSlotIsTestedAgainstEveryShotBeforeTheNextIndex) {
  // Butterflies A, B, C; shots P (hits A), Q, R (hits both B and C). After A and P are removed, C
  // sits at index 0 and R at index 0 of the shots: C takes R, and B, tested next, finds no shot.
  addButterfly(1000, 1000, 'A');
  addButterfly(5000, 5000, 'B');
  addButterfly(5000, 5000, 'C');
  addPlayerShot(1000, 1000, 'P');
  addPlayerShot(100, 100, 'Q');
  addPlayerShot(5000, 5000, 'R');
  testPlayerProjectileOnEnemies();
  EXPECT_EQ(butterflyTags(), (std::vector<std::int32_t>{'B'}));
  EXPECT_EQ(playerShotTags(), (std::vector<std::int32_t>{'Q'}));
  EXPECT_EQ(gScore, 10);
}

TEST_F(CollisionsTest, AShotOverlappingTwoButterfliesHitsTheLowerIndex) {
  addButterfly(3000, 3000, 'A');
  addButterfly(3100, 3100, 'B');
  addPlayerShot(3050, 3050, 'P');
  testPlayerProjectileOnEnemies();
  EXPECT_EQ(butterflyTags(), (std::vector<std::int32_t>{'B'}));
  EXPECT_EQ(gNumberOfPlayerProjectiles, 0);
}

TEST_F(CollisionsTest, AButterflyShotThisFrameIsNotAlsoCountedAsRamming) {
  // The play loop tests shots on butterflies first: a butterfly both hit and touching the bird
  // is destroyed for points and costs no hit point.
  addButterfly(gPlayerX + 500, gPlayerY + 500);
  addPlayerShot(gPlayerX + 500, gPlayerY + 500);
  testPlayerProjectileOnEnemies();
  testProjectiles2OnPlayer();
  testEnemiesOnPlayer();
  EXPECT_EQ(gScore, 5);
  EXPECT_EQ(gPlayerHP, 3);
}

}  // namespace
