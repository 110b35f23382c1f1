// One game from its start to game over: the frame loop, input, briefing and spawn schedule.
#pragma once

#include <SDL.h>

#include <cstdint>

struct Replay;

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

// What a game carries from one frame to the next besides the world's globals.
struct GameProgress {
  bool showBriefing;             // until the first shot
  std::int32_t spawnCountdown;   // frames
  std::uint32_t frames;          // frames run so far
};

// Resets the world and the progress for a new game; neither music nor events.
void startGame(GameProgress& progress);
// One frame of the game with these actions held (kAction* bits of game/replay.h), in the
// frame's order: cooldown, move, hit tests, fire, the world drawn, game over, the score and
// feathers, then the briefing box or the spawn schedule. Without `drawing` the same rules run
// and nothing is drawn. False at game over, when the bird has no hit point left.
bool runGameFrame(std::uint8_t actions, GameProgress& progress, bool drawing);

// Runs one game, recording it, on the board's ticket when one is held (app/ticket.h): 0 when
// the window was closed, otherwise the game-over screen's result.
std::int32_t play();
// Shows a recorded game again as it was played, to its game-over screen, which enters nothing
// in the table: 0 when the window was closed or Backspace pressed, otherwise that screen's result.
std::int32_t watchReplay(const Replay& replay);

// One frame of the spawn schedule, run once the briefing box is gone: counts spawnCountdown
// down and, when it reaches 0, reloads it with 15000 / gPlayerShots + 5 frames and adds one
// butterfly unless 999 are alive.
void runSpawnSchedule(std::int32_t& spawnCountdown);
