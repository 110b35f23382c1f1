// The pause of a game: what asks for it among the events of a game's frame, and the paused
// screen, which shows the frozen frame dimmed with the keys and waits for the player's answer.
#pragma once

#include <SDL.h>

// P, Escape and Pause pause and resume while none of the eight bindings holds them.
constexpr SDL_Keycode kPauseKeys[] = {SDLK_p, SDLK_ESCAPE, SDLK_PAUSE};

// A window manager may take the focus away while the window changes to or from fullscreen. A
// focus loss this soon after the game's own toggle pauses only if the focus has not come back
// once this time is over.
constexpr Uint32 kFocusSettleMilliseconds = 1500;

// What has asked a game to pause; a game starts with none.
struct PauseRequest {
  bool asked;      // a pause key or a controller's Start was pressed
  bool focusGone;  // the window lost the focus or was minimised, and has not had it back
};

enum class PauseAnswer { kResume, kGiveUp, kQuit };

// Notes what one of a game frame's events asks of the pause.
void notePauseEvent(PauseRequest& request, const SDL_Event& event);
// True when the game is to pause now.
bool pauseDue(const PauseRequest& request);
// The paused screen: the frame that drawFrozenFrame draws again, dimmed, with the keys that
// resume and give up, drawn anew whenever the window needs it. The music waits, and the screen
// sleeps until the player answers; keys pressed meanwhile are dropped, and the fullscreen key
// still toggles.
PauseAnswer runPauseScreen(void (*drawFrozenFrame)());
