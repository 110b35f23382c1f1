// The play loop, driven frame by frame through real events: the start of a game, held keys,
// the fire rate, the briefing box, the spawn schedule, quitting, game over and the pause.
#include "game/play.h"
#include "game/random.h"
#include "game/replay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <numeric>
#include <string>
#include <vector>

#include "app/pause.h"
#include "app/platform.h"
#include "app/settings.h"
#include "app/ticket.h"
#include "coded_sheet.h"
#include "text/font.h"
#include "game/enemies.h"
#include "game/player.h"
#include "game/projectiles.h"
#include "screens/gameover.h"
#include "support/frame_driver.h"
#include "support/harness.h"

namespace {

using coded_sheet::SheetPixel;

constexpr std::int32_t kBirdTag = 5;
constexpr std::int32_t kFeatherTag = 9;  // clear of the coordinate font's colours
constexpr std::int32_t kBackgroundTag = 7;

using testing_support::FrameDriver;

class PlayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::useSoftwareRenderer();
    testing_support::drainEvents();
    gTexture[kTextureBird] = coded_sheet::makeCodedSheet(gRenderer, 640, 320, kBirdTag);
    gTexture[kTextureFeather] = coded_sheet::makeCodedSheet(gRenderer, 16, 16, kFeatherTag);
    gTexture[kTextureBackground0] = coded_sheet::makeCodedSheet(gRenderer, 1920, 300, kBackgroundTag);
    gTexture[kTextureBackground1] = coded_sheet::makeCodedSheet(gRenderer, 1920, 300, kBackgroundTag);
    testing_support::useCoordinateFont();
    gCharacterWidthToRender = 10;
    gCharacterHeightToRender = 15;
    std::copy(kDefaultKeyBindings, kDefaultKeyBindings + kKeyBindingCount, gKeyBindings);
    seedGameRandom(1234);
  }
  void TearDown() override {
    testing_support::drainEvents();
    testing_support::releaseSoftwareRenderer();
  }
};

// The score line as drawn in the top-left corner.
std::string scoreLine() { return testing_support::textAt(0, 0, 12, 2); }

// The briefing box's text, read line by line and with runs of blanks joined into one space.
std::string briefingText() {
  std::string text;
  for (std::int32_t line = 0; line < 9; ++line) text += testing_support::textAt(325, 205 + 15 * line, 31, 3) + " ";
  std::string joined;
  for (char character : text) {
    if (character == ' ' && (joined.empty() || joined.back() == ' ')) continue;
    joined += character;
  }
  while (!joined.empty() && joined.back() == ' ') joined.pop_back();
  return joined;
}

bool isWhite(const SDL_Color& color) { return color.r == 255 && color.g == 255 && color.b == 255; }
bool isBlack(const SDL_Color& color) { return color.r == 0 && color.g == 0 && color.b == 0; }

TEST_F(PlayTest, AGameStartsWithTheBirdThreeFeathersAndTheBriefingAndSpawnsNothingDuringIt) {
  gKeycodeAttack = SDLK_LSHIFT;  // the briefing names whatever key attacks
  gScore = 77;
  gNumberOfEnemies = 12;
  gPlayerHP = -3;
  // Pending when the game starts, so dropped: neither fires nor moves nor quits.
  testing_support::pushKeyDown(gKeycodeAttack);
  testing_support::pushKeyDown(gKeycodeRight);
  testing_support::pushQuit();

  Uint32 firstFrameTicks = 0;
  Uint32 lastFrameTicks = 0;
  std::int32_t enemiesSeen = 0;
  FrameDriver driver([&](std::int32_t frame) {
    if (frame == 1) firstFrameTicks = SDL_GetTicks();
    enemiesSeen += gNumberOfEnemies;
    if (frame == 2) {
      // The first presented picture.
      EXPECT_EQ(gPlayerX, 600);
      EXPECT_EQ(gPlayerY, 2000);
      EXPECT_EQ(gPlayerHP, 3);
      EXPECT_EQ(gScore, 0);
      const SheetPixel birdCorner = coded_sheet::sheetPixelAt(60, 200);
      EXPECT_EQ(birdCorner.tag, kBirdTag);
      EXPECT_EQ(birdCorner.x % 160, 0);
      EXPECT_EQ(birdCorner.y, 0);
      EXPECT_EQ(coded_sheet::sheetPixelAt(59, 200).tag, kBackgroundTag);
      for (std::int32_t featherX : {10, 42, 74}) {
        EXPECT_EQ(coded_sheet::sheetPixelAt(featherX, 16), (SheetPixel{0, 0, kFeatherTag})) << featherX;
      }
      // The briefing box: white inside, a black outline at 320, 200, 320 x 140.
      EXPECT_TRUE(isWhite(testing_support::pixelAt(637, 250)));
      EXPECT_TRUE(isWhite(testing_support::pixelAt(321, 338)));
      EXPECT_TRUE(isBlack(testing_support::pixelAt(320, 200)));
      EXPECT_TRUE(isBlack(testing_support::pixelAt(639, 339)));
      EXPECT_TRUE(isBlack(testing_support::pixelAt(500, 339)));
      EXPECT_EQ(coded_sheet::sheetPixelAt(640, 250).tag, kBackgroundTag);
      EXPECT_EQ(coded_sheet::sheetPixelAt(500, 340).tag, kBackgroundTag);
      EXPECT_EQ(scoreLine(), "Score: 0    ");
      EXPECT_EQ(briefingText(),
                "A large formation of butterflies approaches your sector. Keep your air space clear by pressing "
                "\"Left Shift\". You can configure the keys in \"Flight Control\" from the main menu.");
    }
    if (frame == 130) {
      lastFrameTicks = SDL_GetTicks();
      EXPECT_TRUE(isWhite(testing_support::pixelAt(637, 250))) << "the box stays until the first shot";
      // A quit ends the game at once: the attack key pressed before it fires nothing.
      testing_support::pushKeyDown(gKeycodeAttack);
      testing_support::pushQuit();
    }
  });
  EXPECT_EQ(play(), 0);
  EXPECT_EQ(enemiesSeen, 0);
  EXPECT_EQ(gNumberOfEnemies, 0);
  EXPECT_EQ(gPlayerShots, kShotsBase);
  EXPECT_EQ(gPlayerX, 600) << "the right key held before the game does not move the bird";
  EXPECT_GE(lastFrameTicks - firstFrameTicks, 129u * 25u - 5u) << "frames are paced to 25 ms";
}

TEST_F(PlayTest, HoldingAttackFiresEveryTenFramesAndTheFirstShotStartsTheSpawnSchedule) {
  std::vector<std::int32_t> shotFrames;
  std::vector<std::int32_t> spawnFrames;
  std::int32_t previousShots = kShotsBase;
  std::int32_t previousEnemies = 0;
  bool boxGoneWithFirstShot = false;
  FrameDriver driver([&](std::int32_t frame) {
    if (frame >= 2) {
      // What the previous frame did.
      if (gPlayerShots != previousShots) shotFrames.push_back(frame - 1);
      if (gNumberOfEnemies > previousEnemies) spawnFrames.push_back(frame - 1);
      previousShots = gPlayerShots;
      previousEnemies = gNumberOfEnemies;
    }
    if (frame == 2) boxGoneWithFirstShot = !isWhite(testing_support::pixelAt(637, 250));
    if (frame == 1) testing_support::pushKeyDown(gKeycodeAttack);
    if (frame > 1) testing_support::pushKeyDown(gKeycodeAttack, true);  // auto-repeat
    if (frame == 156) testing_support::pushQuit();
  });
  EXPECT_EQ(play(), 0);

  std::vector<std::int32_t> expectedShots;
  for (std::int32_t frame = 1; frame <= 155; frame += 10) expectedShots.push_back(frame);
  EXPECT_EQ(shotFrames, expectedShots);
  EXPECT_TRUE(boxGoneWithFirstShot);
  // The frame of the first shot is the first of 120; then 15000 / 512 + 5 = 34 frames.
  EXPECT_EQ(spawnFrames, (std::vector<std::int32_t>{120, 154}));
  EXPECT_EQ(gScore, 0) << "shots cost points, but never below zero";
}

TEST_F(PlayTest, DirectionKeysAreHeldUntilReleasedAndRepeatsChangeNothing) {
  std::vector<std::int32_t> xs;
  std::vector<std::int32_t> ys;
  const std::int32_t fullscreenBefore = gIsFullscreen;
  FrameDriver driver([&](std::int32_t frame) {
    if (frame >= 2) {
      xs.push_back(gPlayerX);
      ys.push_back(gPlayerY);
    }
    switch (frame) {
      case 2: testing_support::pushKeyDown(gKeycodeRight); break;
      case 3: testing_support::pushKeyDown(gKeycodeLeft); break;  // left and right: no move
      case 4: testing_support::pushKeyUp(gKeycodeRight); break;   // left alone
      case 5: testing_support::pushKeyDown(gKeycodeDown); break;  // diagonal
      case 6:
        testing_support::pushKeyDown(gKeycodeLeft, true);
        testing_support::pushKeyDown(gKeycodeToggleFullscreen);
        break;
      case 7:
        testing_support::pushKeyDown(gKeycodeToggleFullscreen, true);
        testing_support::pushKeyUp(gKeycodeToggleFullscreen);
        testing_support::pushKeyUp(gKeycodeDown);
        break;
      case 8: testing_support::pushKeyUp(gKeycodeLeft); break;
      case 10: testing_support::pushQuit(); break;
      default: break;
    }
  });
  EXPECT_EQ(play(), 0);
  // Positions after frames 1 to 9.
  EXPECT_EQ(xs, (std::vector<std::int32_t>{600, 720, 720, 600, 516, 432, 312, 312, 312}));
  EXPECT_EQ(ys, (std::vector<std::int32_t>{2000, 2000, 2000, 2000, 2084, 2168, 2168, 2168, 2168}));
  // The recording holds the actions of frames 1 to 9, and nothing of the fullscreen key.
  const std::uint8_t right = kActionRight, left = kActionLeft, down = kActionDown;
  EXPECT_EQ(gRecording.actions, (std::vector<std::uint8_t>{0, right, right | left, left, left | down, left | down,
                                                           left, 0, 0}));
  EXPECT_EQ(gIsFullscreen, 1 - fullscreenBefore) << "one press toggles once, however long it is held";
  if (gIsFullscreen != fullscreenBefore) toggleFullscreen();
}

TEST_F(PlayTest, LosingTheLastHitPointEndsTheGameInThatFrame) {
  std::int32_t lastFrameOfTheGame = 0;
  FrameDriver driver([&](std::int32_t frame) {
    if (gPlayerHP < 1) {
      // The game-over screen is running: any key leaves it.
      testing_support::pushKeyDown(SDLK_SPACE);
      return;
    }
    lastFrameOfTheGame = frame;
    if (frame == 3) {
      // Three butterfly shots inside the bird's box, holding still.
      for (std::int32_t shot = 0; shot < 3; ++shot) {
        gEnemyProjectileList2[gNumberOfEnemyProjectiles2++] = {gPlayerX + 300 + 100 * shot, gPlayerY + 800, 0, 0};
      }
    }
    if (frame == 50) testing_support::pushQuit();  // only if the game did not end
  });
  EXPECT_EQ(play(), 1);
  EXPECT_EQ(lastFrameOfTheGame, 3);
  EXPECT_EQ(gPlayerHP, 0);
  EXPECT_EQ(gNumberOfEnemyProjectiles2, 0);
}

TEST_F(PlayTest, TheScoreLineShowsFivePointsPerHitAndOneLessPerShot) {
  std::vector<std::string> lines;
  FrameDriver driver([&](std::int32_t frame) {
    if (frame >= 2) lines.push_back(scoreLine());
    if (frame == 1) testing_support::pushKeyDown(gKeycodeAttack);
    if (frame == 2) {
      // A still butterfly where the first shot arrives in this frame, at (1750, 2960).
      addRandomEnemy();
      gEnemyList[0][kEnemyX] = 1750;
      gEnemyList[0][kEnemyY] = 2960;
      gEnemyList[0][kEnemyPathIndex] = 0;
      gEnemyList[0][kEnemyFireCooldown] = 1000;
    }
    if (frame == 13) testing_support::pushQuit();
  });
  EXPECT_EQ(play(), 0);
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[0], "Score: 0    ") << "the first shot costs nothing at 0";
  EXPECT_EQ(lines[1], "Score: 5    ") << "after the hit";
  EXPECT_EQ(lines[9], "Score: 5    ");
  EXPECT_EQ(lines[10], "Score: 4    ") << "after the second shot, in frame 11";
}

void pushFocusChange(Uint8 change) {
  SDL_Event event{};
  event.type = SDL_WINDOWEVENT;
  event.window.event = change;
  SDL_PushEvent(&event);
}

// Two games from one seed with P bound to attack and held from the first frame; only the first
// loses the focus for good. Neither P nor the focus lost and regained while a fullscreen toggle
// settles pauses it; the focus lost for good does, once that time is over. The paused picture is
// the last frame dimmed by half around a band that names the keys; P and a key pressed meanwhile
// are dropped, and Escape resumes. From there the game goes on frame for frame as the other one,
// which lets go of P where the pause began. Paused again by Escape with a shot about to hit a
// butterfly, it is given up: the game-over screen shows the score of the paused picture and
// takes P as any key.
TEST_F(PlayTest, APausedGameGoesOnAsIfNoTimeHadPassedAndAGiveUpEndsItAtOnce) {
  gKeycodeAttack = SDLK_p;
  std::vector<std::vector<std::int32_t>> worlds[2];
  std::vector<Uint32> lastFrame;
  std::int32_t pausedFrame = 0;
  std::int32_t scoreAtGiveUp = -1;
  Uint32 toggleTicks = 0;
  for (const std::int32_t pausing : {1, 0}) {
    seedGameRandom(99);
    std::int32_t frame = 0;
    std::int32_t gameOverCalls = 0;
    bool answered = false;  // the current pause has had its keys
    testing_support::FrameDriver driver([&](std::int32_t call) {
      const auto* pixels = static_cast<const Uint32*>(testing_support::canvas()->pixels);
      if (call == 0) return;
      if (gPlayerHP < 1 && ++gameOverCalls == 3) {  // the first pass after the screen's one-second pause
        std::string scoreLine = "Your score: " + std::to_string(scoreAtGiveUp);
        scoreLine.resize(15, ' ');
        EXPECT_EQ(testing_support::textAt(450, 475, 15, 2), scoreLine);
        testing_support::pushKeyDown(SDLK_p);
      }
      if (gPlayerHP < 1) return;
      if (testing_support::textAt(175, 305, 45, 2) == "Resume: Escape or Pause    Give up: Backspace") {
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
          testing_support::pushKeyDown(gKeycodeUp);
          testing_support::pushKeyDown(SDLK_p);
          testing_support::pushKeyDown(SDLK_ESCAPE);
        } else {
          // A still butterfly where a new shot arrives in the next frame, which never comes.
          gPlayerProjectileList[gNumberOfPlayerProjectiles++] = {3000, 2000, 100, 0};
          std::int32_t* butterfly = gEnemyList[gNumberOfEnemies++];
          butterfly[kEnemyX] = 3100;
          butterfly[kEnemyY] = 2000;
          butterfly[kEnemyPathIndex] = 0;
          scoreAtGiveUp = gScore;
          testing_support::pushKeyDown(gKeycodeCancel);
        }
        return;
      }
      answered = false;
      frame += 1;
      lastFrame.assign(pixels, pixels + 800 * 600);
      if (frame == 1) testing_support::pushKeyDown(SDLK_p);
      if (frame == 100 || frame == 170) toggleTicks = SDL_GetTicks();
      if (frame == 100 || frame == 170) testing_support::pushKeyDown(gKeycodeToggleFullscreen);
      if (frame == 101 || (frame == 171 && pausing == 1)) pushFocusChange(SDL_WINDOWEVENT_FOCUS_LOST);
      if (frame == 103) pushFocusChange(SDL_WINDOWEVENT_FOCUS_GAINED);
      if (pausing == 0 && frame == pausedFrame) testing_support::pushKeyUp(SDLK_p);
      if (frame == 250) testing_support::pushKeyDown(SDLK_p);  // pressed again after the pause
      if (frame == 280) pausing == 1 ? testing_support::pushKeyDown(SDLK_ESCAPE) : testing_support::pushQuit();
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

// With none, some or all of P, Escape and Pause bound to actions, only those left unbound pause
// and resume a game; with all three bound the confirm key resumes, though it never pauses. The
// paused picture names the keys that resume, and a close request behind an answer still closes.
TEST_F(PlayTest, TheKeysThatResumeAPauseAreThePauseKeysLeftUnbound) {
  const char* const resumeKeyNames[] = {"P, Escape or Pause", "Escape or Pause", "Pause", "Return"};
  SDL_Keycode* const actions[] = {&gKeycodeUp, &gKeycodeAttack, &gKeycodeToggleFullscreen};
  for (std::int32_t bound = 0; bound <= 3; ++bound) {
    if (bound > 0) *actions[bound - 1] = kPauseKeys[bound - 1];
    const std::string keysLine = std::string("Resume: ") + resumeKeyNames[bound] + "    Give up: Backspace";
    SCOPED_TRACE(keysLine);
    for (const SDL_Keycode key : {SDLK_p, SDLK_ESCAPE, SDLK_PAUSE, SDLK_RETURN, SDLK_SPACE}) {
      const bool pauses = std::find(kPauseKeys + bound, std::end(kPauseKeys), key) != std::end(kPauseKeys);
      SDL_Event press{};
      press.type = SDL_KEYDOWN;
      press.key.keysym.sym = key;
      PauseRequest request = {false, false};
      notePauseEvent(request, press);
      EXPECT_EQ(request.asked, pauses) << SDL_GetKeyName(key);
      testing_support::pushKeyDown(key);
      testing_support::pushKeyDown(gKeycodeCancel);
      const bool resumes = pauses || (bound == 3 && key == SDLK_RETURN);
      EXPECT_EQ(runPauseScreen([] {}), resumes ? PauseAnswer::kResume : PauseAnswer::kGiveUp) << SDL_GetKeyName(key);
      const std::int32_t length = static_cast<std::int32_t>(keysLine.size());
      EXPECT_EQ(testing_support::textAt((800 - 10 * length) / 2, 305, length, 2), keysLine);
    }
  }
  testing_support::pushKeyDown(SDLK_RETURN);
  testing_support::pushQuit();
  EXPECT_EQ(runPauseScreen([] {}), PauseAnswer::kQuit);
}

// A game of 130 frames with attack held from the first, quit then: the butterflies of frame 120
// on, each frame's as the sum of their fields, with the draws so far.
std::vector<std::vector<std::int64_t>> playButterflyGame() {
  std::vector<std::vector<std::int64_t>> butterflies;
  FrameDriver driver([&](std::int32_t frame) {
    if (frame == 1) testing_support::pushKeyDown(gKeycodeAttack);
    if (frame > 120) {
      butterflies.push_back({gNumberOfEnemies, std::accumulate(gEnemyList[0], gEnemyList[gNumberOfEnemies], std::int64_t{0}),
                             gNumberOfEnemyProjectiles2, gRandomDraws});
    }
    if (frame == 130) testing_support::pushQuit();
  });
  EXPECT_EQ(play(), 0);
  return butterflies;
}

// A held ticket: the next game starts its own sequence from the ticket's seed, none drawn, and is
// recorded as format 2 with it; the calendar's sequence, 37 numbers in, is where it was for the
// game after, which meets the same butterflies as without the ticketed game before it.
TEST_F(PlayTest, AGameOnATicketLeavesTheCalendarsSequenceToTheNextGame) {
  std::vector<std::uint8_t> ticket(kTicketSize, 0x5A);
  ticket[0] = 0x2A;  // seed 0x5A5A5A2A
  std::vector<std::vector<std::int64_t>> nextGame[2];
  std::vector<std::uint8_t> ticketedReplay;
  for (const bool ticketed : {false, true}) {
    SCOPED_TRACE(ticketed ? "after a ticketed game" : "alone");
    seedGameRandom(1234);
    for (std::int32_t draw = 0; draw < 37; ++draw) gameRandom();
    if (ticketed) {
      holdBoardTicket(ticket.data(), ticket.size());
      const auto onTicket = playButterflyGame();
      ASSERT_FALSE(onTicket.empty());
      EXPECT_GT(onTicket.back()[0], 0) << "butterflies came";
      EXPECT_EQ(gRecording.formatVersion, 2u);
      EXPECT_EQ(gRecording.seed, 0x5A5A5A2Au);
      EXPECT_EQ(gRecording.draws, 0u);
      EXPECT_EQ(gRecording.ticket, ticket);
      gRecording.score = gScore;  // given up where it was quit
      ticketedReplay = encodeReplay(gRecording);
    }
    nextGame[ticketed] = playButterflyGame();
    EXPECT_EQ(gRecording.formatVersion, 1u) << "the ticket was played once";
    EXPECT_EQ(gRecording.seed, 1234u);
    EXPECT_EQ(gRecording.draws, 37u);
  }
  EXPECT_EQ(nextGame[true], nextGame[false]);
  ReplayVerdict verdict;  // played from the ticket's seed, as the game was
  verifyReplay(ticketedReplay.data(), ticketedReplay.size(), verdict);
  EXPECT_EQ(verdict.status, 0) << verdict.message;
}

struct SpawnIntervalCase {
  std::int32_t shotsFired;
  std::int32_t interval;
};

TEST(SpawnScheduleTest, TheIntervalShrinksWithTheShotsFired) {
  const SpawnIntervalCase cases[] = {
      {1, 34},    {17, 34},   {18, 33},    {100, 30},   {250, 25},   {500, 20},    {1000, 15},
      {2500, 10}, {7000, 7},  {7001, 6},   {14500, 6},  {14501, 5},  {100000, 5},
  };
  for (const SpawnIntervalCase& spawn : cases) {
    SCOPED_TRACE(spawn.shotsFired);
    gNumberOfEnemies = 0;
    gPlayerShots = kShotsBase + spawn.shotsFired;
    std::int32_t countdown = 1;
    runSpawnSchedule(countdown);
    EXPECT_EQ(countdown, spawn.interval);
    EXPECT_EQ(gNumberOfEnemies, 1);
    for (std::int32_t frame = 1; frame < spawn.interval; ++frame) runSpawnSchedule(countdown);
    EXPECT_EQ(gNumberOfEnemies, 1) << "nothing before the interval is over";
    runSpawnSchedule(countdown);
    EXPECT_EQ(gNumberOfEnemies, 2);
  }
}

TEST(SpawnScheduleTest, AtMost999ButterfliesAreAliveAndTheCountdownKeepsCycling) {
  gNumberOfEnemies = 0;
  gPlayerShots = 20000;
  std::int32_t countdown = kFirstSpawnFrames;
  std::int32_t frames = 0;
  while (gNumberOfEnemies < kMaxSpawnedEnemies && frames < 10000) {
    runSpawnSchedule(countdown);
    ++frames;
  }
  EXPECT_EQ(gNumberOfEnemies, 999);
  EXPECT_EQ(frames, kFirstSpawnFrames + 998 * 5);
  for (std::int32_t frame = 0; frame < 100; ++frame) runSpawnSchedule(countdown);
  EXPECT_EQ(gNumberOfEnemies, 999);
  EXPECT_EQ(countdown, 5) << "reloaded at every expiry";

  removeEnemy(500);
  for (std::int32_t frame = 0; frame < 5; ++frame) runSpawnSchedule(countdown);
  EXPECT_EQ(gNumberOfEnemies, 999) << "a freed place is taken at the next expiry";
}

}  // namespace
