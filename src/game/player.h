// The bird: movement inside its box, firing, drawing, and the hit-point feathers.
#pragma once

#include <cstdint>

constexpr std::int32_t kPlayerSpeedStraight = 120;  // tenths of a pixel per frame
constexpr std::int32_t gPlayerSpeedDiagonal = 84;   // tenths of a pixel per frame, per axis
constexpr std::int32_t kPlayerStartX = 600;         // tenths of a pixel
constexpr std::int32_t kPlayerStartY = 2000;        // tenths of a pixel
constexpr std::int32_t kPlayerStartHP = 3;
constexpr std::int32_t kPlayerHitLookFrames = 6;
constexpr std::int32_t kPlayerSpriteSize = 160;  // pixels

extern std::int32_t gPlayerX;  // tenths of a pixel, sprite's left edge
extern std::int32_t gPlayerY;  // tenths of a pixel, sprite's top edge
extern std::int32_t gPlayerInputX;  // -1, 0 or 1
extern std::int32_t gPlayerInputY;  // -1, 0 or 1, down is positive
extern std::int32_t gPlayerVelocityX;  // tenths of a pixel per frame
extern std::int32_t gPlayerVelocityY;  // tenths of a pixel per frame
extern std::int32_t gPlayerHP;
extern std::int32_t gPlayerCooldown;    // frames until the next shot may leave
extern std::int32_t gPlayerSkipFrames;  // frames still drawn in the hit look
extern std::int32_t gPlayerShots;       // kShotsBase plus the shots of this game

void movePlayer();
void shootPlayerProjectile();
void renderPlayer();
// The bird as renderPlayer last drew it: its wing beat and hit look do not move on.
void redrawPlayer();
void renderHP();
