// The pause of a game: the requests for it, the paused picture over the last frame, and the
// wait for the player, during which no game time passes.
#pragma once

#include <SDL.h>

#include <cstdint>

// P, Escape and Pause pause and resume while none of the eight bindings holds them.
constexpr SDL_Keycode kPauseKeys[] = {SDLK_p, SDLK_ESCAPE, SDLK_PAUSE};

// A window manager may take the focus away while the window changes to or from fullscreen. A
// focus loss this soon after the game's own toggle pauses only if the focus has not come back
// once this time is over.
constexpr Uint32 kFocusSettleMilliseconds = 1500;

// Arms the pause for one game whose bird has these hit points: it acts only while they last,
// and giving up sets them to 0. nullptr disarms it.
void armPause(std::int32_t* hitPoints);
// Marks the start of the game's own fullscreen toggle (see kFocusSettleMilliseconds).
void noteFullscreenToggle();
// Called with a frame drawn but not yet shown: when the player asked for a pause, shows the
// frame dimmed with the keys that resume and give up, waits until the player chooses, and
// leaves the frame as it was drawn. Keys held when the pause began then count as released; a
// close request while paused is put back for the game to see.
void runRequestedPause();
