// The game-over screen with the final score and the best score.
#pragma once

#include <cstdint>

constexpr std::int32_t kGameOverQuit = 0;
constexpr std::int32_t kGameOverKeyPressed = 1;

constexpr const char* kGameOverMusicPath = "../Common/mus03.mid";
constexpr const char* kGameOverGreeting = "Happy Birthday, you filthy animal!";
constexpr const char* kGameOverScoreFormat = "Your score: %d";
constexpr std::int32_t kGameOverGreetingX = 350;  // pixels
constexpr std::int32_t kGameOverGreetingY = 450;  // pixels
constexpr std::int32_t kGameOverScoreX = 450;     // pixels
constexpr std::int32_t kGameOverScoreY = 475;     // pixels
constexpr const char* kGameOverBestFormat = "Best score: %d";
constexpr std::int32_t kGameOverBestX = 450;      // pixels
constexpr std::int32_t kGameOverBestY = 500;      // pixels
constexpr std::int32_t kGameOverBoardX = 450;     // pixels: the board's answer, with --board
constexpr std::int32_t kGameOverBoardY = 525;     // pixels

// Keys still held from the game are ignored for this long after the screen appears.
constexpr std::int32_t kGameOverPause = 1000;     // milliseconds
constexpr std::int32_t kGameOverPassDelay = 25;   // milliseconds per pass

// Enters the final score into the best scores, then shows the screen. kGameOverQuit when the
// window was closed, kGameOverKeyPressed when a key was pressed after the pause.
std::int32_t displayGameOverScreen();
// The same screen at the end of a replay watched again: the table stays as it is.
std::int32_t displayWatchedGameOverScreen();
