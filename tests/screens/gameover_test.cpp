// The game-over screen: the one-second pause that drops keys and a close request, the key or
// close that ends it afterwards, and its two lines on the canvas.
#include "screens/gameover.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/platform.h"
#include "game/play.h"
#include "screens/screen_checks.h"
#include "support/harness.h"
#include "text/font.h"
#include "text/text.h"

namespace {

using screen_checks::LaterEvent;
using testing_support::canvas;

class GameOverScreen : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(testing_support::useSoftwareRendererWithMedia(), 0); }
  static void TearDownTestSuite() { testing_support::releaseSoftwareRenderer(); }

  void SetUp() override {
    gCharacterWidthToRender = 10;
    gCharacterHeightToRender = 15;
    gScore = 0;
    testing_support::drainEvents();
    testing_support::fillCanvas(40, 90, 160);  // the game's last frame, never shown
  }
  void TearDown() override { testing_support::drainEvents(); }
};

// Both lines as the screen draws them, with the score's digits.
::testing::AssertionResult linesShown(const screen_checks::FontSheet& font, const SDL_Surface* shown,
                                      const char* scoreLine) {
  auto greeting = font.textAt(shown, 350, 450, "Happy Birthday, you filthy animal!", 2);
  if (!greeting) return greeting;
  return font.textAt(shown, 450, 475, scoreLine, 2);
}

TEST_F(GameOverScreen, KeysAndCloseDuringThePauseAreDropped) {
  static const LaterEvent kEarlyKey = {SDL_KEYDOWN, SDLK_RETURN};
  static const LaterEvent kLateKey = {SDL_KEYDOWN, SDLK_x};
  testing_support::pushKeyDown(SDLK_RCTRL);  // still held from the game
  testing_support::pushQuit();
  screen_checks::pushLater(500, kEarlyKey);
  screen_checks::pushLater(1200, kLateKey);
  const Uint32 start = SDL_GetTicks();
  EXPECT_EQ(displayGameOverScreen(), kGameOverKeyPressed);
  EXPECT_GE(SDL_GetTicks() - start, 1200u);
  EXPECT_EQ(gDebugTextIndex, 0);
}

TEST_F(GameOverScreen, CloseAfterThePauseReturnsQuit) {
  static const LaterEvent kClose = {SDL_QUIT, 0};
  screen_checks::pushLater(1200, kClose);
  EXPECT_EQ(displayGameOverScreen(), kGameOverQuit);
}

TEST_F(GameOverScreen, KeyReleasesDoNotEndIt) {
  static const LaterEvent kRelease = {SDL_KEYUP, SDLK_RCTRL};
  static const LaterEvent kPress = {SDL_KEYDOWN, SDLK_F12};
  screen_checks::pushLater(1100, kRelease);
  screen_checks::pushLater(1400, kPress);
  const Uint32 start = SDL_GetTicks();
  EXPECT_EQ(displayGameOverScreen(), kGameOverKeyPressed);
  EXPECT_GE(SDL_GetTicks() - start, 1400u);
}

// Copies the canvas while the screen is pausing.
struct Snapshot {
  std::vector<std::uint8_t> pixels;
  SDL_Surface* surface = nullptr;
};

Uint32 takeSnapshot(Uint32, void* param) {
  auto* snapshot = static_cast<Snapshot*>(param);
  const SDL_Surface* shown = canvas();
  snapshot->pixels.assign(static_cast<const std::uint8_t*>(shown->pixels),
                          static_cast<const std::uint8_t*>(shown->pixels) + shown->pitch * shown->h);
  return 0;
}

TEST_F(GameOverScreen, FirstFrameIsShownThroughThePauseWithScoreZero) {
  screen_checks::FontSheet font;
  ASSERT_TRUE(font.loaded());
  static const LaterEvent kPress = {SDL_KEYDOWN, SDLK_a};
  Snapshot duringPause;
  SDL_AddTimer(500, &takeSnapshot, &duringPause);
  screen_checks::pushLater(1200, kPress);
  EXPECT_EQ(displayGameOverScreen(), kGameOverKeyPressed);

  ASSERT_FALSE(duringPause.pixels.empty());
  SDL_Surface* paused = SDL_CreateRGBSurfaceWithFormatFrom(duringPause.pixels.data(), kWindowWidth, kWindowHeight, 32,
                                                           canvas()->pitch, SDL_PIXELFORMAT_ARGB8888);
  EXPECT_TRUE(linesShown(font, paused, "Your score: 0"));
  EXPECT_TRUE(screen_checks::areaIs(paused, {0, 0, kWindowWidth, 450}, {0, 0, 0, 255}));
  SDL_FreeSurface(paused);

  EXPECT_TRUE(linesShown(font, canvas(), "Your score: 0"));
  EXPECT_TRUE(screen_checks::areaIs(canvas(), {0, 0, kWindowWidth, 450}, {0, 0, 0, 255}));
  EXPECT_TRUE(screen_checks::areaIs(canvas(), {0, 490, kWindowWidth, 110}, {0, 0, 0, 255}));
}

TEST_F(GameOverScreen, ShowsTheFinalScore) {
  screen_checks::FontSheet font;
  ASSERT_TRUE(font.loaded());
  static const LaterEvent kPress = {SDL_KEYDOWN, SDLK_SPACE};
  gScore = 1234567;
  screen_checks::pushLater(1100, kPress);
  EXPECT_EQ(displayGameOverScreen(), kGameOverKeyPressed);
  EXPECT_TRUE(linesShown(font, canvas(), "Your score: 1234567"));
  EXPECT_EQ(gDebugTextIndex, 0);
}

}  // namespace
