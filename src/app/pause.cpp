// The pause of a game: requests noted as SDL queues the events, the paused picture kept over
// the last frame, and the wait for the player's choice.
#include "app/pause.h"

#include <SDL_mixer.h>

#include <cstring>
#include <vector>

#include "app/display.h"
#include "app/gamepad.h"
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

enum class PauseEnd { kResume, kGiveUp, kQuit };

std::int32_t* HitPoints = nullptr;  // the armed game's bird; nullptr outside a game
bool Requested = false;             // a pause key or a controller's Start was pressed
bool FocusGone = false;             // the window lost the focus or was minimised since
bool ToggleSeen = false;            // the fullscreen was toggled since the start
Uint32 ToggleTicks = 0;             // when the last fullscreen toggle began
SDL_Texture* KeptFrame = nullptr;   // the frame under way when the pause began

bool inGame() { return HitPoints != nullptr && *HitPoints > 0; }

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

// Sees every event as SDL queues it, before the game polls it.
int SDLCALL notePauseRequest(void*, SDL_Event* event) {
  if (!inGame()) return 1;
  switch (event->type) {
    case SDL_KEYDOWN:
      if (event->key.repeat == 0 && isPauseKey(event->key.keysym.sym)) Requested = true;
      break;
    case SDL_CONTROLLERBUTTONDOWN:
      if (event->cbutton.button == SDL_CONTROLLER_BUTTON_START) Requested = true;
      break;
    case SDL_WINDOWEVENT:
      if (event->window.event == SDL_WINDOWEVENT_FOCUS_LOST || event->window.event == SDL_WINDOWEVENT_MINIMIZED) {
        FocusGone = true;
      } else if (event->window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
        FocusGone = false;
      }
      break;
    default: break;
  }
  return 1;
}

bool focusSettled() { return !ToggleSeen || SDL_GetTicks() - ToggleTicks >= kFocusSettleMilliseconds; }

bool controllerPresent() {
  for (int index = 0; index < SDL_NumJoysticks(); ++index) {
    if (SDL_IsGameController(index)) return true;
  }
  return false;
}

// Reads the frame back from the render target, which holds the game's 800 x 600 picture.
SDL_Texture* keepFrame() {
  std::vector<Uint32> pixels(static_cast<std::size_t>(kWindowWidth) * kWindowHeight);
  const SDL_Rect whole = {0, 0, kWindowWidth, kWindowHeight};
  const int pitch = kWindowWidth * static_cast<int>(sizeof(Uint32));
  if (SDL_RenderReadPixels(gRenderer, &whole, SDL_PIXELFORMAT_ARGB8888, pixels.data(), pitch) != 0) return nullptr;
  SDL_Texture* texture =
      SDL_CreateTexture(gRenderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, kWindowWidth, kWindowHeight);
  if (texture == nullptr) return nullptr;
  SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
  SDL_UpdateTexture(texture, nullptr, pixels.data(), pitch);
  return texture;
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

// The kept frame, dimmed, with a darker band that carries "Paused" and the keys. The game's
// text cursor, glyph size and drawing colour are left as they were.
void drawPausedPicture() {
  const std::int32_t textX = gTextX;
  const std::int32_t textY = gTextY;
  const std::int32_t glyphWidth = gCharacterWidthToRender;
  const std::int32_t glyphHeight = gCharacterHeightToRender;
  Uint8 red, green, blue, alpha;
  SDL_GetRenderDrawColor(gRenderer, &red, &green, &blue, &alpha);
  SDL_BlendMode blendMode;
  SDL_GetRenderDrawBlendMode(gRenderer, &blendMode);

  if (KeptFrame != nullptr) SDL_RenderCopy(gRenderer, KeptFrame, nullptr, nullptr);
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
bool nextEvent(SDL_Event& event) {
  if (SDL_NumJoysticks() == 0) return SDL_WaitEvent(&event) != 0;
  if (SDL_PollEvent(&event) != 0) return true;
  SDL_Delay(kControllerPollMilliseconds);
  return false;
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

// Everything but the player's choice, a close request and a change of the window is dropped.
// The fullscreen key still toggles, and the picture is drawn anew for the window's new size.
PauseEnd waitForPlayer() {
  SDL_Event event;
  for (;;) {
    if (!nextEvent(event)) continue;
    switch (event.type) {
      case SDL_QUIT: return PauseEnd::kQuit;
      case SDL_KEYDOWN:
        if (event.key.repeat != 0) break;
        if (event.key.keysym.sym == gKeycodeCancel) return PauseEnd::kGiveUp;
        if (isResumeKey(event.key.keysym.sym)) return PauseEnd::kResume;
        if (event.key.keysym.sym == gKeycodeToggleFullscreen) toggleFullscreen();
        break;
      case SDL_CONTROLLERBUTTONDOWN:
        if (event.cbutton.button == SDL_CONTROLLER_BUTTON_START) return PauseEnd::kResume;
        if (event.cbutton.button == SDL_CONTROLLER_BUTTON_B) return PauseEnd::kGiveUp;
        break;
      case SDL_WINDOWEVENT:
        // Without a kept frame the target holds the paused picture itself, which is left alone.
        if (KeptFrame != nullptr && needsRedraw(event.window)) {
          drawPausedPicture();
          showFrame();
        }
        break;
      default: break;
    }
  }
}

// The keys pressed during the pause are dropped, and every key the game holds is let go, the
// controllers' included: a key or stick still held must be pressed again. The queue's poll-cycle
// mark goes too, so that the game's next frame sees the releases.
void releaseHeldKeys() {
  SDL_FlushEvents(SDL_KEYDOWN, SDL_KEYUP);
  SDL_FlushEvent(SDL_POLLSENTINEL);
  forgetGamepadKeys();
  for (SDL_Keycode key : {gKeycodeUp, gKeycodeDown, gKeycodeLeft, gKeycodeRight, gKeycodeAttack}) {
    SDL_Event release{};
    release.key.type = SDL_KEYUP;
    release.key.windowID = gWindow != nullptr ? SDL_GetWindowID(gWindow) : 0;
    release.key.state = SDL_RELEASED;
    release.key.keysym.sym = key;
    release.key.keysym.scancode = SDL_GetScancodeFromKey(key);
    SDL_PushEvent(&release);
  }
}

void pauseGame() {
  KeptFrame = keepFrame();
  Mix_PauseMusic();
  Mix_Pause(-1);
  drawPausedPicture();
  showFrame();

  const PauseEnd end = waitForPlayer();

  Mix_Resume(-1);
  Mix_ResumeMusic();
  if (KeptFrame != nullptr) SDL_RenderCopy(gRenderer, KeptFrame, nullptr, nullptr);
  SDL_DestroyTexture(KeptFrame);
  KeptFrame = nullptr;
  releaseHeldKeys();
  Requested = false;
  FocusGone = false;
  if (end == PauseEnd::kGiveUp) *HitPoints = 0;
  if (end == PauseEnd::kQuit) {
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
  }
}

}  // namespace

void armPause(std::int32_t* hitPoints) {
  if (hitPoints != nullptr && HitPoints == nullptr) SDL_AddEventWatch(&notePauseRequest, nullptr);
  if (hitPoints == nullptr && HitPoints != nullptr) SDL_DelEventWatch(&notePauseRequest, nullptr);
  HitPoints = hitPoints;
  Requested = false;
  FocusGone = false;
}

void noteFullscreenToggle() {
  ToggleSeen = true;
  ToggleTicks = SDL_GetTicks();
}

void runRequestedPause() {
  if (!inGame()) {
    Requested = false;
    FocusGone = false;
    return;
  }
  if (FocusGone && focusSettled()) Requested = true;
  if (Requested) pauseGame();
}
