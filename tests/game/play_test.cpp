// The play loop driven frame by frame through real events: the start of a game, held keys, the
// picture, the pace, game over, the pause, and a game on a ticket.
#include "game/play.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <numeric>
#include <string>
#include <vector>

#include "app/pause.h"
#include "app/settings.h"
#include "app/ticket.h"
#include "game/enemies.h"
#include "game/player.h"
#include "game/projectiles.h"
#include "game/random.h"
#include "game/replay.h"
#include "game/sheet_checks.h"
#include "screens/gameover.h"
#include "support/frame_driver.h"
#include "text/font.h"

namespace {

using testing_support::FrameDriver;
using testing_support::pushKeyDown;
using testing_support::pushKeyUp;
using testing_support::textAt;

class PlayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::useSoftwareRenderer();
    testing_support::resetToStartUpState();
    sheet = sheets::codedGameSheets();
    testing_support::useCoordinateFont();
    seedGameRandom(1234);
  }
  void TearDown() override {
    testing_support::drainEvents();
    testing_support::releaseSoftwareRenderer();
  }
  sheets::GameSheets sheet;
};

bool shows(std::int32_t x, std::int32_t y, std::uint8_t grey) {
  return sheets::same(testing_support::pixelAt(x, y), {grey, grey, grey, 255});
}

// What is pending at the start is dropped; keys are held from press to release, repeats change
// nothing; the box goes with the first shot; the frame that takes the last hit point ends the game.
TEST_F(PlayTest, AGameStartsAfreshFollowsTheHeldKeysAndEndsAtTheLastHitPoint) {
  gKeycodeAttack = SDLK_LSHIFT;
  gScore = 77;
  gNumberOfEnemies = 12;
  gPlayerHP = -3;
  pushKeyDown(gKeycodeAttack);
  pushKeyDown(gKeycodeRight);
  testing_support::pushQuit();
  const std::int32_t fullscreen = gIsFullscreen;
  std::vector<std::int32_t> xs, ys;
  Uint32 ticks[2] = {};
  bool boxAfterTheShot = true;
  FrameDriver driver([&](std::int32_t frame) {
    if (frame == 50) testing_support::pushQuit();  // only if the game did not end
    if (gPlayerHP < 1) return pushKeyDown(SDLK_SPACE);  // the game-over screen
    if (frame >= 2) xs.push_back(gPlayerX), ys.push_back(gPlayerY);
    if (frame == 1 || frame == 10) ticks[frame / 10] = SDL_GetTicks();
    if (frame == 2) {  // the first picture
      EXPECT_EQ(std::vector<std::int32_t>({gScore, gNumberOfEnemies, gPlayerHP}), std::vector<std::int32_t>({0, 0, 3}));
      EXPECT_TRUE(shows(637, 250, 255) && shows(321, 338, 255)) << "white in the box";
      EXPECT_TRUE(shows(320, 200, 0) && shows(639, 339, 0) && shows(500, 339, 0)) << "its black outline";
      EXPECT_TRUE(sheets::drawnFrom(sheet.sky[0], {320, 125, 1, 1}, {640, 250, 1, 1}, false)) << "the sky around";
      EXPECT_TRUE(sheets::drawnFrom(sheet.sky[0], {250, 170, 1, 1}, {500, 340, 1, 1}, false));
      EXPECT_EQ(textAt(0, 0, 12, 2), "Score: 0    ");
    }
    if (frame == 8) gScore = 42;
    if (frame == 9) { EXPECT_EQ(textAt(0, 0, 12, 2), "Score: 42   "); }
    if (frame == 10) boxAfterTheShot = shows(637, 250, 255);
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
  EXPECT_EQ(xs, std::vector<std::int32_t>({600, 720, 720, 600, 516, 432, 312, 312, 312}));
  EXPECT_EQ(ys, std::vector<std::int32_t>({2000, 2000, 2000, 2000, 2084, 2168, 2168, 2168, 2168}));
  const std::uint8_t r = kActionRight, l = kActionLeft, d = kActionDown, a = kActionAttack;
  EXPECT_EQ(gRecording.actions, std::vector<std::uint8_t>({0, r, r | l, l, l | d, l | d, l, 0, a, a}));
  EXPECT_EQ(std::vector<std::int32_t>({gPlayerHP, gNumberOfEnemyProjectiles2, gPlayerShots}),
            std::vector<std::int32_t>({0, 0, kShotsBase + 1}));
  EXPECT_FALSE(boxAfterTheShot);
  EXPECT_GE(ticks[1] - ticks[0], 9u * 25u - 5u) << "frames are paced to 25 ms";
  EXPECT_EQ(gIsFullscreen, 1 - fullscreen);
  if (gIsFullscreen != fullscreen) toggleFullscreen();
}

void pushFocusChange(Uint8 change) {
  SDL_Event event{};
  event.type = SDL_WINDOWEVENT;
  event.window.event = change;
  SDL_PushEvent(&event);
}

// Two games from one seed, P bound to attack and held; only the first loses the focus for good
// (not while a fullscreen toggle settles), shows the last frame dimmed under the keys' band, drops
// P meanwhile, resumes as the other game goes on, and is given up with the paused picture's score.
TEST_F(PlayTest, APausedGameGoesOnAsIfNoTimeHadPassedAndAGiveUpEndsItAtOnce) {
  gKeycodeAttack = SDLK_p;
  std::vector<std::vector<std::int32_t>> worlds[2];
  std::vector<Uint32> lastFrame;
  std::int32_t pausedFrame = 0, scoreAtGiveUp = -1;
  Uint32 toggleTicks = 0;
  for (const std::int32_t pausing : {1, 0}) {
    seedGameRandom(99);
    std::int32_t frame = 0, gameOverCalls = 0;
    bool answered = false;  // the current pause has had its keys
    FrameDriver driver([&](std::int32_t call) {
      const auto* pixels = static_cast<const Uint32*>(testing_support::canvas()->pixels);
      if (call == 0) return;
      if (gPlayerHP < 1 && ++gameOverCalls == 3) {  // the first pass after the screen's one-second pause
        EXPECT_EQ(textAt(450, 475, 15, 2), ("Your score: " + std::to_string(scoreAtGiveUp) + "   ").substr(0, 15));
        pushKeyDown(SDLK_p);
      }
      if (gPlayerHP < 1) return;
      if (textAt(175, 305, 45, 2) == "Resume: Escape or Pause    Give up: Backspace") {
        if (answered) return;
        answered = true;
        if (pausedFrame == 0) {
          pausedFrame = frame;
          EXPECT_GE(SDL_GetTicks() - toggleTicks, kFocusSettleMilliseconds);
          for (std::size_t pixel = 0; pixel < lastFrame.size(); pixel += 7) {
            if (pixel / 800 >= 225 && pixel / 800 < 360) continue;
            for (const std::int32_t shift : {0, 8, 16}) {
              ASSERT_NEAR((pixels[pixel] >> shift) & 255, ((lastFrame[pixel] >> shift) & 255) * 127 / 255, 1);
            }
          }
          pushKeyDown(gKeycodeUp), pushKeyDown(SDLK_p), pushKeyDown(SDLK_ESCAPE);
        } else {
          // a still butterfly where a shot arrives in the next frame, which never comes
          gPlayerProjectileList[gNumberOfPlayerProjectiles++] = {3000, 2000, 100, 0};
          std::int32_t* butterfly = gEnemyList[gNumberOfEnemies++];
          butterfly[kEnemyX] = 3100;
          butterfly[kEnemyY] = 2000;
          butterfly[kEnemyPathIndex] = 0;
          scoreAtGiveUp = gScore;
          pushKeyDown(gKeycodeCancel);
        }
        return;
      }
      answered = false;
      frame += 1;
      lastFrame.assign(pixels, pixels + 800 * 600);
      if (frame == 1 || frame == 250) pushKeyDown(SDLK_p);  // pressed again after the pause
      if (frame == 100 || frame == 170) toggleTicks = SDL_GetTicks(), pushKeyDown(gKeycodeToggleFullscreen);
      if (frame == 101 || (frame == 171 && pausing == 1)) pushFocusChange(SDL_WINDOWEVENT_FOCUS_LOST);
      if (frame == 103) pushFocusChange(SDL_WINDOWEVENT_FOCUS_GAINED);
      if (pausing == 0 && frame == pausedFrame) pushKeyUp(SDLK_p);
      if (frame == 280) pausing == 1 ? pushKeyDown(SDLK_ESCAPE) : testing_support::pushQuit();
      const std::int32_t enemies = std::accumulate(gEnemyList[0], gEnemyList[gNumberOfEnemies], 0);
      worlds[pausing].push_back({gPlayerX, gPlayerY, gPlayerCooldown, gScore, gPlayerShots, enemies});
    });
    EXPECT_EQ(play(), pausing == 1 ? kGameOverKeyPressed : kGameOverQuit);
  }
  EXPECT_GT(pausedFrame, 172) << "not when the focus came back, nor as soon as it was lost";
  EXPECT_LT(pausedFrame, 250);
  ASSERT_EQ(worlds[0].size(), 280u);
  EXPECT_EQ(worlds[1], worlds[0]);
  EXPECT_GT(worlds[0][pausedFrame][5], 0) << "butterflies were about";
  EXPECT_EQ(worlds[0][249][4], worlds[0][pausedFrame][4]) << "P was let go";
  EXPECT_GT(worlds[0][279][4], worlds[0][249][4]) << "and fires when pressed again";
  EXPECT_EQ(gScore, scoreAtGiveUp);
}

// Only the pause keys left unbound pause and resume (with none left, confirm resumes), and the
// band names them; a close request behind an answer still closes.
TEST_F(PlayTest, TheKeysThatResumeAPauseAreThePauseKeysLeftUnbound) {
  const char* const resumeKeyNames[] = {"P, Escape or Pause", "Escape or Pause", "Pause", "Return"};
  SDL_Keycode* const actions[] = {&gKeycodeUp, &gKeycodeAttack, &gKeycodeToggleFullscreen};
  for (std::int32_t bound = 0; bound <= 3; ++bound) {
    if (bound > 0) *actions[bound - 1] = kPauseKeys[bound - 1];
    const std::string keysLine = std::string("Resume: ") + resumeKeyNames[bound] + "    Give up: Backspace";
    for (const SDL_Keycode key : {SDLK_p, SDLK_ESCAPE, SDLK_PAUSE, SDLK_RETURN, SDLK_SPACE}) {
      const bool pauses = std::find(kPauseKeys + bound, std::end(kPauseKeys), key) != std::end(kPauseKeys);
      SDL_Event press{};
      press.type = SDL_KEYDOWN;
      press.key.keysym.sym = key;
      PauseRequest request = {false, false};
      notePauseEvent(request, press);
      EXPECT_EQ(request.asked, pauses) << keysLine << ", " << SDL_GetKeyName(key);
      pushKeyDown(key);
      pushKeyDown(gKeycodeCancel);
      EXPECT_EQ(runPauseScreen([] {}), pauses || (bound == 3 && key == SDLK_RETURN) ? PauseAnswer::kResume : PauseAnswer::kGiveUp)
          << keysLine << ", " << SDL_GetKeyName(key);
      const auto length = static_cast<std::int32_t>(keysLine.size());
      EXPECT_EQ(textAt((800 - 10 * length) / 2, 305, length, 2), keysLine);
    }
  }
  pushKeyDown(SDLK_RETURN);
  testing_support::pushQuit();
  EXPECT_EQ(runPauseScreen([] {}), PauseAnswer::kQuit);
}

// Attack held, then a key and a close request, which ends the game before the key moves the bird;
// the butterflies of frame 120 on, with the draws.
std::vector<std::vector<std::int64_t>> playButterflyGame() {
  std::vector<std::vector<std::int64_t>> butterflies;
  FrameDriver driver([&](std::int32_t frame) {
    if (frame == 1) pushKeyDown(gKeycodeAttack);
    if (frame > 120) {
      butterflies.push_back({gNumberOfEnemies, std::accumulate(gEnemyList[0], gEnemyList[gNumberOfEnemies], std::int64_t{0}),
                             gNumberOfEnemyProjectiles2, gRandomDraws});
    }
    if (frame == 130) pushKeyDown(gKeycodeUp), testing_support::pushQuit();
  });
  EXPECT_EQ(play(), 0);
  EXPECT_EQ(gPlayerY, kPlayerStartY);
  return butterflies;
}

// A game on a ticket plays from the ticket's seed and is recorded with it; the calendar's sequence
// waits, so that the game after meets the same butterflies as without it.
TEST_F(PlayTest, AGameOnATicketLeavesTheCalendarsSequenceToTheNextGame) {
  std::vector<std::uint8_t> ticket(kTicketSize, 0x5A);
  ticket[0] = 0x2A;  // seed 0x5A5A5A2A
  std::vector<std::vector<std::int64_t>> nextGame[2];
  std::vector<std::uint8_t> ticketedReplay;
  for (const bool ticketed : {false, true}) {
    seedGameRandom(1234);
    for (std::int32_t draw = 0; draw < 37; ++draw) gameRandom();
    if (ticketed) {
      holdBoardTicket(ticket.data(), ticket.size());
      const auto onTicket = playButterflyGame();
      ASSERT_FALSE(onTicket.empty());
      EXPECT_GT(onTicket.back()[0], 0) << "butterflies came";
      EXPECT_EQ(std::vector<std::uint32_t>({gRecording.formatVersion, gRecording.seed, gRecording.draws}),
                std::vector<std::uint32_t>({2, 0x5A5A5A2A, 0}));
      EXPECT_EQ(gRecording.ticket, ticket);
      gRecording.score = gScore;  // given up where it was quit
      ticketedReplay = encodeReplay(gRecording);
    }
    nextGame[ticketed] = playButterflyGame();
    EXPECT_EQ(std::vector<std::uint32_t>({gRecording.formatVersion, gRecording.seed, gRecording.draws}),
              std::vector<std::uint32_t>({1, 1234, 37}))
        << "the ticket was played once";
  }
  EXPECT_EQ(nextGame[true], nextGame[false]);
  ReplayVerdict verdict;  // played from the ticket's seed, as the game was
  verifyReplay(ticketedReplay.data(), ticketedReplay.size(), verdict);
  EXPECT_EQ(verdict.status, 0) << verdict.message;
}

}  // namespace
