// Turning all sound off and on: M (while none of the eight bindings holds it), --mute, and in the
// browser the page's Sound button. The mixer's volumes stay as the game sets them; only what
// reaches the audio device is silenced.
#pragma once

#include <SDL.h>

constexpr SDL_Keycode kMuteKey = SDLK_m;

// Starts listening for the mute key, muted or not; after the mixer is open.
void startMuting(bool muted);
// On the key configuration screen every key is a key to bind, M included: the key then does not mute.
void setMuteKeyActive(bool active);
void setMuted(bool muted);
bool isMuted();
// Stops listening; safe when startMuting never ran.
void stopMuting();
