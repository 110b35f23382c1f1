// One game from its start to game over: the frame loop, input, briefing and spawn schedule.
#pragma once

#include <SDL.h>

#include <cstdint>

constexpr std::int32_t kFrameMilliseconds = 25;
constexpr std::int32_t kFireCooldownFrames = 10;
constexpr std::int32_t kShotsBase = 500;  // gPlayerShots at the start of a game
constexpr std::int32_t kFirstSpawnFrames = 120;
constexpr std::int32_t kMaxSpawnedEnemies = 999;

extern std::int32_t gScore;
extern SDL_Event gEvent;

// The drawing steps of a game frame, also driven by the frame benchmark and the soak:
// the world back to front (sky, butterflies, bird, shots), and the score line.
void drawWorld();
void drawScoreLine();

// Runs one game: 0 when the window was closed, otherwise the game-over screen's result.
std::int32_t play();

// One frame of the spawn schedule, run once the briefing box is gone: counts spawnCountdown
// down and, when it reaches 0, reloads it with 15000 / gPlayerShots + 5 frames and adds one
// butterfly unless 999 are alive.
void runSpawnSchedule(std::int32_t& spawnCountdown);
