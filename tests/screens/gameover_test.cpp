// The game-over screen: the one-second pause that drops keys and a close request, the key or
// close that ends it afterwards, its two lines and the best score below them on the canvas, and
// with --board the game handed to the board thread and the board's answer drawn once it arrives.
#include "screens/gameover.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "app/board_mailbox.h"
#include "app/platform.h"
#include "app/scores.h"
#include "game/play.h"
#include "game/replay.h"
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
    gBestScoreCount = 0;
    testing_support::drainEvents();
    testing_support::fillCanvas(40, 90, 160);  // the game's last frame, never shown
  }
  void TearDown() override { testing_support::drainEvents(); }
};

// The three lines as the screen draws them, with the scores' digits.
::testing::AssertionResult linesShown(const screen_checks::FontSheet& font, const SDL_Surface* shown,
                                      const char* scoreLine, const char* bestLine) {
  auto greeting = font.textAt(shown, 350, 450, "Happy Birthday, you filthy animal!", 2);
  if (!greeting) return greeting;
  auto score = font.textAt(shown, 450, 475, scoreLine, 2);
  if (!score) return score;
  return font.textAt(shown, 450, 500, bestLine, 2);
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
  EXPECT_TRUE(linesShown(font, paused, "Your score: 0", "Best score: 0"));
  EXPECT_TRUE(screen_checks::areaIs(paused, {0, 0, kWindowWidth, 450}, {0, 0, 0, 255}));

  EXPECT_TRUE(linesShown(font, canvas(), "Your score: 0", "Best score: 0"));
  EXPECT_TRUE(screen_checks::areaIs(canvas(), {0, 0, kWindowWidth, 450}, {0, 0, 0, 255}));
  EXPECT_TRUE(screen_checks::areaIs(canvas(), {0, 490, 450, 25}, {0, 0, 0, 255}));
  EXPECT_TRUE(screen_checks::areaIs(canvas(), {0, 515, kWindowWidth, 85}, {0, 0, 0, 255}));
}

// The game is recorded once, saved before the first frame, and the best line counts it.
TEST_F(GameOverScreen, ShowsTheFinalScoreAndTheBestIncludingIt) {
  screen_checks::FontSheet font;
  ASSERT_TRUE(font.loaded());
  struct Case {
    std::int32_t score;
    const char* scoreLine;
    const char* bestLine;
  };
  for (const Case& game : {Case{1234567, "Your score: 1234567", "Best score: 1234567"},
                           Case{5, "Your score: 5", "Best score: 1234567"}}) {
    SCOPED_TRACE(game.scoreLine);
    const std::int32_t countBefore = gBestScoreCount;
    gScore = game.score;
    screen_checks::QueueFeeder afterPause({{SDL_KEYDOWN, SDLK_SPACE}}, canvas());
    afterPause.start();
    EXPECT_EQ(displayGameOverScreen(), kGameOverKeyPressed);
    ASSERT_NE(afterPause.lastCopy(), nullptr);
    EXPECT_TRUE(linesShown(font, afterPause.lastCopy(), game.scoreLine, game.bestLine));
    EXPECT_TRUE(linesShown(font, canvas(), game.scoreLine, game.bestLine));
    EXPECT_EQ(gDebugTextIndex, 0);
    EXPECT_EQ(gBestScoreCount, countBefore + 1);
    gBestScoreCount = 0;
    loadScores();
    EXPECT_EQ(gBestScoreCount, countBefore + 1);
  }
}

// The board thread's side played by the test: the game ended on a ticket arrives, marked so, with
// a ticket request, and the answer, posted during the pause, is drawn under the best score; a late
// answer for an earlier game is not.
TEST_F(GameOverScreen, TheBoardsAnswerForThisGameIsDrawnOnceItArrives) {
  screen_checks::FontSheet font;
  ASSERT_TRUE(font.loaded());
  gScore = 40;
  startRecording(std::vector<std::uint8_t>(kTicketSize, 7));
  openBoardMailbox(true);
  std::vector<BoardJob> taken;
  std::thread board([&taken] {
    BoardJob job;
    while (takeBoardJob(job)) {
      taken.push_back(job);
      if (job.ticket) continue;
      postBoardLine(job.game, "On the board: rank 12");
      postBoardLine(job.game - 1, "On the board: rank 99");
    }
  });
  screen_checks::QueueFeeder afterPause({{SDL_KEYDOWN, SDLK_SPACE}}, canvas());
  afterPause.start();
  EXPECT_EQ(displayGameOverScreen(), kGameOverKeyPressed);
  EXPECT_TRUE(linesShown(font, canvas(), "Your score: 40", "Best score: 40"));
  EXPECT_TRUE(font.textAt(canvas(), kGameOverBoardX, kGameOverBoardY, "On the board: rank 12", 2));
  closeBoardMailbox();
  board.join();
  EXPECT_EQ(boardLine()[0], '\0');
  // The ticket asked for at start-up, then this game's ticket and the game itself.
  ASSERT_EQ(taken.size(), 3u);
  EXPECT_TRUE(taken[0].ticket && taken[1].ticket);
  EXPECT_FALSE(taken[2].ticket);
  EXPECT_TRUE(taken[2].onTicket);
  EXPECT_EQ(taken[2].replay, encodeReplay(gRecording));
}

}  // namespace
