// The pause in driven games on the software renderer: what pauses and what does not, the paused
// picture, a world that goes on exactly where it stopped, and giving up.
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

using testing_support::pushKeyDown;

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
TEST(PauseTest, APausedGameGoesOnAsIfNoTimeHadPassedAndCanBeGivenUp) {
  testing_support::resetToStartUpState();
  ASSERT_EQ(testing_support::useSoftwareRendererWithMedia(), 0);
  testing_support::useCoordinateFont();
  std::remove("../Common/mus02.mid");  // the synthesiser draws from rand() as it plays
  gKeycodeAttack = SDLK_p;
  std::vector<std::vector<std::int32_t>> worlds[2];
  std::vector<Uint32> pausedPicture, keptFrame;
  std::int32_t pausedCall = 0;
  std::int32_t gameOverCalls = 0;
  Uint32 toggleTicks = 0;
  for (const std::int32_t armed : {1, 0}) {
    armPause(armed == 1 ? &gPlayerHP : nullptr);
    srand(99);
    testing_support::FrameDriver driver([&](std::int32_t call) {
      const auto* pixels = static_cast<const Uint32*>(testing_support::canvas()->pixels);
      if (gPlayerHP < 1 && ++gameOverCalls == 3) {  // the first pass after the screen's one-second pause
        EXPECT_EQ(testing_support::textAt(450, 475, 15, 2), "Your score: 42 ");
        pushKeyDown(SDLK_p);
      }
      if (gPlayerHP < 1) return;
      if (armed == 1 && testing_support::textAt(175, 305, 45, 2) == "Resume: Escape or Pause    Give up: Backspace") {
        if (pausedCall == 0) {
          pausedCall = call;
          pausedPicture.assign(pixels, pixels + 800 * 600);
          EXPECT_GE(SDL_GetTicks() - toggleTicks, kFocusSettleMilliseconds);
          pushKeyDown(gKeycodeUp);  // dropped with the pause
        } else {
          gScore = 42;
          pushKeyDown(gKeycodeCancel);
        }
        pushKeyDown(SDLK_ESCAPE);
        return;
      }
      if (armed == 1 && call == pausedCall + 1) keptFrame.assign(pixels, pixels + 800 * 600);
      if (call == 1) pushKeyDown(SDLK_p);
      if (call == 100 || call == 170) pushKeyDown(gKeycodeToggleFullscreen), toggleTicks = SDL_GetTicks();
      if (call == 101 || call == 171) pushFocusChange(SDL_WINDOWEVENT_FOCUS_LOST);
      if (call == 103) pushFocusChange(SDL_WINDOWEVENT_FOCUS_GAINED);
      if (armed == 0 && call == pausedCall) testing_support::pushKeyUp(SDLK_p);
      if (call == 280 + armed) armed == 1 ? pushKeyDown(SDLK_ESCAPE) : testing_support::pushQuit();
      const std::int32_t enemies = std::accumulate(gEnemyList[0], gEnemyList[gNumberOfEnemies], 0);
      worlds[armed].push_back({gPlayerX, gPlayerY, gPlayerCooldown, gScore, gPlayerShots, enemies});
    });
    EXPECT_EQ(play(), armed == 1 ? kGameOverKeyPressed : kGameOverQuit);
  }
  armPause(nullptr);
  testing_support::releaseSoftwareRenderer();
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

}  // namespace
