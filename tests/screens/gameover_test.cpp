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
  static const LaterEvent kDuringPause = {SDL_KEYDOWN, SDLK_RETURN};
  testing_support::pushKeyDown(SDLK_RCTRL);  // still held from the game
  testing_support::pushQuit();
  // Pushed while the screen sleeps through its pause, which lasts at least a second.
  screen_checks::pushLater(500, kDuringPause);
  screen_checks::QueueFeeder afterPause({{SDL_KEYDOWN, SDLK_x}});
  afterPause.start();
  const Uint32 start = SDL_GetTicks();
  EXPECT_EQ(displayGameOverScreen(), kGameOverKeyPressed);
  EXPECT_GE(SDL_GetTicks() - start, static_cast<Uint32>(kGameOverPause));
  EXPECT_EQ(gDebugTextIndex, 0);
}

TEST_F(GameOverScreen, CloseAfterThePauseReturnsQuit) {
  screen_checks::QueueFeeder afterPause({{SDL_QUIT, 0}});
  afterPause.start();
  EXPECT_EQ(displayGameOverScreen(), kGameOverQuit);
}

// Key releases after the pause are ignored: the close request behind them ends the screen.
TEST_F(GameOverScreen, KeyReleasesDoNotEndIt) {
  screen_checks::QueueFeeder afterPause({{SDL_KEYUP, SDLK_RCTRL}, {SDL_KEYUP, SDLK_UP}, {SDL_QUIT, 0}});
  afterPause.start();
  EXPECT_EQ(displayGameOverScreen(), kGameOverQuit);
}

TEST_F(GameOverScreen, FirstFrameIsShownThroughThePauseWithScoreZero) {
  screen_checks::FontSheet font;
  ASSERT_TRUE(font.loaded());
  screen_checks::QueueFeeder afterPause({{SDL_KEYDOWN, SDLK_a}}, canvas());
  afterPause.start();
  EXPECT_EQ(displayGameOverScreen(), kGameOverKeyPressed);

  const SDL_Surface* paused = afterPause.lastCopy();
  ASSERT_NE(paused, nullptr);
  EXPECT_TRUE(linesShown(font, paused, "Your score: 0"));
  EXPECT_TRUE(screen_checks::areaIs(paused, {0, 0, kWindowWidth, 450}, {0, 0, 0, 255}));

  EXPECT_TRUE(linesShown(font, canvas(), "Your score: 0"));
  EXPECT_TRUE(screen_checks::areaIs(canvas(), {0, 0, kWindowWidth, 450}, {0, 0, 0, 255}));
  EXPECT_TRUE(screen_checks::areaIs(canvas(), {0, 490, kWindowWidth, 110}, {0, 0, 0, 255}));
}

TEST_F(GameOverScreen, ShowsTheFinalScore) {
  screen_checks::FontSheet font;
  ASSERT_TRUE(font.loaded());
  gScore = 1234567;
  screen_checks::QueueFeeder afterPause({{SDL_KEYDOWN, SDLK_SPACE}});
  afterPause.start();
  EXPECT_EQ(displayGameOverScreen(), kGameOverKeyPressed);
  EXPECT_TRUE(linesShown(font, canvas(), "Your score: 1234567"));
  EXPECT_EQ(gDebugTextIndex, 0);
}

}  // namespace
