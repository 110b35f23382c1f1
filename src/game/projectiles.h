// Every shot in a game: the record, the three pools, motion, removal and drawing.
#pragma once

#include <cstdint>

struct Projectile {
  std::int32_t x;   // tenths of a pixel, sprite's left edge
  std::int32_t y;   // tenths of a pixel, sprite's top edge
  std::int32_t vx;  // tenths of a pixel per frame
  std::int32_t vy;  // tenths of a pixel per frame
};

constexpr std::int32_t kPlayerProjectileCapacity = 100;
constexpr std::int32_t kEnemyProjectileCapacity1 = 1000;
constexpr std::int32_t kEnemyProjectileCapacity2 = 1000;

// A record stays alive while its position lies inside these bounds (inclusive), tenths of a pixel.
constexpr std::int32_t kFieldMinX = -160;
constexpr std::int32_t kFieldMaxX = 8000;
constexpr std::int32_t kFieldMinY = -160;
constexpr std::int32_t kFieldMaxY = 6000;

extern Projectile gPlayerProjectileList[kPlayerProjectileCapacity];
extern std::int32_t gNumberOfPlayerProjectiles;
extern Projectile gEnemyProjectileList1[kEnemyProjectileCapacity1];
extern std::int32_t gNumberOfEnemyProjectiles1;
extern Projectile gEnemyProjectileList2[kEnemyProjectileCapacity2];
extern std::int32_t gNumberOfEnemyProjectiles2;

// The last live record moves into the freed slot, so a walker re-examines the same index.
void removePlayerProjectile(std::int32_t index);
void removeEnemyProjectile1(std::int32_t index);
void removeEnemyProjectile2(std::int32_t index);
void moveProjectiles();
void renderProjectiles();
