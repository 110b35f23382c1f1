// The pause of a game: the requests among a frame's events, the paused picture over the frozen
// frame, and the wait for the player's choice.
#include "app/pause.h"

#include <SDL_mixer.h>

#include <cstdint>
#include <cstring>

#include "app/display.h"
#include "app/platform.h"
#include "app/settings.h"
#include "text/font.h"
#include "text/text.h"

namespace {

constexpr std::int32_t kStyle = 2;               // the score line's glyph set
constexpr Uint8 kDimAlpha = 128;                 // of 255: black laid over the whole frame
constexpr Uint8 kBandAlpha = 128;                // of 255: black laid again behind the text
constexpr SDL_Rect kBand = {0, 225, kWindowWidth, 135};  // pixels
constexpr std::int32_t kTitleScale = 3;          // "Paused" is drawn at three times the font's size
constexpr std::int32_t kTitleY = 245;            // pixels
constexpr std::int32_t kKeysY = 305;             // pixels
constexpr std::int32_t kControllerY = 325;       // pixels
constexpr std::int32_t kLineSize = 160;          // bytes of a composed line, NUL included
constexpr Uint32 kControllerPollMilliseconds = 50;

bool isBound(SDL_Keycode key) {
  for (SDL_Keycode binding : gKeyBindings) {
    if (binding == key) return true;
  }
  return false;
}

bool isPauseKey(SDL_Keycode key) {
  for (SDL_Keycode pauseKey : kPauseKeys) {
    if (key == pauseKey) return !isBound(key);
  }
  return false;
}

// With all three pause keys bound to actions, the confirm key resumes instead, so that a game
// paused by the focus can always go on from the keyboard.
bool isResumeKey(SDL_Keycode key) {
  if (isPauseKey(key)) return true;
  for (SDL_Keycode pauseKey : kPauseKeys) {
    if (!isBound(pauseKey)) return false;
  }
  return key == gKeycodeConfirm;
}

bool controllerPresent() {
  for (int index = 0; index < SDL_NumJoysticks(); ++index) {
    if (SDL_IsGameController(index)) return true;
  }
  return false;
}

// Appends a key's name; SDL may keep the name in a buffer that its next call overwrites.
void appendKeyName(char* line, SDL_Keycode key) {
  std::strncat(line, SDL_GetKeyName(key), kLineSize - std::strlen(line) - 1);
}

// "Resume: P, Escape or Pause    Give up: Backspace", from the bindings as they are now.
void composeKeysLine(char* line) {
  SDL_Keycode resumeKeys[sizeof(kPauseKeys) / sizeof(kPauseKeys[0])];
  std::int32_t count = 0;
  for (SDL_Keycode key : kPauseKeys) {
    if (!isBound(key)) resumeKeys[count++] = key;
  }
  if (count == 0) resumeKeys[count++] = gKeycodeConfirm;
  std::strcpy(line, "Resume: ");
  for (std::int32_t index = 0; index < count; ++index) {
    if (index > 0) std::strcat(line, index == count - 1 ? " or " : ", ");
    appendKeyName(line, resumeKeys[index]);
  }
  std::strncat(line, "    Give up: ", kLineSize - std::strlen(line) - 1);
  appendKeyName(line, gKeycodeCancel);
}

void drawCentredLine(const char* line, std::int32_t y) {
  const std::int32_t width = static_cast<std::int32_t>(std::strlen(line)) * gCharacterWidthToRender;
  const std::int32_t left = width < kWindowWidth ? (kWindowWidth - width) / 2 : 0;
  gTextX = left;
  gTextY = y;
  renderText(left, kWindowWidth, line, kStyle);
}

// The frozen frame, dimmed, with a darker band that carries "Paused" and the keys. The game's
// text cursor, glyph size and drawing colour are left as they were.
void drawPausedPicture(void (*drawFrozenFrame)()) {
  const std::int32_t textX = gTextX;
  const std::int32_t textY = gTextY;
  const std::int32_t glyphWidth = gCharacterWidthToRender;
  const std::int32_t glyphHeight = gCharacterHeightToRender;
  Uint8 red, green, blue, alpha;
  SDL_GetRenderDrawColor(gRenderer, &red, &green, &blue, &alpha);
  SDL_BlendMode blendMode;
  SDL_GetRenderDrawBlendMode(gRenderer, &blendMode);

  drawFrozenFrame();
  SDL_SetRenderDrawBlendMode(gRenderer, SDL_BLENDMODE_BLEND);
  SDL_SetRenderDrawColor(gRenderer, 0, 0, 0, kDimAlpha);
  SDL_RenderFillRect(gRenderer, nullptr);
  SDL_SetRenderDrawColor(gRenderer, 0, 0, 0, kBandAlpha);
  SDL_RenderFillRect(gRenderer, &kBand);

  gCharacterWidthToRender = glyphWidth * kTitleScale;
  gCharacterHeightToRender = glyphHeight * kTitleScale;
  drawCentredLine("Paused", kTitleY);
  gCharacterWidthToRender = glyphWidth;
  gCharacterHeightToRender = glyphHeight;
  char line[kLineSize];
  composeKeysLine(line);
  drawCentredLine(line, kKeysY);
  if (controllerPresent()) drawCentredLine("On a controller: Start resumes, B gives up", kControllerY);

  gTextX = textX;
  gTextY = textY;
  SDL_SetRenderDrawColor(gRenderer, red, green, blue, alpha);
  SDL_SetRenderDrawBlendMode(gRenderer, blendMode);
}

// Without controllers SDL sleeps until an event arrives. With one it would wake every
// millisecond to read it, so the pause reads the controllers itself a few times a second.
void waitForEvents() {
  if (SDL_NumJoysticks() == 0) {
    SDL_WaitEvent(nullptr);
  } else {
    SDL_Delay(kControllerPollMilliseconds);
  }
}

bool needsRedraw(const SDL_WindowEvent& window) {
  switch (window.event) {
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_MAXIMIZED: return true;
    default: return false;
  }
}

// True when the event answers the pause. The fullscreen key still toggles, and the picture is
// drawn anew for the window's new size; everything else is dropped.
bool answerOf(const SDL_Event& event, void (*drawFrozenFrame)(), PauseAnswer& answer) {
  switch (event.type) {
    case SDL_QUIT: answer = PauseAnswer::kQuit; return true;
    case SDL_KEYDOWN: {
      const SDL_Keycode key = event.key.keysym.sym;
      if (event.key.repeat != 0) return false;
      if (key == gKeycodeCancel || isResumeKey(key)) {
        answer = key == gKeycodeCancel ? PauseAnswer::kGiveUp : PauseAnswer::kResume;
        return true;
      }
      if (key == gKeycodeToggleFullscreen) toggleFullscreen();
      return false;
    }
    case SDL_CONTROLLERBUTTONDOWN: {
      const Uint8 button = event.cbutton.button;
      if (button != SDL_CONTROLLER_BUTTON_START && button != SDL_CONTROLLER_BUTTON_B) return false;
      answer = button == SDL_CONTROLLER_BUTTON_START ? PauseAnswer::kResume : PauseAnswer::kGiveUp;
      return true;
    }
    case SDL_WINDOWEVENT:
      if (needsRedraw(event.window)) {
        drawPausedPicture(drawFrozenFrame);
        presentFrame();
      }
      return false;
    default: return false;
  }
}

// The first answer counts, but SDL's poll cycle is read to its end: the game's next frame starts
// a cycle of its own, and a close request queued behind the answer still closes.
PauseAnswer waitForPlayer(void (*drawFrozenFrame)()) {
  PauseAnswer answer = PauseAnswer::kResume;
  for (bool answered = false;; waitForEvents()) {
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
      if (event.type == SDL_QUIT) answer = PauseAnswer::kQuit;
      if (!answered) answered = answerOf(event, drawFrozenFrame, answer);
    }
    if (answered) return answer;
  }
}

}  // namespace

void notePauseEvent(PauseRequest& request, const SDL_Event& event) {
  switch (event.type) {
    case SDL_KEYDOWN:
      if (event.key.repeat == 0 && isPauseKey(event.key.keysym.sym)) request.asked = true;
      break;
    case SDL_CONTROLLERBUTTONDOWN:
      if (event.cbutton.button == SDL_CONTROLLER_BUTTON_START) request.asked = true;
      break;
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST || event.window.event == SDL_WINDOWEVENT_MINIMIZED) {
        request.focusGone = true;
      } else if (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
        request.focusGone = false;
      }
      break;
    default: break;
  }
}

bool pauseDue(const PauseRequest& request) {
  const bool focusSettled = SDL_GetTicks() - gFullscreenToggleTicks >= kFocusSettleMilliseconds;
  return request.asked || (request.focusGone && focusSettled);
}

PauseAnswer runPauseScreen(void (*drawFrozenFrame)()) {
  Mix_PauseMusic();
  Mix_Pause(-1);
  drawPausedPicture(drawFrozenFrame);
  presentFrame();
  const PauseAnswer answer = waitForPlayer(drawFrozenFrame);
  Mix_Resume(-1);
  Mix_ResumeMusic();
  return answer;
}
