// The play loop driven frame by frame through real events: keys, pace, game over, pause, tickets.
#include "game/play.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "app/pause.h"
#include "app/platform.h"
#include "app/settings.h"
#include "app/ticket.h"
#include "game/enemies.h"
#include "game/player.h"
#include "game/projectiles.h"
#include "game/random.h"
#include "game/replay.h"
#include "screens/gameover.h"
#include "support/frame_driver.h"
#include "support/harness.h"

namespace {

using testing_support::FrameDriver;
using testing_support::pushKeyDown;
using testing_support::pushKeyUp;
using testing_support::textAt;
using Values = std::vector<std::int32_t>;

class PlayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::useSoftwareRenderer();
    testing_support::resetToStartUpState();
    testing_support::useCoordinateFont();
    seedGameRandom(1234);
  }
  void TearDown() override {
    testing_support::drainEvents();
    testing_support::releaseSoftwareRenderer();
  }
};

// What is pending at the start is dropped; keys are held from press to release, repeats change
// nothing; the frame that takes the last hit point ends the game.
TEST_F(PlayTest, AGameStartsAfreshFollowsTheHeldKeysAndEndsAtTheLastHitPoint) {
  gKeycodeAttack = SDLK_LSHIFT;
  gScore = 77;
  gNumberOfEnemies = 12;
  gPlayerHP = -3;
  pushKeyDown(gKeycodeAttack);
  pushKeyDown(gKeycodeRight);
  testing_support::pushQuit();
  const std::int32_t fullscreen = gIsFullscreen;
  Values xs, ys;
  Uint32 ticks[2] = {};
  FrameDriver driver([&](std::int32_t frame) {
    if (frame == 50) testing_support::pushQuit();  // only if the game did not end
    if (gPlayerHP < 1) return pushKeyDown(SDLK_SPACE);  // the game-over screen
    if (frame >= 2) xs.push_back(gPlayerX), ys.push_back(gPlayerY);
    if (frame == 1 || frame == 10) ticks[frame / 10] = SDL_GetTicks();
    if (frame == 2) {  // the first picture
      EXPECT_EQ(Values({gScore, gNumberOfEnemies, gPlayerHP}), Values({0, 0, 3}));
      EXPECT_EQ(textAt(0, 0, 12, 2), "Score: 0    ");
    }
    if (frame == 8) gScore = 42;
    if (frame == 9) { EXPECT_EQ(textAt(0, 0, 12, 2), "Score: 42   "); }
    switch (frame) {
      case 2: pushKeyDown(gKeycodeRight); break;
      case 3: pushKeyDown(gKeycodeLeft); break;
      case 4: pushKeyUp(gKeycodeRight); break;
      case 5: pushKeyDown(gKeycodeDown); break;
      case 6: pushKeyDown(gKeycodeLeft, true), pushKeyDown(gKeycodeToggleFullscreen); break;
      case 7:
        pushKeyDown(gKeycodeToggleFullscreen, true), pushKeyUp(gKeycodeToggleFullscreen), pushKeyUp(gKeycodeDown);
        break;
      case 8: pushKeyUp(gKeycodeLeft); break;
      case 9: pushKeyDown(gKeycodeAttack); break;
      case 10:
        for (std::int32_t shot = 0; shot < 3; ++shot) {  // inside the bird's box
          gEnemyProjectileList2[gNumberOfEnemyProjectiles2++] = {gPlayerX + 300 + 100 * shot, gPlayerY + 800, 0, 0};
        }
        break;
    }
  });
  EXPECT_EQ(play(), kGameOverKeyPressed);
  EXPECT_EQ(xs, Values({600, 720, 720, 600, 516, 432, 312, 312, 312}));
  EXPECT_EQ(ys, Values({2000, 2000, 2000, 2000, 2084, 2168, 2168, 2168, 2168}));
  const std::uint8_t r = kActionRight, l = kActionLeft, d = kActionDown, a = kActionAttack;
  EXPECT_EQ(gRecording.actions, std::vector<std::uint8_t>({0, r, r | l, l, l | d, l | d, l, 0, a, a}));
  EXPECT_EQ(Values({gPlayerHP, gNumberOfEnemyProjectiles2, gPlayerShots}), Values({0, 0, kShotsBase + 1}));
  EXPECT_GE(ticks[1] - ticks[0], 9u * 25u - 5u) << "frames are paced to 25 ms";
  EXPECT_EQ(gIsFullscreen, 1 - fullscreen);
  if (gIsFullscreen != fullscreen) toggleFullscreen();
}

// A pause stops the game between two frames and lets go of the keys; a give-up ends the game on
// the paused picture's score, before the shot about to land on a butterfly does.
TEST_F(PlayTest, APauseLetsGoOfTheHeldKeysAndAGiveUpEndsTheGameAtOnce) {
  const std::string band = "Resume: P, Escape or Pause    Give up: Backspace";
  std::int32_t pauses = 0, shotsAtPause = -1, scoreAtGiveUp = -1;
  bool answered = false;  // the current pause has had its key
  FrameDriver driver([&](std::int32_t pass) {
    if (gPlayerHP < 1) return pushKeyDown(SDLK_SPACE);  // the game-over screen
    if (pass < 2 || textAt(160, 305, 48, 2) != band) {
      answered = false;
      if (pass == 1) pushKeyDown(gKeycodeAttack);
      if (pass == 90 || pass == 130) pushKeyDown(SDLK_p);  // shots in flight at the check of frame 100
      return;
    }
    if (std::exchange(answered, true)) return;
    if (++pauses == 1) {
      shotsAtPause = gPlayerShots;
      return pushKeyDown(SDLK_ESCAPE);
    }
    gPlayerProjectileList[gNumberOfPlayerProjectiles++] = {3000, 2000, 100, 0};
    std::int32_t* butterfly = gEnemyList[gNumberOfEnemies++];
    butterfly[kEnemyX] = 3100;
    butterfly[kEnemyY] = 2000;
    butterfly[kEnemyPathIndex] = 0;
    scoreAtGiveUp = gScore;
    pushKeyDown(gKeycodeCancel);
  });
  EXPECT_EQ(play(), kGameOverKeyPressed);
  EXPECT_EQ(Values({pauses, gPlayerShots, gScore}), Values({2, shotsAtPause, scoreAtGiveUp}));
  EXPECT_GT(shotsAtPause, kShotsBase + 1);
  const std::vector<std::uint8_t> replay = encodeReplay(gRecording);  // no frame went by unrecorded
  ReplayVerdict verdict;
  verifyReplay(replay.data(), replay.size(), verdict);
  EXPECT_EQ(verdict.status, 0) << verdict.message;
}

// Only the pause keys left unbound pause and resume (with none left, confirm resumes), and the
// band names them over the frame dimmed to half; a close request behind an answer still closes.
TEST_F(PlayTest, TheKeysThatResumeAPauseAreThePauseKeysLeftUnbound) {
  const char* const resumeKeyNames[] = {"P, Escape or Pause", "Escape or Pause", "Pause", "Return"};
  SDL_Keycode* const actions[] = {&gKeycodeUp, &gKeycodeAttack, &gKeycodeToggleFullscreen};
  for (std::int32_t bound = 0; bound <= 3; ++bound) {
    if (bound > 0) *actions[bound - 1] = kPauseKeys[bound - 1];
    const std::string keysLine = std::string("Resume: ") + resumeKeyNames[bound] + "    Give up: Backspace";
    for (const SDL_Keycode key : {SDLK_p, SDLK_ESCAPE, SDLK_PAUSE, SDLK_RETURN, SDLK_SPACE}) {
      const bool pauses = std::find(kPauseKeys + bound, std::end(kPauseKeys), key) != std::end(kPauseKeys);
      PauseRequest request = {false, false};
      notePauseEvent(request, testing_support::keyEvent(SDL_KEYDOWN, key, false));
      EXPECT_EQ(request.asked, pauses) << keysLine << ", " << SDL_GetKeyName(key);
      pushKeyDown(key);
      pushKeyDown(gKeycodeCancel);
      EXPECT_EQ(runPauseScreen([] { testing_support::fillCanvas(254, 100, 2); }),
                pauses || (bound == 3 && key == SDLK_RETURN) ? PauseAnswer::kResume : PauseAnswer::kGiveUp)
          << keysLine << ", " << SDL_GetKeyName(key);
      const auto length = static_cast<std::int32_t>(keysLine.size());
      EXPECT_EQ(textAt((800 - 10 * length) / 2, 305, length, 2), keysLine);
      const SDL_Color dimmed = testing_support::pixelAt(799, 599);
      EXPECT_TRUE(std::abs(dimmed.r - 254 / 2) <= 1 && std::abs(dimmed.g - 100 / 2) <= 1) << +dimmed.r << ", " << +dimmed.g;
    }
  }
  pushKeyDown(SDLK_RETURN);
  testing_support::pushQuit();
  EXPECT_EQ(runPauseScreen([] {}), PauseAnswer::kQuit);
}

// A game on a ticket plays from the ticket's seed and is recorded with it; the calendar's sequence
// waits, so that the game after draws on from where it was.
TEST_F(PlayTest, AGameOnATicketLeavesTheCalendarsSequenceToTheNextGame) {
  std::vector<std::uint8_t> ticket(kTicketSize, 0x5A);
  ticket[0] = 0x2A;  // seed 0x5A5A5A2A
  for (std::int32_t draw = 0; draw < 37; ++draw) gameRandom();
  const std::int32_t next = gameRandom();
  resumeGameRandom(1234, 37);
  holdBoardTicket(ticket.data(), ticket.size());
  for (const bool ticketed : {true, false}) {
    FrameDriver driver([](std::int32_t frame) {
      if (frame == 1) pushKeyDown(gKeycodeAttack);
      if (frame == 130) testing_support::pushQuit();
    });
    EXPECT_EQ(play(), 0);
    EXPECT_EQ(std::vector<std::uint32_t>({gRecording.formatVersion, gRecording.seed, gRecording.draws}),
              ticketed ? std::vector<std::uint32_t>({2, 0x5A5A5A2A, 0}) : std::vector<std::uint32_t>({1, 1234, 37}));
    EXPECT_EQ(gRecording.ticket, ticketed ? ticket : std::vector<std::uint8_t>{});
    if (!ticketed) continue;
    EXPECT_GT(gNumberOfEnemies, 0) << "butterflies came";
    EXPECT_EQ(std::vector<std::uint32_t>({gRandomSeed, gRandomDraws}), std::vector<std::uint32_t>({1234, 37}));
    EXPECT_EQ(gameRandom(), next);
    gRecording.score = gScore;  // given up where it was quit
    const std::vector<std::uint8_t> replay = encodeReplay(gRecording);
    ReplayVerdict verdict;  // played from the ticket's seed, as the game was
    verifyReplay(replay.data(), replay.size(), verdict);
    EXPECT_EQ(verdict.status, 0) << verdict.message;
    resumeGameRandom(1234, 37);
  }
}

}  // namespace
