// The title menu: play, key configuration, quit.
#pragma once

#include <cstdint>

constexpr std::int32_t kTitleQuit = 0;
constexpr std::int32_t kTitlePlay = 1;
constexpr std::int32_t kTitleKeyConfiguration = 2;

// The frame around the selected entry, in window pixels; its row comes from kTitleFrameRowY.
constexpr std::int32_t kTitleFrameX = 373;
constexpr std::int32_t kTitleFrameWidth = 418;
constexpr std::int32_t kTitleFrameHeight = 50;
// Top edge of the frame for each selected value (quit, play, key configuration).
constexpr std::int32_t kTitleFrameRowY[3] = {498, 390, 444};

// The hint line naming the fullscreen key, drawn over the bottom of the picture.
constexpr std::int32_t kTitleHintX = 290;  // pixels
constexpr std::int32_t kTitleHintY = 583;  // pixels
constexpr const char* kTitleHintLabel = "Toggle fullscreen : ";

constexpr std::int32_t kTitlePassDelay = 25;  // milliseconds per pass

// Returns the chosen entry, or kTitleQuit when the window is closed.
std::int32_t displayTitleScreen();
