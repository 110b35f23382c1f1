// The key configuration screen: captures the eight bindings in table order and saves them.
#include "screens/keyconfig.h"

#include <SDL.h>

#include <cstdio>

#include "app/display.h"
#include "app/platform.h"
#include "app/settings.h"
#include "text/font.h"
#include "text/text.h"

namespace {

// Walked together with gKeyBindings: label i stands before the key name of binding i. The
// header ends with the label of the first binding; every label after it is 24 characters, so the
// key names line up in one column.
constexpr const char* kBindingLabels[kKeyBindingCount] = {
    "\n   -- Settings --\n\nPress the key to perform the following action\n\n   move up           : ",
    "\n   move down         : ",
    "\n   move left         : ",
    "\n   move right        : ",
    "\n   attack            : ",
    "\n   interact, confirm : ",
    "\n   close, cancel     : ",
    "\n   toggle fullscreen : ",
};
constexpr const char* kReturnPrompt = "\n\nPress any key to return to title screen.";

static_assert(kFirstCaptureStep - kKeyBindingCount == kFinalKeyStep,
              "one capture step per binding, then the final key");

void ringBell() {
  putchar(kRefusalBell);
  fflush(stdout);  // seen at once, not when the program ends
}

// Applies one key press to the capture and returns the next step. A key already captured in this
// visit is refused with the bell; the old value of a binding still to come is accepted.
std::int32_t captureKey(std::int32_t step, SDL_Keycode key) {
  if (step == kCaptureDoneStep) return step;
  if (step == kFinalKeyStep) return kCaptureDoneStep;
  const std::int32_t index = kFirstCaptureStep - step;
  for (std::int32_t earlier = 0; earlier < index; ++earlier) {
    if (gKeyBindings[earlier] == key) {
      ringBell();
      return step;
    }
  }
  gKeyBindings[index] = key;
  return step - 1;
}

}  // namespace

void renderSettings(std::int32_t step) {
  gTextX = kSettingsTextX;
  gTextY = kSettingsTextY;
  for (std::int32_t index = 0; index < kKeyBindingCount; ++index) {
    renderText(kSettingsTextX, kSettingsRightBound, kBindingLabels[index], kSettingsStyle);
    renderText(kSettingsTextX, kSettingsRightBound, SDL_GetKeyName(gKeyBindings[index]), kSettingsStyle);
  }
  if (step == kFinalKeyStep) {
    renderText(kSettingsTextX, kSettingsRightBound, kReturnPrompt, kSettingsStyle);
  } else {
    renderCharacter(gCharacterWidthToRender + kSettingsTextX, (kSettingsMarkerLineBase - step) * kLineHeight,
                    kSettingsMarker, kSettingsStyle);
  }
}

std::int32_t adjustSettings() {
  std::int32_t step = kFirstCaptureStep;
  SDL_Event event;

  SDL_SetRenderDrawColor(gRenderer, 0, 0, 0, 255);
  while (step != kCaptureDoneStep) {
    SDL_RenderClear(gRenderer);
    renderSettings(step);
    presentFrame();
    SDL_Delay(kSettingsPassDelay);

    // Every pending event is taken, also after the final key: a close request behind it still
    // ends the program without saving.
    while (SDL_PollEvent(&event)) {
      if (event.type == SDL_QUIT) return 0;
      if (event.type == SDL_KEYDOWN) step = captureKey(step, event.key.keysym.sym);
    }
  }
  return saveSettings();
}
