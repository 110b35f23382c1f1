// The rules of a game without drawing: bird, shots, butterflies, hits, fire rate, spawns, random.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "game/collisions.h"
#include "game/enemies.h"
#include "game/play.h"
#include "game/player.h"
#include "game/projectiles.h"
#include "game/random.h"
#include "game/replay.h"

namespace {

using Values = std::vector<std::int32_t>;

Values valuesOf(const Projectile& shot) { return {shot.x, shot.y, shot.vx, shot.vy}; }

// One field of each record: the x of shots, or a tag kept in an unused path field of butterflies.
Values xsOf(const Projectile* pool, std::int32_t count) {
  Values xs;
  for (std::int32_t i = 0; i < count; ++i) xs.push_back(pool[i].x);
  return xs;
}
constexpr std::int32_t kTagField = kEnemyPath + 20;
Values butterflyTags() {
  Values tags;
  for (std::int32_t i = 0; i < gNumberOfEnemies; ++i) tags.push_back(gEnemyList[i][kTagField]);
  return tags;
}

class RulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gNumberOfEnemies = gNumberOfPlayerProjectiles = gNumberOfEnemyProjectiles1 = gNumberOfEnemyProjectiles2 = 0;
    gPlayerX = kPlayerStartX;
    gPlayerY = kPlayerStartY;
    gPlayerHP = kPlayerStartHP;
    gPlayerSkipFrames = gScore = 0;
    gPlayerShots = kShotsBase;
  }
  // A butterfly that neither moves (path index 0 unless given) nor fires.
  static std::int32_t* butterfly(std::int32_t x, std::int32_t y, std::int32_t path = 0, std::int32_t left = 1,
                                 std::int32_t tag = 0) {
    addRandomEnemy();
    std::int32_t* enemy = gEnemyList[gNumberOfEnemies - 1];
    enemy[kEnemyX] = x;
    enemy[kEnemyY] = y;
    enemy[kEnemyPathIndex] = path;
    enemy[kEnemySegmentFramesLeft] = left;
    enemy[kEnemyFireCooldown] = 100000;
    enemy[kTagField] = tag;
    return enemy;
  }
};

// Each move, then a shot from the muzzle costing a point down to 0; 100 shots at most.
TEST_F(RulesTest, TheBirdMovesStraight120OrDiagonal84StopsAtItsBoxAndFiresFromItsMuzzle) {
  struct { std::int32_t inputX, inputY, x, y; Values after; } const cases[] = {
      {0, 0, 600, 2000, {600, 2000, 0, 0}},        {1, 0, 600, 2000, {720, 2000, 120, 0}},
      {-1, 0, 600, 2000, {480, 2000, -120, 0}},    {0, -1, 600, 2000, {600, 1880, 0, -120}},
      {0, 1, 600, 2000, {600, 2120, 0, 120}},      {1, 1, 600, 2000, {684, 2084, 84, 84}},
      {-1, -1, 600, 2000, {516, 1916, -84, -84}},  {1, 1, 6590, 2000, {6600, 2084, 0, 84}},
      {-1, -1, -200, -700, {-200, -700, 0, 0}},
      // Ending on each bound keeps the velocity; one past it stops there.
      {1, 0, 6480, 2000, {6600, 2000, 120, 0}},    {1, 0, 6481, 2000, {6600, 2000, 0, 0}},
      {-1, 0, -80, 2000, {-200, 2000, -120, 0}},   {-1, 0, -81, 2000, {-200, 2000, 0, 0}},
      {0, -1, 600, -580, {600, -700, 0, -120}},    {0, -1, 600, -581, {600, -700, 0, 0}},
      {0, 1, 600, 4480, {600, 4600, 0, 120}},      {0, 1, 600, 4481, {600, 4600, 0, 0}},
  };
  gScore = 2;
  for (const auto& move : cases) {
    gPlayerInputX = move.inputX;
    gPlayerInputY = move.inputY;
    gPlayerX = move.x;
    gPlayerY = move.y;
    gPlayerVelocityX = gPlayerVelocityY = 999;
    movePlayer();
    EXPECT_EQ(Values({gPlayerX, gPlayerY, gPlayerVelocityX, gPlayerVelocityY}), move.after) << move.x << ", " << move.y;
    shootPlayerProjectile();
    EXPECT_EQ(valuesOf(gPlayerProjectileList[gNumberOfPlayerProjectiles - 1]),
              Values({gPlayerX + 1050, gPlayerY + 960, 100 + gPlayerVelocityX / 2, gPlayerVelocityY / 2}));
  }
  EXPECT_EQ(Values({gNumberOfPlayerProjectiles, gPlayerShots, gScore}), Values({17, kShotsBase + 17, 0}));
  gNumberOfPlayerProjectiles = kPlayerProjectileCapacity - 1;
  gScore = 10;
  shootPlayerProjectile();
  const Values last = valuesOf(gPlayerProjectileList[kPlayerProjectileCapacity - 1]);
  shootPlayerProjectile();
  EXPECT_EQ(Values({gNumberOfPlayerProjectiles, gPlayerShots, gScore}), Values({100, kShotsBase + 18, 9}));
  EXPECT_EQ(valuesOf(gPlayerProjectileList[kPlayerProjectileCapacity - 1]), last);
}

TEST_F(RulesTest, ShotsStayOnTheFieldsEdgesAndLeaveOnePast) {
  struct { Projectile start; Values after; } const cases[] = {
      {{7990, 3000, 10, 0}, {8000, 3000}},   {{7990, 3000, 11, 0}, {}},
      {{-150, 3000, -10, 0}, {-160, 3000}},  {{-150, 3000, -11, 0}, {}},
      {{100, -150, 0, -10}, {100, -160}},    {{100, -160, 0, -10}, {}},
      {{100, 5990, 0, 10}, {100, 6000}},     {{100, 5990, 0, 11}, {}},
      {{8000, 6000, 0, 0}, {8000, 6000}},    {{-160, -160, 0, 0}, {-160, -160}},
  };
  for (const auto& edge : cases) {
    gEnemyProjectileList2[0] = edge.start;
    gNumberOfEnemyProjectiles2 = 1;
    moveProjectiles();
    const Values after = gNumberOfEnemyProjectiles2 == 0 ? Values{} : Values({gEnemyProjectileList2[0].x, gEnemyProjectileList2[0].y});
    EXPECT_EQ(after, edge.after) << edge.start.x << ", " << edge.start.y;
  }
}

// A full pool takes no butterfly and draws no number for one.
TEST_F(RulesTest, AFullPoolOfButterfliesTakesNoneAndDrawsNothing) {
  gNumberOfEnemies = kEnemyCapacity;
  const Values last(gEnemyList[kEnemyCapacity - 1], gEnemyList[kEnemyCapacity - 1] + kEnemyFieldCount);
  seedGameRandom(5);
  addRandomEnemy();
  const std::int32_t next = gameRandom();
  seedGameRandom(5);
  EXPECT_EQ(next, gameRandom());
  EXPECT_EQ(gNumberOfEnemies, kEnemyCapacity);
  EXPECT_EQ(Values(gEnemyList[kEnemyCapacity - 1], gEnemyList[kEnemyCapacity - 1] + kEnemyFieldCount), last);
}

TEST_F(RulesTest, AButterflyBelowMinus450IsDroppedAndItsReplacementMovesInTheSamePass) {
  butterfly(-410, 1000, 16, 5);
  butterfly(-420, 2000, 16, 5);
  butterfly(5000, 3000, 16, 5)[kEnemyFireCooldown] = 0;
  moveEnemies();
  ASSERT_EQ(gNumberOfEnemies, 2);
  EXPECT_EQ(Values({gEnemyList[0][kEnemyX], gEnemyList[1][kEnemyX], gEnemyList[1][kEnemyY]}), Values({-450, 4960, 3000}));
  ASSERT_EQ(gNumberOfEnemyProjectiles2, 1);
  EXPECT_EQ(Values({gEnemyProjectileList2[0].x, gEnemyProjectileList2[0].y}), Values({4960, 3220}));
  gNumberOfEnemies = 1;
  gEnemyList[0][kEnemyX] = -430;
  moveEnemies();
  EXPECT_EQ(gNumberOfEnemies, 0);
}

TEST_F(RulesTest, RemovalCopiesThePathOnlyWhenTheMovedButterflyFollowsOne) {
  for (std::int32_t field = 0; field < kEnemyFieldCount; ++field) {
    for (std::int32_t i = 0; i < 3; ++i) gEnemyList[i][field] = 100 * (i + 1) + field;
  }
  gEnemyList[2][kEnemyPathIndex] = 0;
  gNumberOfEnemies = 3;
  removeEnemy(0);
  for (std::int32_t field = 0; field < kEnemyFieldCount; ++field) {
    EXPECT_EQ(gEnemyList[0][field], field == kEnemyPathIndex ? 0 : (field < kEnemyPathIndex ? 300 : 100) + field) << field;
  }
  removeEnemy(0);
  for (std::int32_t field = 0; field < kEnemyFieldCount; ++field) EXPECT_EQ(gEnemyList[0][field], 200 + field);
  removeEnemy(0);
  EXPECT_EQ(gNumberOfEnemies, 0);
}

// A butterfly at cooldown 0 fires; beyond the pool's 1000 shots, one is dropped without a draw.
TEST_F(RulesTest, AButterflyFiresAtCooldownZeroIntoAPoolOfAThousand) {
  for (std::int32_t i = 0; i < 999; ++i) butterfly(8000, 10 * i)[kEnemyFireCooldown] = 0;
  moveEnemies();
  ASSERT_EQ(gNumberOfEnemyProjectiles2, 999);
  const Values lastBefore = valuesOf(gEnemyProjectileList2[998]);
  for (std::int32_t i = 0; i < 999; ++i) gEnemyList[i][kEnemyFireCooldown] = 0;
  seedGameRandom(42);
  moveEnemies();
  EXPECT_EQ(gNumberOfEnemyProjectiles2, kEnemyProjectileCapacity2);
  EXPECT_EQ(valuesOf(gEnemyProjectileList2[998]), lastBefore);
  seedGameRandom(42);
  EXPECT_EQ(valuesOf(gEnemyProjectileList2[999]), Values({8000, 220, -50 - gameRandom() % 70, 0}));
  for (std::int32_t i = 0; i < 999; ++i) ASSERT_EQ(gEnemyList[i][kEnemyFireCooldown], gameRandom() % 50 + 50) << i;
}

// The three boxes (in tenths of a pixel) at each edge, one past it and the middle: edges hit.
TEST_F(RulesTest, HitBoxesIncludeTheirEdges) {
  enum Kind { kShotOnButterfly, kShotOnBird, kButterflyOnBird };
  const std::int32_t boxes[3][4] = {{-449, 79, -449, 79}, {141, 1049, 711, 1069}, {-129, 1049, 301, 1069}};
  // Butterflies, player shots, butterfly shots, hit points, hit-look frames, score: before, after a hit.
  const Values before[] = {{1, 1, 0, 3, 0, 0}, {0, 0, 1, 3, 0, 0}, {1, 0, 0, 3, 0, 0}};
  const Values hit[] = {{0, 0, 0, 3, 0, 5}, {0, 0, 0, 2, 6, 0}, {0, 0, 0, 2, 6, 0}};
  for (const Kind kind : {kShotOnButterfly, kShotOnBird, kButterflyOnBird}) {
    const auto& [left, right, top, bottom] = boxes[kind];
    for (const std::int32_t x : {left - 1, left, (left + right) / 2, right, right + 1}) {
      for (const std::int32_t y : {top - 1, top, (top + bottom) / 2, bottom, bottom + 1}) {
        SetUp();
        if (kind == kShotOnButterfly) {
          butterfly(4000, 3000);
          gPlayerProjectileList[gNumberOfPlayerProjectiles++] = {4000 - x, 3000 - y, 0, 0};
        } else if (kind == kShotOnBird) {
          gEnemyProjectileList2[gNumberOfEnemyProjectiles2++] = {gPlayerX + x, gPlayerY + y, 0, 0};
        } else {
          butterfly(gPlayerX + x, gPlayerY + y);
        }
        testPlayerProjectileOnEnemies();
        testProjectiles2OnPlayer();
        testEnemiesOnPlayer();
        const bool inside = x >= left && x <= right && y >= top && y <= bottom;
        EXPECT_EQ(Values({gNumberOfEnemies, gNumberOfPlayerProjectiles, gNumberOfEnemyProjectiles2, gPlayerHP,
                          gPlayerSkipFrames, gScore}),
                  inside ? hit[kind] : before[kind])
            << "box " << kind << ", dx " << x << ", dy " << y;
      }
    }
  }
}

TEST_F(RulesTest, EveryHitCountsAndEachShotOrButterflyHitsOnce) {
  for (const std::int32_t dx : {500, 5000, 600, 700}) {  // the second misses
    gEnemyProjectileList2[gNumberOfEnemyProjectiles2++] = {gPlayerX + dx, gPlayerY + 800 + dx % 500, dx, 0};
  }
  butterfly(gPlayerX + 100, gPlayerY + 500);
  butterfly(gPlayerX + 200, gPlayerY + 600);
  testProjectiles2OnPlayer();
  EXPECT_EQ(Values({gPlayerHP, gNumberOfEnemyProjectiles2, gEnemyProjectileList2[0].vx}), Values({0, 1, 5000}));
  testEnemiesOnPlayer();
  EXPECT_EQ(Values({gPlayerHP, gNumberOfEnemies, gPlayerSkipFrames, gScore}), Values({-2, 0, 6, 0}));

  // With A and its shot gone, C in place 0 takes the shot on B and C; the lower index goes first.
  struct { Values butterflies, shots, tagsLeft, shotsLeft; std::int32_t score; } const cases[] = {
      {{1000, 5000, 5000}, {1000, 100, 5000}, {'B'}, {100}, 10},
      {{3000, 3100}, {3050}, {'B'}, {}, 5},
      {{4000}, {4000, 4001}, {}, {4001}, 5},
  };
  for (const auto& shots : cases) {
    SetUp();
    for (const std::int32_t at : shots.butterflies) butterfly(at, at, 13, 1, 'A' + gNumberOfEnemies);  // on a path: the tag is copied
    for (const std::int32_t at : shots.shots) gPlayerProjectileList[gNumberOfPlayerProjectiles++] = {at, at, 0, 0};
    testPlayerProjectileOnEnemies();
    EXPECT_EQ(butterflyTags(), shots.tagsLeft);
    EXPECT_EQ(xsOf(gPlayerProjectileList, gNumberOfPlayerProjectiles), shots.shotsLeft);
    EXPECT_EQ(gScore, shots.score);
  }

  // Shots are tested first: a butterfly both shot and on the bird scores and costs no hit point.
  SetUp();
  butterfly(gPlayerX + 500, gPlayerY + 500);
  gPlayerProjectileList[gNumberOfPlayerProjectiles++] = {gPlayerX + 500, gPlayerY + 500, 0, 0};
  testPlayerProjectileOnEnemies();
  testProjectiles2OnPlayer();
  testEnemiesOnPlayer();
  EXPECT_EQ(Values({gScore, gPlayerHP}), Values({5, 3}));
}

// Attack held: a shot every ten frames; the first ends the briefing; butterflies come 120 frames on.
TEST_F(RulesTest, AGameFrameFiresEveryTenFramesAndSpawnsOnlyOnceTheBriefingIsOver) {
  seedGameRandom(1234);
  GameProgress progress;
  startGame(progress);
  for (std::int32_t frame = 0; frame < 200; ++frame) ASSERT_TRUE(runGameFrame(0, progress, false));
  EXPECT_EQ(gNumberOfEnemies, 0);
  Values shots, spawns;
  for (std::int32_t frame = 1; frame <= 160; ++frame) {
    const std::int32_t shotsBefore = gPlayerShots, enemiesBefore = gNumberOfEnemies;
    ASSERT_TRUE(runGameFrame(kActionAttack, progress, false));
    if (gPlayerShots != shotsBefore) shots.push_back(frame);
    if (gNumberOfEnemies > enemiesBefore) spawns.push_back(frame);
  }
  EXPECT_EQ(shots, Values({1, 11, 21, 31, 41, 51, 61, 71, 81, 91, 101, 111, 121, 131, 141, 151}));
  EXPECT_EQ(spawns, Values({120, 154}));
  EXPECT_EQ(Values({gScore, static_cast<std::int32_t>(progress.frames)}), Values({0, 360}));
}

TEST_F(RulesTest, TheSpawnIntervalShrinksWithTheShotsFiredAndAtMost999ButterfliesLive) {
  struct { std::int32_t shotsFired, interval; } const cases[] = {
      {1, 34},    {17, 34},  {18, 33},   {100, 30},   {250, 25},   {500, 20},     {1000, 15},
      {2500, 10}, {7000, 7}, {7001, 6},  {14500, 6},  {14501, 5},  {100000, 5},
  };
  for (const auto& spawn : cases) {
    gNumberOfEnemies = 0;
    gPlayerShots = kShotsBase + spawn.shotsFired;
    std::int32_t countdown = 1, frames = 1;
    runSpawnSchedule(countdown);
    EXPECT_EQ(countdown, spawn.interval) << spawn.shotsFired;
    for (; gNumberOfEnemies == 1 && frames < 100; ++frames) runSpawnSchedule(countdown);
    EXPECT_EQ(frames, spawn.interval + 1) << spawn.shotsFired;
  }
  gNumberOfEnemies = 0;
  gPlayerShots = 20000;
  std::int32_t countdown = kFirstSpawnFrames, frames = 0;
  for (; gNumberOfEnemies < kMaxSpawnedEnemies && frames < 10000; ++frames) runSpawnSchedule(countdown);
  EXPECT_EQ(frames, kFirstSpawnFrames + 998 * 5);
  for (std::int32_t frame = 0; frame < 100; ++frame) runSpawnSchedule(countdown);
  EXPECT_EQ(Values({gNumberOfEnemies, countdown}), Values({999, 5}));
  removeEnemy(500);
  for (std::int32_t frame = 0; frame < 5; ++frame) runSpawnSchedule(countdown);
  EXPECT_EQ(gNumberOfEnemies, 999) << "a freed place is taken at the next expiry";
}

// The C library's sequence for the same seed (0 as 1, from 2^31 on negative), resumed after draws.
TEST_F(RulesTest, TheRandomSequenceIsTheCLibrarysAndResumesAfterItsDraws) {
  for (const std::uint32_t seed : {0u, 1u, 7u, 1234u, 1765000000u, 2147483647u, 2147483648u, 4294967295u}) {
    srand(seed);
    seedGameRandom(seed);
    for (std::int32_t draw = 0; draw < 2000; ++draw) ASSERT_EQ(gameRandom(), rand()) << seed << ", draw " << draw;
    EXPECT_EQ(gRandomDraws, 2000u);
  }
  seedGameRandom(99);
  for (std::int32_t draw = 0; draw < 777; ++draw) gameRandom();
  const std::int32_t next = gameRandom();
  resumeGameRandom(99, 777);
  EXPECT_EQ(gameRandom(), next);
  EXPECT_EQ(gRandomSeed, 99u);
  EXPECT_EQ(gRandomDraws, 778u);
}

}  // namespace
