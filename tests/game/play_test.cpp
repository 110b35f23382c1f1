// The play loop, driven frame by frame through real events: the start of a game, held keys,
// the fire rate, the briefing box, the spawn schedule, quitting, game over and the pause.
#include "game/play.h"
#include "game/random.h"
#include "game/replay.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <vector>

#include "app/pause.h"
#include "app/platform.h"
#include "app/settings.h"
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

// Two games with P bound to attack and held from the first frame, the pause armed for the first
// only. Neither P nor the focus lost and regained while a fullscreen toggle settles pauses it;
// the focus lost for good does, once that time is over. The paused picture is the frame dimmed by
// half around a band that names the keys; Escape resumes it, and a key pressed meanwhile is
// dropped. From there the game goes on frame for frame as the other one, which lets go of P
// where the pause did. Paused again by Escape, it is given up with the cancel key, and the
// game-over screen shows the score so far and takes P as any key.
TEST_F(PlayTest, APausedGameGoesOnAsIfNoTimeHadPassedAndCanBeGivenUp) {
  std::remove("../Common/mus02.mid");  // the synthesiser draws from gameRandom() as it plays
  gKeycodeAttack = SDLK_p;
  std::vector<std::vector<std::int32_t>> worlds[2];
  std::vector<Uint32> pausedPicture, keptFrame;
  std::int32_t pausedCall = 0;
  std::int32_t gameOverCalls = 0;
  Uint32 toggleTicks = 0;
  for (const std::int32_t armed : {1, 0}) {
    armPause(armed == 1 ? &gPlayerHP : nullptr);
    seedGameRandom(99);
    testing_support::FrameDriver driver([&](std::int32_t call) {
      const auto* pixels = static_cast<const Uint32*>(testing_support::canvas()->pixels);
      if (gPlayerHP < 1 && ++gameOverCalls == 3) {  // the first pass after the screen's one-second pause
        EXPECT_EQ(testing_support::textAt(450, 475, 15, 2), "Your score: 42 ");
        testing_support::pushKeyDown(SDLK_p);
      }
      if (gPlayerHP < 1) return;
      if (armed == 1 && testing_support::textAt(175, 305, 45, 2) == "Resume: Escape or Pause    Give up: Backspace") {
        if (pausedCall == 0) {
          pausedCall = call;
          pausedPicture.assign(pixels, pixels + 800 * 600);
          EXPECT_GE(SDL_GetTicks() - toggleTicks, kFocusSettleMilliseconds);
          testing_support::pushKeyDown(gKeycodeUp);  // dropped with the pause
        } else {
          gScore = 42;
          testing_support::pushKeyDown(gKeycodeCancel);
        }
        testing_support::pushKeyDown(SDLK_ESCAPE);
        return;
      }
      if (armed == 1 && call == pausedCall + 1) keptFrame.assign(pixels, pixels + 800 * 600);
      if (call == 1) testing_support::pushKeyDown(SDLK_p);
      if (call == 100 || call == 170) toggleTicks = SDL_GetTicks();
      if (call == 100 || call == 170) testing_support::pushKeyDown(gKeycodeToggleFullscreen);
      if (call == 101 || call == 171) pushFocusChange(SDL_WINDOWEVENT_FOCUS_LOST);
      if (call == 103) pushFocusChange(SDL_WINDOWEVENT_FOCUS_GAINED);
      if (armed == 0 && call == pausedCall) testing_support::pushKeyUp(SDLK_p);
      if (call == 280 + armed) armed == 1 ? testing_support::pushKeyDown(SDLK_ESCAPE) : testing_support::pushQuit();
      const std::int32_t enemies = std::accumulate(gEnemyList[0], gEnemyList[gNumberOfEnemies], 0);
      worlds[armed].push_back({gPlayerX, gPlayerY, gPlayerCooldown, gScore, gPlayerShots, enemies});
    });
    EXPECT_EQ(play(), armed == 1 ? kGameOverKeyPressed : kGameOverQuit);
  }
  armPause(nullptr);
  EXPECT_GT(pausedCall, 172) << "not when the focus came back, nor as soon as it was lost";
  EXPECT_EQ(worlds[1], worlds[0]);
  EXPECT_GT(worlds[0][pausedCall][5], 0) << "butterflies were about";
  EXPECT_EQ(worlds[0].back()[4], worlds[0][pausedCall][4]) << "P was let go";
  ASSERT_EQ(pausedPicture.size(), keptFrame.size());
  for (std::size_t pixel = 0; pixel < keptFrame.size(); pixel += 7) {
    if (pixel / 800 >= 225 && pixel / 800 < 360) continue;
    for (const std::int32_t shift : {0, 8, 16}) {
      ASSERT_NEAR((pausedPicture[pixel] >> shift) & 255, ((keptFrame[pixel] >> shift) & 255) * 127 / 255, 1);
    }
  }
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
