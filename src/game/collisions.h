// The three hit tests of a frame: shots on butterflies, butterfly shots on the bird, butterflies on the bird.
#pragma once

void testPlayerProjectileOnEnemies();
void testProjectiles2OnPlayer();
void testEnemiesOnPlayer();
