// The three hit tests of a frame: shots on butterflies, butterfly shots on the bird, butterflies
// on the bird. All bounds are inclusive differences in tenths of a pixel.
#include "game/collisions.h"

#include <cstdint>

#include "app/platform.h"
#include "game/enemies.h"
#include "game/play.h"
#include "game/player.h"
#include "game/projectiles.h"

namespace {

constexpr std::int32_t kPointsPerButterfly = 5;

struct HitBox {
  std::int32_t minDx, maxDx, minDy, maxDy;
  bool holds(std::int32_t dx, std::int32_t dy) const {
    return dx >= minDx && dx <= maxDx && dy >= minDy && dy <= maxDy;
  }
};

// dx, dy = butterfly minus player shot.
constexpr HitBox kShotOnButterfly = {-449, 79, -449, 79};
// dx, dy = butterfly shot minus bird.
constexpr HitBox kShotOnBird = {141, 1049, 711, 1069};
// dx, dy = butterfly minus bird.
constexpr HitBox kButterflyOnBird = {-129, 1049, 301, 1069};

void hitBird() {
  playSound(kSoundPlayerHit);
  gPlayerHP -= 1;
  gPlayerSkipFrames = kPlayerHitLookFrames;
}

}  // namespace

// Butterflies outside, shots inside: a hit removes both, and the butterfly moved into slot i is
// tested from the first shot again before the walk goes on.
void testPlayerProjectileOnEnemies() {
  for (std::int32_t i = 0; i < gNumberOfEnemies; ++i) {
    for (std::int32_t j = 0; j < gNumberOfPlayerProjectiles; ++j) {
      const std::int32_t dx = gEnemyList[i][kEnemyX] - gPlayerProjectileList[j].x;
      const std::int32_t dy = gEnemyList[i][kEnemyY] - gPlayerProjectileList[j].y;
      if (!kShotOnButterfly.holds(dx, dy)) continue;
      playSound(kSoundEnemyDestroyed);
      gScore += kPointsPerButterfly;
      removeEnemy(i);
      removePlayerProjectile(j);
      --i;
      break;
    }
  }
}

// Every butterfly shot inside the box costs a hit point, several in one frame included.
void testProjectiles2OnPlayer() {
  for (std::int32_t i = 0; i < gNumberOfEnemyProjectiles2; ++i) {
    const std::int32_t dx = gEnemyProjectileList2[i].x - gPlayerX;
    const std::int32_t dy = gEnemyProjectileList2[i].y - gPlayerY;
    if (!kShotOnBird.holds(dx, dy)) continue;
    hitBird();
    removeEnemyProjectile2(i);
    --i;
  }
}

// A butterfly that rams the bird costs a hit point and is destroyed without scoring.
void testEnemiesOnPlayer() {
  for (std::int32_t i = 0; i < gNumberOfEnemies; ++i) {
    const std::int32_t dx = gEnemyList[i][kEnemyX] - gPlayerX;
    const std::int32_t dy = gEnemyList[i][kEnemyY] - gPlayerY;
    if (!kButterflyOnBird.holds(dx, dy)) continue;
    hitBird();
    removeEnemy(i);
    --i;
  }
}
