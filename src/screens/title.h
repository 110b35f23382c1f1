// The title menu: play, key configuration, quit.
#pragma once

#include <cstdint>

constexpr std::int32_t kTitleQuit = 0;
constexpr std::int32_t kTitlePlay = 1;
constexpr std::int32_t kTitleKeyConfiguration = 2;

// Returns the chosen entry, or kTitleQuit when the window is closed.
std::int32_t displayTitleScreen();
