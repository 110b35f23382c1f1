// Game controllers on SDL's virtual joysticks, driving the real screens: the title menu, a game
// with its pause and game-over screen, and Flight Control, which must not see the pads at all.
#include "app/gamepad.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>

#include "app/platform.h"
#include "app/settings.h"
#include "game/play.h"
#include "game/player.h"
#include "screens/gameover.h"
#include "screens/keyconfig.h"
#include "screens/title.h"
#include "support/frame_driver.h"
#include "support/harness.h"

namespace {

using testing_support::FrameDriver;

// What a pad does at the start of a frame: a button held (1) or let go (0), or an axis moved.
struct Step {
  std::int32_t frame, control, value;  // control: a button, or kAxis plus an axis
};
constexpr std::int32_t kAxis = 100, kStickY = kAxis + SDL_CONTROLLER_AXIS_LEFTY;
constexpr std::int32_t kRightTrigger = kAxis + SDL_CONTROLLER_AXIS_TRIGGERRIGHT;
constexpr std::int32_t kA = SDL_CONTROLLER_BUTTON_A, kB = SDL_CONTROLLER_BUTTON_B, kY = SDL_CONTROLLER_BUTTON_Y;
constexpr std::int32_t kBack = SDL_CONTROLLER_BUTTON_BACK, kStart = SDL_CONTROLLER_BUTTON_START;
constexpr std::int32_t kShoulder = SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, kUp = SDL_CONTROLLER_BUTTON_DPAD_UP;
constexpr std::int32_t kDown = SDL_CONTROLLER_BUTTON_DPAD_DOWN, kLeft = SDL_CONTROLLER_BUTTON_DPAD_LEFT;
constexpr std::int32_t kRight = SDL_CONTROLLER_BUTTON_DPAD_RIGHT;

void tilt(SDL_Joystick* pad, std::int32_t axis, std::int32_t value) {
  SDL_JoystickSetVirtualAxis(pad, axis, static_cast<Sint16>(value));
}

void moveControls(SDL_Joystick* pad, const std::vector<Step>& steps, std::int32_t frame) {
  for (const Step& step : steps) {
    if (step.frame == frame && step.control >= kAxis) tilt(pad, step.control - kAxis, step.value);
    if (step.frame == frame && step.control < kAxis) SDL_JoystickSetVirtualButton(pad, step.control, static_cast<Uint8>(step.value));
  }
}

// A pad with the standard layout, which SDL maps as a game controller by itself. A trigger reads 0
// at the lowest raw value, where it rests, and full at the highest.
SDL_Joystick* plugPad() {
  SDL_VirtualJoystickDesc description{};
  description.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  description.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  description.naxes = SDL_CONTROLLER_AXIS_MAX;
  description.nbuttons = kRight + 1;
  SDL_Joystick* pad = SDL_JoystickOpen(SDL_JoystickAttachVirtualEx(&description));
  tilt(pad, SDL_CONTROLLER_AXIS_TRIGGERLEFT, SDL_JOYSTICK_AXIS_MIN);
  tilt(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, SDL_JOYSTICK_AXIS_MIN);
  return pad;
}

void unplugPad(SDL_Joystick* pad) {
  for (int index = 0; index < SDL_NumJoysticks(); ++index) {
    if (SDL_JoystickGetDeviceInstanceID(index) == SDL_JoystickInstanceID(pad)) SDL_JoystickDetachVirtual(index);
  }
  SDL_JoystickClose(pad);
}

// Every button and axis at once: held, the stick down and right, the triggers pulled; or let go.
void holdAll(SDL_Joystick* pad, bool down) {
  for (int button = 0; button <= kRight; ++button) SDL_JoystickSetVirtualButton(pad, button, down);
  for (int axis = 0; axis < SDL_CONTROLLER_AXIS_MAX; ++axis) {
    tilt(pad, axis, down ? SDL_JOYSTICK_AXIS_MAX : axis >= SDL_CONTROLLER_AXIS_TRIGGERLEFT ? SDL_JOYSTICK_AXIS_MIN : 0);
  }
}

class GamepadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(testing_support::useSoftwareRendererWithMedia(), 0); }
  static void TearDownTestSuite() { testing_support::releaseSoftwareRenderer(); }
  // Virtual pads need the joystick subsystem before the game starts its controllers.
  void SetUp() override { ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError(); }
  void TearDown() override {
    closeGamepads();
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    testing_support::resetToStartUpState();
    gIsFullscreen = 0;
    std::remove(kSettingsPath);
  }
};

// With the contexts set as the top-level loop sets them, the title follows a pad plugged in
// before the start; Flight Control then takes the keyboard's keys only, not even the pad's press
// that came in the same frame as the button that chose it; Start chooses too.
TEST_F(GamepadTest, TheMenuFollowsThePadAndFlightControlTakesOnlyKeyboardKeys) {
  SDL_Joystick* pad = plugPad();
  initializeGamepads();
  setGamepadContext(kGamepadMenus);
  const std::vector<Step> menu = {
      {1, kB, 1}, {1, kShoulder, 1}, {1, kLeft, 1}, {1, kRightTrigger, SDL_JOYSTICK_AXIS_MAX},  // nothing the menu knows
      {2, kDown, 1}, {3, kDown, 0}, {4, kStickY, SDL_JOYSTICK_AXIS_MAX}, {5, kStickY, SDL_JOYSTICK_AXIS_MIN},  // to Flight Control, quit and back
      {6, kStickY, 0}, {6, kBack, 1}, {7, kA, 1}, {7, kDown, 1}};  // the fullscreen key; down queued behind A
  auto driver = std::make_unique<FrameDriver>([&](std::int32_t frame) {
    moveControls(pad, menu, frame);
    if (frame == 30) testing_support::pushQuit();  // only if nothing was chosen
  });
  EXPECT_EQ(displayTitleScreen(), kTitleKeyConfiguration);
  EXPECT_EQ(gIsFullscreen, 1);

  setGamepadContext(kGamepadOff);
  const std::array<SDL_Keycode, kKeyBindingCount> typed = {SDLK_w, SDLK_s, SDLK_a, SDLK_d, SDLK_SPACE, SDLK_e, SDLK_q, SDLK_F5};
  driver = std::make_unique<FrameDriver>([&](std::int32_t frame) {
    if (frame <= 2) holdAll(pad, frame == 1);  // every button and axis, pressed and let go
    if (frame == 3) {
      for (const SDL_Keycode key : typed) testing_support::pushKeyDown(key);
      testing_support::pushKeyDown(SDLK_x);  // the final key
    }
    if (frame == 30) testing_support::pushQuit();
  });
  EXPECT_EQ(adjustSettings(), kSettingsSaved);
  const std::vector<std::uint8_t> saved = testing_support::readFileBytes(kSettingsPath);
  ASSERT_EQ(saved.size(), sizeof typed);
  EXPECT_EQ(std::memcmp(saved.data(), typed.data(), saved.size()), 0);

  setGamepadContext(kGamepadMenus);
  driver = std::make_unique<FrameDriver>([&](std::int32_t frame) {
    if (frame == 1) holdAll(pad, false);
    moveControls(pad, {{2, kStart, 1}}, frame);
    if (frame == 30) testing_support::pushQuit();
  });
  EXPECT_EQ(displayTitleScreen(), kTitlePlay);
  driver.reset();
  unplugPad(pad);
}

// A game steered and fired from the pad, with the stick's dead zone and hysteresis at both of its
// thresholds; a second pad plugged in mid-game holds a direction with the first, and unplugged
// alone stops the bird; the first, unplugged and plugged in again more often than there are
// places for pads, steers as before; Start pauses and resumes, B gives up; any button leaves the
// game-over screen. What the pad does in a frame is handled in the next.
TEST_F(GamepadTest, AGameIsSteeredAndFiredFromPadsThatComeAndGo) {
  initializeGamepads();
  SDL_Joystick* pad = plugPad();
  SDL_Joystick* secondPad = nullptr;
  setGamepadContext(kGamepadGame);
  const std::int32_t between = (kAxisPressDeflection + kAxisReleaseDeflection) / 2;
  const std::vector<Step> steps = {
      {1, kRight, 1}, {3, kRight, 0}, {3, kA, 1}, {5, kA, 0},
      {6, kStickY, kAxisPressDeflection - 1}, {8, kStickY, kAxisPressDeflection},  // the dead zone
      {10, kStickY, between}, {12, kStickY, kAxisReleaseDeflection},               // still held
      {14, kStickY, kAxisReleaseDeflection - 1}, {16, kStickY, between},           // not pressed again
      {18, kStickY, -kAxisPressDeflection}, {20, kStickY, 0}, {22, kShoulder, 1}, {24, kShoulder, 0},
      {26, kBack, 1}, {34, kRightTrigger, SDL_JOYSTICK_AXIS_MAX}, {36, kRightTrigger, SDL_JOYSTICK_AXIS_MIN},
      {41, kLeft, 1}, {43, kLeft, 0},  // the second pad holds on
      {47, kUp, 1}, {49, kUp, 0},
      // Start pauses with the right held, and again resumes: the right counts as let go. In the
      // next pause, B gives up. Each paused call is one look at the pad.
      {51, kRight, 1}, {51, kStart, 1}, {53, kStart, 0}, {54, kStart, 1}, {56, kStart, 0}, {57, kStart, 1}, {60, kB, 1}};
  std::string moves;  // per frame: R, L, U, D or . for none
  std::vector<std::int32_t> shotFrames;
  std::int32_t lastX = kPlayerStartX, lastY = kPlayerStartY, lastShots = kShotsBase, gameOverFrame = 0;
  FrameDriver driver([&](std::int32_t frame) {
    if (gPlayerHP < 1) {  // after the game-over screen's pause
      if (gameOverFrame == 0) gameOverFrame = frame;
      if (frame == gameOverFrame + 1) SDL_JoystickSetVirtualButton(pad, kY, 1);
      if (frame == gameOverFrame + 20) testing_support::pushQuit();  // only if Y did nothing
      return;
    }
    if (frame >= 2) {
      moves += gPlayerX > lastX ? 'R' : gPlayerX < lastX ? 'L' : gPlayerY > lastY ? 'D' : gPlayerY < lastY ? 'U' : '.';
      if (gPlayerShots != lastShots) shotFrames.push_back(frame - 1);
      lastX = gPlayerX;
      lastY = gPlayerY;
      lastShots = gPlayerShots;
    }
    if (frame == 54 || frame == 56) {
      EXPECT_EQ(Mix_PausedMusic(), frame == 54 ? 1 : 0) << "the music waits for the game";
    }
    moveControls(pad, steps, frame);
    if (frame == 38) secondPad = plugPad();
    if (frame == 39) SDL_JoystickSetVirtualButton(secondPad, kLeft, 1);
    if (frame == 45) unplugPad(secondPad);  // handled in this very frame
    for (int again = 0; again < 9 && frame == 46; ++again) {
      unplugPad(pad);
      pad = plugPad();
    }
    if (frame == 85) testing_support::pushQuit();  // only if the game did not end
  });
  EXPECT_EQ(play(), kGameOverKeyPressed);
  // The pad's right, pressed with Start, is held through both pauses: let go by the first.
  EXPECT_EQ(moves, "." "RR" "....." "DDDDDD" "...." "UU" + std::string(19, '.') + "LLLLL" "..." "UU" + std::string(11, '.'));
  EXPECT_EQ(shotFrames, (std::vector<std::int32_t>{4, 23, 35}));
  EXPECT_EQ(gIsFullscreen, 1);
  unplugPad(pad);
}

}  // namespace
