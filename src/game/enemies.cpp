// The butterflies: the record addressed by field index, the pool, spawning, path programs,
// firing and drawing.
#include "game/enemies.h"

#include <SDL.h>

#include "app/platform.h"
#include "game/projectiles.h"
#include "game/random.h"

std::int32_t gEnemyList[kEnemyCapacity][kEnemyFieldCount] = {};
std::int32_t gNumberOfEnemies = 0;

namespace {

// Fields copied on every removal; the rest only when the moved enemy follows a path.
constexpr std::int32_t kEnemyAlwaysCopiedFields = kEnemyPathIndex + 1;

// The path every new butterfly flies, fields 13 to 24: up-left, left, down-left, left.
constexpr std::int32_t kEnemyStartPath[] = {-30, -30, 20, -40, 0, 10, -30, 30, 20, -40, 0, 10};
constexpr std::int32_t kEnemyStartPathLength = sizeof(kEnemyStartPath) / sizeof(kEnemyStartPath[0]);
static_assert(kEnemyPath + kEnemyStartPathLength <= kEnemyFieldCount, "the path fits the record");
static_assert(kEnemyLastSegment + 2 == kEnemyFieldCount - 1, "the last segment ends the record");

constexpr std::int32_t kEnemyShotOffsetY = 220;  // tenths of a pixel below the sprite's top edge

// Advances one enemy along its path program; an enemy whose pathIndex is 0 stays where it is.
void followPath(std::int32_t* enemy) {
  const std::int32_t p = enemy[kEnemyPathIndex];
  if (p == 0) return;
  enemy[kEnemyX] += enemy[p];
  enemy[kEnemyY] += enemy[p + 1];
  enemy[kEnemySegmentFramesLeft] -= 1;
  if (enemy[kEnemySegmentFramesLeft] > 0) return;

  if (p != kEnemyLastSegment && enemy[p + 5] != 0) {
    enemy[kEnemyPathIndex] = p + 3;
    enemy[kEnemySegmentFramesLeft] = enemy[p + 5];
    return;
  }
  const std::int32_t loop = enemy[kEnemyPathLoopIndex];
  enemy[kEnemyPathIndex] = loop;
  if (loop != 0) enemy[kEnemySegmentFramesLeft] = enemy[loop + 2];
}

}  // namespace

// Appends one butterfly at the right edge. The five random draws come in a fixed order:
// y, animation counter, fire cooldown, start segment, frames left in it. A full pool adds
// nothing and draws nothing.
void addRandomEnemy() {
  if (gNumberOfEnemies >= kEnemyCapacity) return;
  std::int32_t* enemy = gEnemyList[gNumberOfEnemies];
  enemy[kEnemyX] = 8000;
  enemy[kEnemyY] = gameRandom() % 6000;
  enemy[2] = 0;
  enemy[3] = 1;
  enemy[kEnemyAnimationCounter] = gameRandom() % 35;
  enemy[5] = 0;
  enemy[kEnemyFireCooldown] = gameRandom() % 90 + 10;
  enemy[7] = 0;
  enemy[8] = 0;
  enemy[9] = 0;
  enemy[kEnemyPathIndex] = (gameRandom() % 4) * 3 + kEnemyPath;
  enemy[kEnemyPathLoopIndex] = kEnemyPath;
  enemy[kEnemySegmentFramesLeft] = gameRandom() % 19 + 1;
  for (std::int32_t field = 0; field < kEnemyStartPathLength; ++field) {
    enemy[kEnemyPath + field] = kEnemyStartPath[field];
  }
  gNumberOfEnemies += 1;
}

// The last live record moves into the freed slot. An enemy that does not follow a path never
// reads its path fields, so only its first eleven fields are copied.
void removeEnemy(std::int32_t index) {
  gNumberOfEnemies -= 1;
  const std::int32_t* last = gEnemyList[gNumberOfEnemies];
  std::int32_t* target = gEnemyList[index];
  const std::int32_t copied = last[kEnemyPathIndex] != 0 ? kEnemyFieldCount : kEnemyAlwaysCopiedFields;
  for (std::int32_t field = 0; field < copied; ++field) target[field] = last[field];
}

// Moves, drops and lets fire every live enemy once. An enemy dropped on the left is replaced by
// the last one, which is processed at the same index in this same pass.
void moveEnemies() {
  for (std::int32_t i = 0; i < gNumberOfEnemies; ++i) {
    std::int32_t* enemy = gEnemyList[i];
    followPath(enemy);
    if (enemy[kEnemyX] < kEnemyLeaveX) {
      removeEnemy(i);
      --i;
      continue;
    }
    if (enemy[kEnemyFireCooldown] != 0) {
      enemy[kEnemyFireCooldown] -= 1;
    } else {
      shootEnemyProjectiles2(i);
      enemy[kEnemyFireCooldown] = gameRandom() % 50 + 50;
    }
  }
}

// One shot to the left from the butterfly's middle height. With the pool already full the shot
// is dropped before anything happens: no sound, no record and no random draw for its speed.
void shootEnemyProjectiles2(std::int32_t index) {
  if (gNumberOfEnemyProjectiles2 >= kEnemyProjectileCapacity2) return;
  const std::int32_t* enemy = gEnemyList[index];
  playSound(kSoundShot);
  Projectile& shot = gEnemyProjectileList2[gNumberOfEnemyProjectiles2];
  shot.x = enemy[kEnemyX];
  shot.y = enemy[kEnemyY] + kEnemyShotOffsetY;
  shot.vx = -50 - gameRandom() % 70;
  shot.vy = 0;
  gNumberOfEnemyProjectiles2 += 1;
}

// Draws every live butterfly from the top row of its sheet, later indices on top; each frame of
// the seven-frame wing beat shows for five draws.
void renderEnemies() {
  static SDL_Rect SrcRect = {0, 0, kEnemySpriteSize, kEnemySpriteSize};
  static SDL_Rect DstRect = {0, 0, kEnemySpriteSize, kEnemySpriteSize};
  for (std::int32_t i = 0; i < gNumberOfEnemies; ++i) {
    std::int32_t* enemy = gEnemyList[i];
    SrcRect.x = (enemy[kEnemyAnimationCounter] / 5) * kEnemySpriteSize;
    enemy[kEnemyAnimationCounter] += 1;
    if (enemy[kEnemyAnimationCounter] > 34) enemy[kEnemyAnimationCounter] = 0;
    DstRect.x = enemy[kEnemyX] / 10;
    DstRect.y = enemy[kEnemyY] / 10;
    SDL_RenderCopy(gRenderer, gTexture[kTextureButterfly], &SrcRect, &DstRect);
  }
}
