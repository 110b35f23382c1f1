// Placeholder until the hit tests are written.
#include "game/collisions.h"

void testPlayerProjectileOnEnemies() {}
void testProjectiles2OnPlayer() {}
void testEnemiesOnPlayer() {}
