// The butterflies: their record, the pool, spawning, paths, firing and drawing.
#pragma once

#include <cstdint>

constexpr std::int32_t kEnemyCapacity = 1000;
constexpr std::int32_t kEnemyFieldCount = 37;

// Field indices of the enemy record.
constexpr std::int32_t kEnemyX = 0;                  // tenths of a pixel
constexpr std::int32_t kEnemyY = 1;                  // tenths of a pixel
constexpr std::int32_t kEnemyAnimationCounter = 4;   // 0 to 34, frame = counter / 5
constexpr std::int32_t kEnemyFireCooldown = 6;       // frames
constexpr std::int32_t kEnemyPathIndex = 10;         // field of the current segment's vx, 0 = still
constexpr std::int32_t kEnemyPathLoopIndex = 11;     // segment after the last one, 0 = stop
constexpr std::int32_t kEnemySegmentFramesLeft = 12; // frames
constexpr std::int32_t kEnemyPath = 13;              // eight segments of vx, vy, frames
constexpr std::int32_t kEnemyLastSegment = 34;
constexpr std::int32_t kEnemySpriteSize = 45;        // pixels
constexpr std::int32_t kEnemyLeaveX = -450;          // tenths of a pixel; below it the enemy is gone

extern std::int32_t gEnemyList[kEnemyCapacity][kEnemyFieldCount];
extern std::int32_t gNumberOfEnemies;

void addRandomEnemy();
void removeEnemy(std::int32_t index);
void moveEnemies();
void shootEnemyProjectiles2(std::int32_t index);
void renderEnemies();
// The butterflies as renderEnemies last drew them, their wing beats not moving on; one that
// came since is not drawn.
void redrawEnemies();
