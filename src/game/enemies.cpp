// Placeholder until the butterflies are written.
#include "game/enemies.h"

std::int32_t gEnemyList[kEnemyCapacity][kEnemyFieldCount] = {};
std::int32_t gNumberOfEnemies = 0;

void addRandomEnemy() {}
void removeEnemy(std::int32_t) {}
void moveEnemies() {}
void shootEnemyProjectiles2(std::int32_t) {}
void renderEnemies() {}
