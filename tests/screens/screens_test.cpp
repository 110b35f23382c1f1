// The title, key configuration and game-over screens on their event queue with the committed media.
#include <gtest/gtest.h>

#include <SDL_mixer.h>

#include <array>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/board_mailbox.h"
#include "app/scores.h"
#include "app/settings.h"
#include "app/ticket.h"
#include "game/play.h"
#include "game/replay.h"
#include "game/sheet_checks.h"
#include "screens/gameover.h"
#include "screens/keyconfig.h"
#include "screens/title.h"
#include "support/frame_driver.h"
#include "text/text.h"

namespace {

namespace fs = std::filesystem;
using sheets::drawnFrom;
using testing_support::textAt;
using testing_support::FrameDriver;
using testing_support::pushKeyDown;
using Bytes = std::vector<std::uint8_t>;
using Bindings = std::array<SDL_Keycode, kKeyBindingCount>;

// Presses; releases as negative codes, kRepeat for an auto-repeat of the key before, 0 to close.
constexpr SDL_Keycode kRepeat = 1;
void push(const std::vector<SDL_Keycode>& events) {
  for (std::size_t i = 0; i < events.size(); ++i) {
    const SDL_Keycode key = events[i];
    if (key == 0) testing_support::pushQuit();
    else if (key < 0) testing_support::pushKeyUp(-key);
    else pushKeyDown(key == kRepeat ? events[i - 1] : key, key == kRepeat);
  }
}

// Text in the coordinate font at (x, y), in the style given.
bool textShown(std::int32_t x, std::int32_t y, const std::string& text, std::int32_t style) {
  return textAt(x, y, static_cast<std::int32_t>(text.size()), style) == text;
}

bool queueIsEmpty() { return SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 0; }

std::atomic<std::int32_t> gSoundsFinished{0};

class ScreensTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(testing_support::useSoftwareRendererWithMedia(), 0);
    testing_support::useCoordinateFont();
  }
  static void TearDownTestSuite() { testing_support::releaseSoftwareRenderer(); }
  void SetUp() override {
    testing_support::resetToStartUpState();
    Mix_ChannelFinished([](int) { ++gSoundsFinished; });
    Mix_HaltChannel(-1);
    gSoundsFinished = 0;
    gIsFullscreen = 0;
    gScore = gBestScoreCount = 0;
    settings = testing_support::currentRunDirectory().common + "/Settings.bin";
    fs::remove_all(settings);
  }
  void TearDown() override {
    testing_support::resetToStartUpState();
    fs::remove_all(settings);
  }
  static std::int32_t sounds() { return Mix_Playing(-1) + gSoundsFinished; }
  std::string settings;
};

// Moves wrap; moves and the confirmation sound; the fullscreen key toggles, also when bound to a
// move; a close request returns Quit, silent, and leaves what follows.
TEST_F(ScreensTest, TheTitleMenuMovesWrapsAndReturnsTheEntryConfirmed) {
  const SDL_Keycode up = SDLK_UP, down = SDLK_DOWN, enter = SDLK_RETURN;
  struct { std::vector<SDL_Keycode> events; std::int32_t result, sounds, toggles; std::vector<std::pair<SDL_Keycode*, SDL_Keycode>> bind; bool leftOver = false; } const cases[] = {
      {{enter}, kTitlePlay, 1, 0, {}},
      {{up, enter}, kTitleQuit, 2, 0, {}},
      {{up, up, enter}, kTitleKeyConfiguration, 3, 0, {}},
      {{down, down, down, enter}, kTitlePlay, 4, 0, {}},
      {{down, kRepeat, -down, SDLK_a, SDLK_BACKSPACE, enter}, kTitleQuit, 3, 0, {}},
      {{up, enter, SDLK_s, SDLK_SPACE}, kTitleKeyConfiguration, 2, 0,
       {{&gKeycodeUp, SDLK_w}, {&gKeycodeDown, SDLK_s}, {&gKeycodeConfirm, SDLK_SPACE}}},
      {{SDLK_F4, SDLK_F4, SDLK_F4, enter}, kTitlePlay, 1, 3, {}},
      {{up, enter}, kTitleQuit, 2, 1, {{&gKeycodeToggleFullscreen, up}}},
      {{enter}, kTitlePlay, 1, 1, {{&gKeycodeToggleFullscreen, enter}}},
      {{down, 0, enter}, kTitleQuit, 1, 0, {}, true},
      {{0}, kTitleQuit, 0, 0, {}},
  };
  for (const auto& menu : cases) {
    SetUp();
    for (const auto& [binding, key] : menu.bind) *binding = key;
    push(menu.events);
    EXPECT_EQ(displayTitleScreen(), menu.result) << &menu - cases;
    EXPECT_EQ(sounds(), menu.sounds) << &menu - cases;
    EXPECT_EQ(gIsFullscreen, menu.toggles % 2) << &menu - cases;
    EXPECT_EQ(queueIsEmpty(), !menu.leftOver) << &menu - cases;
    testing_support::drainEvents();
  }
}

const Bindings kNew = {SDLK_w, SDLK_s, SDLK_a, SDLK_d, SDLK_SPACE, SDLK_e, SDLK_q, SDLK_F5};

Bytes littleEndian(const Bindings& bindings) {
  Bytes bytes;
  for (const SDL_Keycode key : bindings) {
    for (std::int32_t shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(key >> shift));
  }
  return bytes;
}

// A key taken in this visit rings the bell, the old key of a binding still to come does not; a
// ninth key saves; a failed save says why; a close request, even behind the ninth key, saves nothing.
TEST_F(ScreensTest, TheKeyConfigurationCapturesEightKeysAndSavesThem) {
  const SDL_Keycode w = SDLK_w, s = SDLK_s, a = SDLK_a, ctrl = SDLK_RCTRL, q = SDLK_q;
  const std::vector<SDL_Keycode> fresh(kNew.begin(), kNew.end());
  auto then = [&fresh](std::vector<SDL_Keycode> keys) { keys.insert(keys.begin(), fresh.begin(), fresh.end()); return keys; };
  const Bindings defaults = {SDLK_UP, SDLK_DOWN, SDLK_LEFT, SDLK_RIGHT, ctrl, SDLK_RETURN, SDLK_BACKSPACE, SDLK_F4};
  const Bytes defaultFile = {0x52, 0, 0, 0x40, 0x51, 0, 0, 0x40, 0x50, 0, 0, 0x40, 0x4F, 0, 0, 0x40,
                             0xE4, 0, 0, 0x40, 0x0D, 0, 0, 0,    0x08, 0, 0, 0,    0x3D, 0, 0, 0x40};
  struct { std::vector<SDL_Keycode> keys; bool blocked; std::int32_t result; std::string output; Bindings bindings; Bytes file; } const cases[] = {
      {{SDLK_UP, SDLK_DOWN, SDLK_LEFT, SDLK_RIGHT, ctrl, SDLK_RETURN, SDLK_BACKSPACE, SDLK_F4, SDLK_RETURN}, false, kSettingsSaved, "",
       defaults, defaultFile},
      {{w, w, s, s, w, a, ctrl, ctrl, SDLK_UP, SDLK_e, q, SDLK_F5, q}, false, kSettingsSaved, "\a\a\a\a",
       {w, s, a, ctrl, SDLK_UP, SDLK_e, q, SDLK_F5}, littleEndian({w, s, a, ctrl, SDLK_UP, SDLK_e, q, SDLK_F5})},
      {{w, s, a, SDLK_d, SDLK_SPACE, SDLK_e, q, w, s, a, SDLK_d, SDLK_SPACE, SDLK_e, q, SDLK_ESCAPE, SDLK_ESCAPE}, false,
       kSettingsSaved, std::string(7, '\a'), {w, s, a, SDLK_d, SDLK_SPACE, SDLK_e, q, SDLK_ESCAPE},
       littleEndian({w, s, a, SDLK_d, SDLK_SPACE, SDLK_e, q, SDLK_ESCAPE})},
      {then({SDLK_x, SDLK_y, w, -w}), false, kSettingsSaved, "", kNew, littleEndian(kNew)},
      {then({SDLK_x}), true, kSettingsSaveFailed, "Error opening file Settings.bin", kNew, {}},
      {{0, SDLK_z}, false, 0, "", defaults, {}},
      {then({SDLK_x, 0, SDLK_z}), false, 0, "", kNew, {}},
  };
  for (const auto& capture : cases) {
    SetUp();
    if (capture.blocked) fs::create_directory(settings);  // nothing can be written in its place
    push(capture.keys);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(adjustSettings(), capture.result);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), capture.output);
    EXPECT_EQ(Bindings({gKeyBindings[0], gKeyBindings[1], gKeyBindings[2], gKeyBindings[3], gKeyBindings[4],
                        gKeyBindings[5], gKeyBindings[6], gKeyBindings[7]}), capture.bindings);
    EXPECT_EQ(capture.blocked ? Bytes{} : testing_support::readFileBytes(settings), capture.file);
    EXPECT_EQ(fs::exists(settings), capture.blocked || !capture.file.empty());
    EXPECT_FALSE(fs::exists(settings + ".tmp"));
    EXPECT_EQ(queueIsEmpty(), capture.result != 0) << "every pending event is taken, or what follows a close left";
  }
}

// The scores from the first frame through the pause, which drops what arrives meanwhile; then a
// press ends the screen, releases do not, closing returns Quit. Each game joins the table once.
TEST_F(ScreensTest, TheGameOverScreenShowsTheScoresAndWaitsOutItsPause) {
  const SDL_Surface* black = sheets::plain({0, 0, 0, 255});
  const SDL_Keycode up = SDLK_UP, ctrl = SDLK_RCTRL;
  struct { std::int32_t score; std::vector<SDL_Keycode> before, after; std::int32_t result; const char* best; } const cases[] = {
      {0, {ctrl, 0}, {SDLK_x}, kGameOverKeyPressed, "0"},
      {1234567, {}, {0}, kGameOverQuit, "1234567"},
      {5, {}, {-ctrl, -up, 0}, kGameOverQuit, "1234567"},
      {6, {}, {SDLK_SPACE}, kGameOverKeyPressed, "1234567"},
  };
  for (const auto& game : cases) {
    gScore = game.score;
    const std::int32_t count = gBestScoreCount;
    push(game.before);
    const SDL_TimerID duringPause = SDL_AddTimer(500, [](Uint32, void*) -> Uint32 { pushKeyDown(SDLK_RETURN); return 0; }, nullptr);
    const Uint32 start = SDL_GetTicks();
    FrameDriver driver([&](std::int32_t pass) {
      EXPECT_TRUE(textShown(350, 450, "Happy Birthday, you filthy animal!", 2) &&
                  textShown(450, 475, "Your score: " + std::to_string(game.score), 2) &&
                  textShown(450, 500, std::string("Best score: ") + game.best, 2)) << game.score << ", pass " << pass;
      EXPECT_TRUE(drawnFrom(black, {0, 0, 1, 1}, {0, 0, 800, 450}, false) && drawnFrom(black, {0, 0, 1, 1}, {0, 515, 800, 85}, false) &&
                  drawnFrom(black, {0, 0, 1, 1}, {0, 490, 450, 25}, false));
      if (pass == 1) push(game.after);
    });
    EXPECT_EQ(displayGameOverScreen(), game.result) << game.score;
    EXPECT_GE(SDL_GetTicks() - start, static_cast<Uint32>(kGameOverPause));
    SDL_RemoveTimer(duringPause);
    EXPECT_EQ(gDebugTextIndex, 0);
    EXPECT_EQ(gBestScoreCount, count + 1);
    gBestScoreCount = 0;
    loadScores();
    EXPECT_EQ(gBestScoreCount, count + 1);
    testing_support::drainEvents();
  }
}

// The board thread played here: the game on a ticket arrives marked so; the answer for it is
// drawn, a late one for an earlier game not.
TEST_F(ScreensTest, TheBoardsAnswerForThisGameIsDrawnOnceItArrives) {
  gScore = 40;
  startRecording(Bytes(kTicketSize, 7));
  openBoardMailbox(true);
  std::vector<BoardJob> taken;
  std::thread board([&taken] {
    for (BoardJob job; takeBoardJob(job);) {
      taken.push_back(job);
      if (!job.ticket) postBoardLine(job.game, "On the board: rank 12"), postBoardLine(job.game - 1, "On the board: rank 99");
    }
  });
  FrameDriver driver([](std::int32_t pass) { if (pass == 1) pushKeyDown(SDLK_SPACE); });
  EXPECT_EQ(displayGameOverScreen(), kGameOverKeyPressed);
  EXPECT_TRUE(textShown(450, 500, "Best score: 40", 2) && textShown(kGameOverBoardX, kGameOverBoardY, "On the board: rank 12", 2));
  closeBoardMailbox();
  board.join();
  EXPECT_EQ(boardLine()[0], '\0');
  ASSERT_EQ(taken.size(), 3u);  // the ticket asked for at start-up, then this game's, then the game
  EXPECT_EQ(std::vector<bool>({taken[0].ticket, taken[1].ticket, taken[2].ticket, taken[2].onTicket}),
            std::vector<bool>({true, true, false, true}));
  EXPECT_EQ(taken[2].replay, encodeReplay(gRecording));
}

}  // namespace
