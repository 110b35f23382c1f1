// Placeholder until the projectiles are written.
#include "game/projectiles.h"

Projectile gPlayerProjectileList[kPlayerProjectileCapacity] = {};
std::int32_t gNumberOfPlayerProjectiles = 0;
Projectile gEnemyProjectileList1[kEnemyProjectileCapacity1] = {};
std::int32_t gNumberOfEnemyProjectiles1 = 0;
Projectile gEnemyProjectileList2[kEnemyProjectileCapacity2] = {};
std::int32_t gNumberOfEnemyProjectiles2 = 0;

void removePlayerProjectile(std::int32_t) {}
void removeEnemyProjectile1(std::int32_t) {}
void removeEnemyProjectile2(std::int32_t) {}
void moveProjectiles() {}
void renderProjectiles() {}
