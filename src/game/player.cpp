// Placeholder until the bird is written.
#include "game/player.h"

std::int32_t gPlayerX = 0;
std::int32_t gPlayerY = 0;
std::int32_t gPlayerInputX = 0;
std::int32_t gPlayerInputY = 0;
std::int32_t gPlayerVelocityX = 0;
std::int32_t gPlayerVelocityY = 0;
std::int32_t gPlayerHP = 0;
std::int32_t gPlayerCooldown = 0;
std::int32_t gPlayerSkipFrames = 0;
std::int32_t gPlayerShots = 0;

void movePlayer() {}
void shootPlayerProjectile() {}
void renderPlayer() {}
void renderHP() {}
