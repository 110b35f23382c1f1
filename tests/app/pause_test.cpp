// The pause in driven games on the software renderer: the paused picture, a world that goes on
// exactly where it stopped, the keys that pause, resume and give up, a close request, the focus.
#include "app/pause.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/platform.h"
#include "app/settings.h"
#include "game/coded_sheet.h"
#include "game/enemies.h"
#include "game/play.h"
#include "game/player.h"
#include "game/projectiles.h"
#include "screens/gameover.h"
#include "support/frame_driver.h"
#include "support/harness.h"

namespace {

using testing_support::FrameDriver;
using testing_support::pushKeyDown;

const std::string kKeysLine = "Resume: P, Escape or Pause    Give up: Backspace";

bool showsPausedPicture(const std::string& keysLine) {
  const auto length = static_cast<std::int32_t>(keysLine.size());
  return testing_support::textAt((800 - 10 * length) / 2, 305, length, 2) == keysLine;
}

// The bird, the pools, the score and the sky's column at the bottom-left corner.
std::vector<std::int32_t> world() {
  const coded_sheet::SheetPixel sky = coded_sheet::sheetPixelAt(0, 599);
  std::vector<std::int32_t> state = {gPlayerX, gPlayerY, gPlayerHP, gPlayerCooldown, gScore, gPlayerShots,
                                     sky.x + 1920 * sky.tag};
  for (std::int32_t index = 0; index < gNumberOfEnemies; ++index) {
    state.insert(state.end(), gEnemyList[index], gEnemyList[index] + kEnemyFieldCount);
  }
  for (std::int32_t index = 0; index < gNumberOfEnemyProjectiles2; ++index) state.push_back(gEnemyProjectileList2[index].x);
  for (std::int32_t index = 0; index < gNumberOfPlayerProjectiles; ++index) state.push_back(gPlayerProjectileList[index].x);
  return state;
}

class PauseTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(testing_support::useSoftwareRendererWithMedia(), 0);
    for (std::int32_t sheet : {kTextureBackground0, kTextureBackground1}) {
      SDL_DestroyTexture(gTexture[sheet]);
      gTexture[sheet] = coded_sheet::makeCodedSheet(gRenderer, 1920, 300, sheet);
    }
    testing_support::useCoordinateFont();
    // The synthesiser draws from rand() as it plays, and the games must draw the same numbers.
    std::remove((testing_support::currentRunDirectory().common + "/mus02.mid").c_str());
  }
  static void TearDownTestSuite() { testing_support::releaseSoftwareRenderer(); }
  void SetUp() override {
    testing_support::resetToStartUpState();
    armPause(&gPlayerHP);
    srand(99);
  }
  void TearDown() override {
    armPause(nullptr);
    testing_support::resetToStartUpState();
  }

  // 170 frames with the attack key held from the first. With a pause in frame `pauseAt`, P
  // resumes it from the paused picture; without, the attack key is let go where the pause
  // would let go of it. The world after each game frame, the sky counted from the first.
  std::vector<std::vector<std::int32_t>> playHoldingAttack(std::int32_t pauseAt) {
    std::vector<std::vector<std::int32_t>> worlds;
    std::int32_t pausedCall = -1;
    std::int32_t firstSky = 0;
    FrameDriver driver([&](std::int32_t call) {
      if (call == pausedCall) {
        EXPECT_TRUE(showsPausedPicture(kKeysLine));
        EXPECT_EQ(testing_support::pixelAt(323, 267).r, 94) << "the P of \"Paused\", three times the size";
        pausedPicture = canvasPixels();
        pushKeyDown(gKeycodeUp);  // dropped with the pause
        pushKeyDown(SDLK_p);
        return;
      }
      if (call == pausedCall + 1) keptFrame = canvasPixels();
      if (call == 1) pushKeyDown(gKeycodeAttack);
      if (call == 2) firstSky = world()[6];
      if (call >= 2) worlds.push_back(world()), worlds.back()[6] -= firstSky;
      if (call == pauseAt) pushKeyDown(SDLK_p), pausedCall = call + 1;
      if (pauseAt < 0 && call == 126) testing_support::pushKeyUp(gKeycodeAttack);
      if (call == (pauseAt < 0 ? 170 : 171)) testing_support::pushQuit();
    });
    EXPECT_EQ(play(), 0);
    return worlds;
  }
  static std::vector<Uint32> canvasPixels() {
    const auto* pixels = static_cast<const Uint32*>(testing_support::canvas()->pixels);
    return std::vector<Uint32>(pixels, pixels + 800 * 600);
  }
  std::vector<Uint32> pausedPicture;
  std::vector<Uint32> keptFrame;  // the frame under the paused picture, shown after the pause
};

TEST_F(PauseTest, APausedGameGoesOnFrameForFrameAsIfNoTimeHadPassedAndItsHeldKeysAreLetGo) {
  const std::vector<std::vector<std::int32_t>> unpaused = playHoldingAttack(-1);
  srand(99);
  const std::vector<std::vector<std::int32_t>> paused = playHoldingAttack(125);
  ASSERT_EQ(paused.size(), unpaused.size());
  for (std::size_t frame = 0; frame < paused.size(); ++frame) ASSERT_EQ(paused[frame], unpaused[frame]) << frame;
  EXPECT_GT(unpaused[125].size(), 7u) << "butterflies were about";
  EXPECT_EQ(unpaused.back()[5], kShotsBase + 13) << "shots every ten frames to frame 121, none after the pause";

  // Away from the band that carries the text, the paused picture is the kept frame dimmed by half.
  ASSERT_EQ(pausedPicture.size(), keptFrame.size());
  for (std::size_t pixel = 0; pixel < keptFrame.size(); pixel += 7) {
    if (pixel / 800 >= 225 && pixel / 800 < 360) continue;
    for (std::int32_t shift : {0, 8, 16}) {
      const std::int32_t kept = (keptFrame[pixel] >> shift) & 255;
      ASSERT_NEAR((pausedPicture[pixel] >> shift) & 255, kept * 127 / 255, 1) << pixel % 800 << "," << pixel / 800;
    }
  }
}

void pushFocusChange(Uint8 change) {
  SDL_Event event{};
  event.type = SDL_WINDOWEVENT;
  event.window.event = change;
  SDL_PushEvent(&event);
}

// With P bound to attack: P fires. The focus lost and regained while the fullscreen toggle
// settles does not pause; lost for good, it pauses once that time is over, and Escape resumes
// and pauses again. Then the cancel key gives up, and the game-over screen shows the score so
// far and takes P as any key; or a close request ends the game.
TEST_F(PauseTest, TheFocusAndTheUnboundKeysPauseAndTheCancelKeyGivesUpWhereACloseRequestQuits) {
  const std::string keysLine = "Resume: Escape or Pause    Give up: Backspace";
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
      if (!showsPausedPicture(keysLine)) return;
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
