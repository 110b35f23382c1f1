// The title menu: selection moves and wrap-around, the result of each entry, the menu sound,
// the fullscreen key, and the frame and hint line on the canvas.
#include "screens/title.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/platform.h"
#include "app/settings.h"
#include "screens/screen_checks.h"
#include "support/harness.h"
#include "text/font.h"

namespace {

using testing_support::canvas;
using testing_support::pushKeyDown;

constexpr SDL_Color kWhite = {255, 255, 255, 255};

class TitleScreen : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(testing_support::useSoftwareRendererWithMedia(), 0); }
  static void TearDownTestSuite() { testing_support::releaseSoftwareRenderer(); }

  void SetUp() override {
    testing_support::resetToStartUpState();
    gIsFullscreen = 0;
    sounds.reset();
  }
  void TearDown() override {
    testing_support::resetToStartUpState();
    gIsFullscreen = 0;
  }

  screen_checks::SoundCounter sounds;
};

struct MenuCase {
  std::vector<SDL_Keycode> moves;
  std::int32_t result;
};

// Every move of the state table, each followed by Confirm: the result names the entry reached.
TEST_F(TitleScreen, MovesWrapAroundAndConfirmReturnsTheSelectedEntry) {
  const std::vector<MenuCase> cases = {
      {{}, kTitlePlay},
      {{SDLK_UP}, kTitleQuit},                           // top, Up: wraps to the bottom
      {{SDLK_DOWN}, kTitleKeyConfiguration},             // top, Down
      {{SDLK_DOWN, SDLK_UP}, kTitlePlay},                // middle, Up
      {{SDLK_DOWN, SDLK_DOWN}, kTitleQuit},              // middle, Down
      {{SDLK_UP, SDLK_UP}, kTitleKeyConfiguration},      // bottom, Up
      {{SDLK_UP, SDLK_DOWN}, kTitlePlay},                // bottom, Down: wraps to the top
      {{SDLK_DOWN, SDLK_DOWN, SDLK_DOWN}, kTitlePlay},   // once round
  };
  for (const MenuCase& menuCase : cases) {
    SCOPED_TRACE(menuCase.moves.size());
    sounds.reset();
    for (const SDL_Keycode key : menuCase.moves) pushKeyDown(key);
    pushKeyDown(SDLK_RETURN);
    EXPECT_EQ(displayTitleScreen(), menuCase.result);
    // One sound per move and one for the confirmation.
    EXPECT_EQ(sounds.started(), static_cast<std::int32_t>(menuCase.moves.size()) + 1);
  }
}

TEST_F(TitleScreen, RepeatedKeyDownsAndOtherEventsCount) {
  pushKeyDown(SDLK_DOWN);
  pushKeyDown(SDLK_DOWN, true);  // auto-repeat moves too
  testing_support::pushKeyUp(SDLK_DOWN);
  pushKeyDown(SDLK_a);           // not bound in the menu
  pushKeyDown(SDLK_BACKSPACE);   // the cancel key does nothing here
  pushKeyDown(SDLK_RETURN);
  EXPECT_EQ(displayTitleScreen(), kTitleQuit);
  EXPECT_EQ(sounds.started(), 3);
}

TEST_F(TitleScreen, CloseReturnsQuitWithoutASound) {
  pushKeyDown(SDLK_DOWN);
  testing_support::pushQuit();
  pushKeyDown(SDLK_RETURN);  // stays for whatever runs next
  EXPECT_EQ(displayTitleScreen(), kTitleQuit);
  EXPECT_EQ(sounds.started(), 1);  // the move's sound only
  SDL_Event left;
  ASSERT_EQ(SDL_PollEvent(&left), 1);
  EXPECT_EQ(left.type, static_cast<Uint32>(SDL_KEYDOWN));

  sounds.reset();
  testing_support::pushQuit();
  EXPECT_EQ(displayTitleScreen(), kTitleQuit);
  EXPECT_EQ(sounds.started(), 0);
}

TEST_F(TitleScreen, ConfirmUsesTheCurrentBindings) {
  gKeycodeUp = SDLK_w;
  gKeycodeDown = SDLK_s;
  gKeycodeConfirm = SDLK_SPACE;
  pushKeyDown(SDLK_UP);      // the old bindings do nothing
  pushKeyDown(SDLK_RETURN);
  pushKeyDown(SDLK_s);
  pushKeyDown(SDLK_SPACE);
  EXPECT_EQ(displayTitleScreen(), kTitleKeyConfiguration);
  EXPECT_EQ(sounds.started(), 2);
}

TEST_F(TitleScreen, FullscreenKeyTogglesAndLeavesTheSelection) {
  pushKeyDown(SDLK_F4);
  pushKeyDown(SDLK_RETURN);
  EXPECT_EQ(displayTitleScreen(), kTitlePlay);
  EXPECT_EQ(gIsFullscreen, 1);
  EXPECT_EQ(sounds.started(), 1);

  pushKeyDown(SDLK_F4);
  pushKeyDown(SDLK_F4);
  pushKeyDown(SDLK_F4);
  pushKeyDown(SDLK_RETURN);
  EXPECT_EQ(displayTitleScreen(), kTitlePlay);
  EXPECT_EQ(gIsFullscreen, 0);
}

TEST_F(TitleScreen, KeyBoundToFullscreenAndUpDoesBoth) {
  gKeycodeToggleFullscreen = SDLK_UP;
  pushKeyDown(SDLK_UP);
  pushKeyDown(SDLK_RETURN);
  EXPECT_EQ(displayTitleScreen(), kTitleQuit);  // Up from the top entry
  EXPECT_EQ(gIsFullscreen, 1);
  EXPECT_EQ(sounds.started(), 2);

  gKeycodeToggleFullscreen = SDLK_RETURN;
  pushKeyDown(SDLK_RETURN);
  EXPECT_EQ(displayTitleScreen(), kTitlePlay);
  EXPECT_EQ(gIsFullscreen, 0);
}

// Runs the screen with the moves handled in its first pass and a close request arriving only
// after that, so that the canvas holds a frame drawn after the moves.
void showAfterMoves(std::int32_t downMoves) {
  for (std::int32_t i = 0; i < downMoves; ++i) pushKeyDown(SDLK_DOWN);
  screen_checks::QueueFeeder closeLater({{SDL_QUIT, 0}});
  closeLater.start();
  EXPECT_EQ(displayTitleScreen(), kTitleQuit);
}

bool frameOutlineAt(std::int32_t y) {
  const SDL_Surface* shown = canvas();
  const std::int32_t right = kTitleFrameX + kTitleFrameWidth - 1;
  const std::int32_t bottom = y + kTitleFrameHeight - 1;
  return screen_checks::areaIs(shown, {kTitleFrameX, y, kTitleFrameWidth, 1}, kWhite) &&
         screen_checks::areaIs(shown, {kTitleFrameX, bottom, kTitleFrameWidth, 1}, kWhite) &&
         screen_checks::areaIs(shown, {kTitleFrameX, y, 1, kTitleFrameHeight}, kWhite) &&
         screen_checks::areaIs(shown, {right, y, 1, kTitleFrameHeight}, kWhite);
}

// Away from the frame and the hint line, the canvas shows the picture itself (its transparent
// magenta, if any, over the white clear colour).
bool pictureShownAlong(const SDL_Surface* picture, std::int32_t y) {
  for (std::int32_t x = kTitleFrameX; x < kTitleFrameX + kTitleFrameWidth; ++x) {
    SDL_Color expected = screen_checks::surfacePixel(picture, x, y);
    if (screen_checks::isMagenta(expected)) expected = kWhite;
    if (!screen_checks::sameColour(expected, testing_support::pixelAt(x, y))) return false;
  }
  return true;
}

TEST_F(TitleScreen, WhiteFrameSurroundsTheSelectedEntry) {
  SDL_Surface* picture = screen_checks::loadSheet("Title.png");
  ASSERT_NE(picture, nullptr);
  struct FrameCase {
    std::int32_t downMoves;
    std::int32_t frameY;
  };
  for (const FrameCase frameCase : {FrameCase{0, 390}, FrameCase{1, 444}, FrameCase{2, 498}, FrameCase{3, 390}}) {
    SCOPED_TRACE(frameCase.downMoves);
    showAfterMoves(frameCase.downMoves);
    EXPECT_TRUE(frameOutlineAt(frameCase.frameY));
    for (const std::int32_t rowY : {390, 444, 498}) {
      if (rowY == frameCase.frameY) continue;
      // The other rows keep the picture: no outline there.
      EXPECT_TRUE(pictureShownAlong(picture, rowY));
      EXPECT_TRUE(pictureShownAlong(picture, rowY + kTitleFrameHeight - 1));
    }
  }
  SDL_FreeSurface(picture);
}

TEST_F(TitleScreen, HintLineNamesTheFullscreenKey) {
  screen_checks::FontSheet font;
  ASSERT_TRUE(font.loaded());
  showAfterMoves(0);
  EXPECT_TRUE(font.textAt(canvas(), 290, 583, "Toggle fullscreen : F4", 2));
  EXPECT_TRUE(font.textAt(canvas(), 490, 583, "F4", 2));

  // A new binding shows at once, its name starting at x 490.
  gKeycodeToggleFullscreen = SDLK_RCTRL;
  showAfterMoves(0);
  EXPECT_TRUE(font.textAt(canvas(), 290, 583, "Toggle fullscreen : Right Ctrl", 2));
  EXPECT_FALSE(font.glyphAt(canvas(), 490, 583, 'F', 2));
}

}  // namespace
