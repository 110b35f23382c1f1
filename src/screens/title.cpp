// The title menu: the title picture, a white frame around the selected entry and the fullscreen hint.
#include "screens/title.h"

#include <SDL.h>

#include "app/display.h"
#include "app/platform.h"
#include "app/settings.h"
#include "text/text.h"

namespace {

constexpr std::int32_t kEntryCount = 3;
constexpr std::int32_t kHintLeftMargin = 2;     // pixels
constexpr std::int32_t kHintRightBound = 800;   // pixels
constexpr std::int32_t kHintStyle = 2;

// Moving up from the top entry (value 1) wraps to the bottom one (value 0), and back.
std::int32_t entryAbove(std::int32_t selected) { return selected == 0 ? kEntryCount - 1 : selected - 1; }
std::int32_t entryBelow(std::int32_t selected) { return selected == kEntryCount - 1 ? 0 : selected + 1; }

void renderTitle(std::int32_t selected) {
  static const SDL_Rect PictureRect = {0, 0, kWindowWidth, kWindowHeight};
  const SDL_Rect FrameRect = {kTitleFrameX, kTitleFrameRowY[selected], kTitleFrameWidth, kTitleFrameHeight};

  SDL_RenderClear(gRenderer);
  SDL_RenderCopy(gRenderer, gTexture[kTextureTitle], &PictureRect, &PictureRect);
  SDL_RenderDrawRect(gRenderer, &FrameRect);
  gTextX = kTitleHintX;
  gTextY = kTitleHintY;
  renderText(kHintLeftMargin, kHintRightBound, kTitleHintLabel, kHintStyle);
  // Looked up every pass, so a changed binding shows at once.
  renderText(kHintLeftMargin, kHintRightBound, SDL_GetKeyName(gKeycodeToggleFullscreen), kHintStyle);
}

}  // namespace

std::int32_t displayTitleScreen() {
  std::int32_t selected = kTitlePlay;
  SDL_Event event;

  // White is both the clear colour and the colour of the frame for the whole visit.
  SDL_SetRenderDrawColor(gRenderer, 255, 255, 255, 255);
  for (;;) {
    renderTitle(selected);
    presentFrame();

    while (SDL_PollEvent(&event)) {
      if (event.type == SDL_QUIT) return kTitleQuit;
      if (event.type != SDL_KEYDOWN) continue;
      const SDL_Keycode key = event.key.keysym.sym;
      // The fullscreen key is tested apart: a key bound to a menu action as well does both.
      if (key == gKeycodeToggleFullscreen) toggleFullscreen();
      if (key == gKeycodeUp) {
        playSound(kSoundMenu);
        selected = entryAbove(selected);
      } else if (key == gKeycodeDown) {
        playSound(kSoundMenu);
        selected = entryBelow(selected);
      } else if (key == gKeycodeConfirm) {
        playSound(kSoundMenu);
        return selected;
      }
    }
    SDL_Delay(kTitlePassDelay);
  }
}
