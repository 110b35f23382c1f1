// The key configuration screen: captures all eight bindings in turn, then saves them.
#pragma once

#include <cstdint>

constexpr std::int32_t kFirstCaptureStep = 9;

// 0 when the window was closed, otherwise the result of saving the bindings.
std::int32_t adjustSettings();
// Draws one frame of the screen for the capture step (9 to 1).
void renderSettings(std::int32_t step);
