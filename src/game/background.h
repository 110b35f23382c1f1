// The endless sky behind a game, scrolled one sheet column per frame.
#pragma once

#include <cstdint>

constexpr std::int32_t kBackgroundSheetWidth = 1920;  // pixels shown of each sheet
constexpr std::int32_t kBackgroundViewWidth = 400;    // sheet columns in the window
constexpr std::int32_t kBackgroundViewHeight = 300;   // sheet rows in the window
constexpr std::int32_t kBackgroundLastPosition = 3840;

void renderBackground();
// The sky as renderBackground last drew it, without scrolling on.
void redrawBackground();
