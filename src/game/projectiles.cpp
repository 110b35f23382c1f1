// The three projectile pools: removal, straight-line motion with removal at the field's edges, drawing.
#include "game/projectiles.h"

#include <SDL.h>

#include "app/platform.h"

Projectile gPlayerProjectileList[kPlayerProjectileCapacity] = {};
std::int32_t gNumberOfPlayerProjectiles = 0;
Projectile gEnemyProjectileList1[kEnemyProjectileCapacity1] = {};
std::int32_t gNumberOfEnemyProjectiles1 = 0;
Projectile gEnemyProjectileList2[kEnemyProjectileCapacity2] = {};
std::int32_t gNumberOfEnemyProjectiles2 = 0;

namespace {

void removeFromPool(Projectile* pool, std::int32_t& count, std::int32_t index) {
  count -= 1;
  pool[index] = pool[count];
}

bool outsideX(const Projectile& projectile) {
  return projectile.x < kFieldMinX || projectile.x > kFieldMaxX;
}

bool outsideY(const Projectile& projectile) {
  return projectile.y < kFieldMinY || projectile.y > kFieldMaxY;
}

// Moves every live record once. The count is read before every step, and a removed record's
// slot is examined again, since it now holds the record from the end that the pass has not met.
void movePool(Projectile* pool, std::int32_t& count) {
  for (std::int32_t index = 0; index < count; ++index) {
    Projectile& projectile = pool[index];
    projectile.x += projectile.vx;
    if (outsideX(projectile)) {
      removeFromPool(pool, count, index);
      --index;
      continue;
    }
    projectile.y += projectile.vy;
    if (outsideY(projectile)) {
      removeFromPool(pool, count, index);
      --index;
    }
  }
}

void renderPool(const Projectile* pool, std::int32_t count, const SDL_Rect& source, SDL_Rect& destination) {
  for (std::int32_t index = 0; index < count; ++index) {
    destination.x = pool[index].x / 10;
    destination.y = pool[index].y / 10;
    SDL_RenderCopy(gRenderer, gTexture[kTextureProjectiles], &source, &destination);
  }
}

}  // namespace

void removePlayerProjectile(std::int32_t index) {
  removeFromPool(gPlayerProjectileList, gNumberOfPlayerProjectiles, index);
}

void removeEnemyProjectile1(std::int32_t index) {
  removeFromPool(gEnemyProjectileList1, gNumberOfEnemyProjectiles1, index);
}

void removeEnemyProjectile2(std::int32_t index) {
  removeFromPool(gEnemyProjectileList2, gNumberOfEnemyProjectiles2, index);
}

void moveProjectiles() {
  movePool(gPlayerProjectileList, gNumberOfPlayerProjectiles);
  movePool(gEnemyProjectileList1, gNumberOfEnemyProjectiles1);
  movePool(gEnemyProjectileList2, gNumberOfEnemyProjectiles2);
}

// Later pools are drawn over earlier ones; each sprite is its sheet cell scaled by two.
void renderProjectiles() {
  static const SDL_Rect SrcRect1 = {6, 0, 8, 8};
  static SDL_Rect DstRect1 = {0, 0, 16, 16};
  static const SDL_Rect SrcRect0 = {0, 0, 6, 6};
  static SDL_Rect DstRect0 = {0, 0, 12, 12};
  static const SDL_Rect SrcRect2 = {14, 0, 18, 4};
  static SDL_Rect DstRect2 = {0, 0, 36, 8};

  renderPool(gPlayerProjectileList, gNumberOfPlayerProjectiles, SrcRect1, DstRect1);
  renderPool(gEnemyProjectileList1, gNumberOfEnemyProjectiles1, SrcRect0, DstRect0);
  renderPool(gEnemyProjectileList2, gNumberOfEnemyProjectiles2, SrcRect2, DstRect2);
}
