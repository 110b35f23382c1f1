// The pause in driven games on the software renderer: the paused picture, a world that goes on
// exactly where it stopped, the keys that pause, resume and give up, a close request, the focus.
#include "app/pause.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <vector>

#include "app/platform.h"
#include "app/settings.h"
#include "game/enemies.h"
#include "game/play.h"
#include "game/player.h"
#include "screens/gameover.h"
#include "support/frame_driver.h"
#include "support/harness.h"

namespace {

using testing_support::FrameDriver;
using testing_support::pushKeyDown;

bool showsPausedPicture(const std::string& keysLine) {
  const auto length = static_cast<std::int32_t>(keysLine.size());
  return testing_support::textAt((800 - 10 * length) / 2, 305, length, 2) == keysLine;
}

class PauseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::resetToStartUpState();
    ASSERT_EQ(testing_support::useSoftwareRendererWithMedia(), 0);
    testing_support::useCoordinateFont();
    // The synthesiser draws from rand() as it plays, and games compared must draw the same numbers.
    std::remove("../Common/mus02.mid");
    armPause(&gPlayerHP);
  }
  void TearDown() override {
    armPause(nullptr);
    testing_support::releaseSoftwareRenderer();
  }
};

// Paused in frame 125 with the attack key held and resumed from the paused picture, a game goes
// on frame for frame as one never paused that lets go of the attack key there; a key pressed
// while paused is dropped. The paused picture is the frame dimmed by half around the band.
TEST_F(PauseTest, APausedGameGoesOnAsIfNoTimeHadPassed) {
  std::vector<std::vector<std::int32_t>> worlds[2];
  std::vector<Uint32> pausedPicture, keptFrame;
  for (const std::int32_t paused : {0, 1}) {
    srand(99);
    FrameDriver driver([&](std::int32_t call) {
      const auto* pixels = static_cast<const Uint32*>(testing_support::canvas()->pixels);
      if (paused == 1 && call == 126) {
        pausedPicture.assign(pixels, pixels + 800 * 600);
        EXPECT_TRUE(showsPausedPicture("Resume: P, Escape or Pause    Give up: Backspace"));
        pushKeyDown(gKeycodeUp);
        pushKeyDown(SDLK_p);
        return;
      }
      if (paused == 1 && call == 127) keptFrame.assign(pixels, pixels + 800 * 600);
      if (call == 1) pushKeyDown(gKeycodeAttack);
      if (call == 126 - paused) paused == 1 ? pushKeyDown(SDLK_p) : testing_support::pushKeyUp(gKeycodeAttack);
      if (call == 170 + paused) testing_support::pushQuit();
      const std::int32_t enemies = std::accumulate(gEnemyList[0], gEnemyList[gNumberOfEnemies], 0);
      worlds[paused].push_back({gPlayerX, gPlayerY, gPlayerCooldown, gScore, gPlayerShots, enemies});
    });
    EXPECT_EQ(play(), 0);
  }
  EXPECT_EQ(worlds[1], worlds[0]);
  EXPECT_EQ(worlds[0].back()[4], kShotsBase + 13) << "a shot every ten frames, none after frame 125";
  ASSERT_EQ(pausedPicture.size(), keptFrame.size());
  for (std::size_t pixel = 0; pixel < keptFrame.size(); pixel += 7) {
    if (pixel / 800 >= 225 && pixel / 800 < 360) continue;
    for (const std::int32_t shift : {0, 8, 16}) {
      ASSERT_NEAR((pausedPicture[pixel] >> shift) & 255, ((keptFrame[pixel] >> shift) & 255) * 127 / 255, 1);
    }
  }
}

void pushFocusChange(Uint8 change) {
  SDL_Event event{};
  event.type = SDL_WINDOWEVENT;
  event.window.event = change;
  SDL_PushEvent(&event);
}

// With P bound to attack, P fires. The focus lost and regained while the fullscreen toggle
// settles does not pause; lost for good, it pauses once that time is over. Escape resumes and
// pauses again; then the cancel key gives up, and the game-over screen shows the score so far
// and takes P as any key; or a close request ends the game.
TEST_F(PauseTest, TheFocusAndTheUnboundKeysPauseAndTheCancelKeyGivesUpWhereACloseRequestQuits) {
  for (const bool giveUp : {true, false}) {
    gKeycodeAttack = SDLK_p;
    std::vector<std::int32_t> pausedCalls = {-10};
    Uint32 toggleTicks = 0;
    std::int32_t gameOverCalls = 0;
    std::int32_t shotsWhenPaused = 0;
    FrameDriver driver([&](std::int32_t call) {
      if (gPlayerHP < 1 && ++gameOverCalls == 3) {  // the first pass after the screen's one-second pause
        EXPECT_EQ(testing_support::textAt(450, 475, 14, 2), "Your score: 42");
        pushKeyDown(SDLK_p);
      }
      if (gPlayerHP < 1) return;
      if (call == 1) pushKeyDown(SDLK_p);
      if (call == 2) pushKeyDown(gKeycodeToggleFullscreen), toggleTicks = SDL_GetTicks();
      if (call == 3 || call == 6) pushFocusChange(SDL_WINDOWEVENT_FOCUS_LOST);
      if (call == 5) pushFocusChange(SDL_WINDOWEVENT_FOCUS_GAINED);
      if (call == pausedCalls.back() + 1) pushKeyDown(SDLK_ESCAPE);
      if (!showsPausedPicture("Resume: Escape or Pause    Give up: Backspace")) return;
      if (pausedCalls.size() == 1) {
        EXPECT_GE(SDL_GetTicks() - toggleTicks, kFocusSettleMilliseconds);
        shotsWhenPaused = gPlayerShots;
        pushKeyDown(SDLK_ESCAPE);
      }
      if (pausedCalls.size() == 2) gScore = 42, giveUp ? pushKeyDown(gKeycodeCancel) : testing_support::pushQuit();
      pausedCalls.push_back(call);
    });
    EXPECT_EQ(play(), giveUp ? kGameOverKeyPressed : kGameOverQuit);
    ASSERT_EQ(pausedCalls.size(), 3u);
    EXPECT_GT(pausedCalls[1], 8) << "not as soon as the focus was lost";
    EXPECT_EQ(pausedCalls[2], pausedCalls[1] + 2) << "resumed, then paused in the next frame";
    EXPECT_GT(shotsWhenPaused, kShotsBase + 5) << "P held fires every ten frames";
    EXPECT_EQ(gPlayerShots, shotsWhenPaused) << "the pause let go of it";
    toggleFullscreen();
  }
}

}  // namespace
