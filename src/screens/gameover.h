// The game-over screen with the final score.
#pragma once

#include <cstdint>

// 0 when the window was closed, 1 when a key was pressed after the pause.
std::int32_t displayGameOverScreen();
