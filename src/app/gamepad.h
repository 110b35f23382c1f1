// Game controllers: their buttons and sticks reach the screens as key events of the bindings.
#pragma once

#include <cstdint>

// What the buttons mean depends on the screen the top-level loop runs.
constexpr std::int32_t kGamepadOff = 0;    // nothing is translated (the key configuration screen)
constexpr std::int32_t kGamepadMenus = 1;  // the title menu
constexpr std::int32_t kGamepadGame = 2;   // a game and its game-over screen

// A stick direction or a trigger presses from this deflection on and lets go only below the
// lower one, so that a stick held near the edge does not flicker; less never presses (the dead
// zone).
constexpr std::int32_t kAxisPressDeflection = 16384;    // of 32767: half way
constexpr std::int32_t kAxisReleaseDeflection = 12288;  // of 32767: three eighths
static_assert(kAxisReleaseDeflection < kAxisPressDeflection, "the release threshold lies below the press threshold");

// Starts SDL's game controller support and the translation of its events; without it the game
// simply has no controllers (nothing is printed). Controllers present now or plugged in later
// are opened as they arrive.
void initializeGamepads();
// Sets what the buttons mean from now on. Keys already pressed are released with the key they
// pressed, whatever the context has become; switching to kGamepadOff forgets them without a
// release.
void setGamepadContext(std::int32_t context);
// Closes the controllers and stops the translation; safe when initializeGamepads failed or never ran.
void closeGamepads();

// What the page's touch controls offer (touchScreenForPage, in the browser).
constexpr std::int32_t kPageScreenPlaying = 0;         // the six keys
constexpr std::int32_t kPageScreenPaused = 1;          // Resume and Give up
constexpr std::int32_t kPageScreenFlightControl = 2;   // the six keys and a way out
