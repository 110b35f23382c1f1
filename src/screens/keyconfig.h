// The key configuration screen: captures all eight bindings in turn, then saves them.
#pragma once

#include <cstdint>

// Steps 9 to 2 capture the binding at index kFirstCaptureStep - step; step 1 waits for the
// final key; step 0 ends the capture and saves.
constexpr std::int32_t kFirstCaptureStep = 9;
constexpr std::int32_t kFinalKeyStep = 1;
constexpr std::int32_t kCaptureDoneStep = 0;

// Where the screen's text starts and how it is laid out, in window pixels.
constexpr std::int32_t kSettingsTextX = 2;
constexpr std::int32_t kSettingsTextY = 0;
constexpr std::int32_t kSettingsRightBound = 800;
constexpr std::int32_t kSettingsStyle = 0;
// The marker '>' stands on line (14 - step) of 15 pixels each, in the second character column.
constexpr std::int32_t kSettingsMarkerLineBase = 14;
constexpr char kSettingsMarker = '>';

constexpr std::int32_t kSettingsPassDelay = 25;  // milliseconds per frame

// The character a refused key writes to standard output: the terminal bell.
constexpr char kRefusalBell = 7;

// 0 when the window was closed (nothing saved), otherwise the result of saving the bindings.
std::int32_t adjustSettings();
// Draws one frame of the screen for the capture step (9 to 1).
void renderSettings(std::int32_t step);
