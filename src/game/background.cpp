// The endless sky: two sheets joined into one band of 3840 columns, scrolled one column per
// frame and drawn scaled by two.
#include "game/background.h"

#include <SDL.h>

#include "app/platform.h"

namespace {

constexpr std::int32_t kScale = 2;  // window pixels per sheet pixel
constexpr std::int32_t kFirstSeamStart = kBackgroundSheetWidth - kBackgroundViewWidth;       // 1520
constexpr std::int32_t kSecondSeamStart = 2 * kBackgroundSheetWidth - kBackgroundViewWidth;  // 3440

std::int32_t Position = 0;  // the band column the next frame shows

// Draws a view that spans a seam: the tail of `left` from sheet column `column`, then the head
// of `right`. The two pieces are adjacent and together cover the window.
void renderAcrossSeam(SDL_Texture* left, SDL_Texture* right, std::int32_t column, SDL_Rect& SrcRect1,
                      SDL_Rect& DstRect) {
  SrcRect1.x = column;
  SrcRect1.w = kBackgroundSheetWidth - column;
  DstRect.x = 0;
  DstRect.w = kScale * SrcRect1.w;
  SDL_RenderCopy(gRenderer, left, &SrcRect1, &DstRect);
  DstRect.x = DstRect.w;
  DstRect.w = kWindowWidth - DstRect.w;
  SrcRect1.x = 0;
  SrcRect1.w = kBackgroundViewWidth - SrcRect1.w;
  SDL_RenderCopy(gRenderer, right, &SrcRect1, &DstRect);
}

// The view from band column i.
void drawSkyAt(std::int32_t i) {
  static SDL_Rect SrcRect0 = {0, 0, kBackgroundViewWidth, kBackgroundViewHeight};
  static SDL_Rect SrcRect1 = {0, 0, kBackgroundViewWidth, kBackgroundViewHeight};
  static SDL_Rect DstRect = {0, 0, kWindowWidth, kWindowHeight};

  SDL_Texture* sheet0 = gTexture[kTextureBackground0];
  SDL_Texture* sheet1 = gTexture[kTextureBackground1];
  if (i < kFirstSeamStart) {
    SrcRect0.x = i;
    SDL_RenderCopy(gRenderer, sheet0, &SrcRect0, nullptr);
  } else if (i < kBackgroundSheetWidth) {
    renderAcrossSeam(sheet0, sheet1, i, SrcRect1, DstRect);
  } else if (i < kSecondSeamStart) {
    SrcRect0.x = i - kBackgroundSheetWidth;
    SDL_RenderCopy(gRenderer, sheet1, &SrcRect0, nullptr);
  } else {
    renderAcrossSeam(sheet1, sheet0, i - kBackgroundSheetWidth, SrcRect1, DstRect);
  }
}

}  // namespace

// Position runs through 3841 positions, 0 to 3840; 3840 shows the same picture as 0, so the
// sky holds still for one frame at the wrap.
void renderBackground() {
  drawSkyAt(Position);
  Position += 1;
  if (Position > kBackgroundLastPosition) Position = 0;
}

void redrawBackground() { drawSkyAt(Position == 0 ? kBackgroundLastPosition : Position - 1); }
