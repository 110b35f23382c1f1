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
  std::int32_t frame;
  std::int32_t button;  // kAxis for an axis
  std::int32_t value;   // or the axis's
  SDL_GameControllerAxis axis = SDL_CONTROLLER_AXIS_INVALID;
};
constexpr std::int32_t kAxis = -1;
constexpr SDL_GameControllerAxis kStickY = SDL_CONTROLLER_AXIS_LEFTY, kRightTrigger = SDL_CONTROLLER_AXIS_TRIGGERRIGHT;

void tilt(SDL_Joystick* pad, SDL_GameControllerAxis axis, std::int32_t value) {
  SDL_JoystickSetVirtualAxis(pad, axis, static_cast<Sint16>(value));
}

void moveControls(SDL_Joystick* pad, const std::vector<Step>& steps, std::int32_t frame) {
  for (const Step& step : steps) {
    if (step.frame != frame) continue;
    if (step.button == kAxis) tilt(pad, step.axis, step.value);
    if (step.button != kAxis) SDL_JoystickSetVirtualButton(pad, step.button, static_cast<Uint8>(step.value));
  }
}

// A pad with the standard layout, which SDL maps as a game controller by itself. A trigger reads 0
// at the lowest raw value, where it rests, and full at the highest.
SDL_Joystick* plugPad() {
  SDL_VirtualJoystickDesc description{};
  description.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  description.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  description.naxes = SDL_CONTROLLER_AXIS_MAX;
  description.nbuttons = SDL_CONTROLLER_BUTTON_DPAD_RIGHT + 1;
  SDL_Joystick* pad = SDL_JoystickOpen(SDL_JoystickAttachVirtualEx(&description));
  tilt(pad, SDL_CONTROLLER_AXIS_TRIGGERLEFT, SDL_JOYSTICK_AXIS_MIN);
  tilt(pad, kRightTrigger, SDL_JOYSTICK_AXIS_MIN);
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
  for (int button = 0; button <= SDL_CONTROLLER_BUTTON_DPAD_RIGHT; ++button) SDL_JoystickSetVirtualButton(pad, button, down);
  for (int axis = 0; axis < SDL_CONTROLLER_AXIS_MAX; ++axis) {
    const std::int32_t rest = axis >= SDL_CONTROLLER_AXIS_TRIGGERLEFT ? SDL_JOYSTICK_AXIS_MIN : 0;
    tilt(pad, static_cast<SDL_GameControllerAxis>(axis), down ? SDL_JOYSTICK_AXIS_MAX : rest);
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
  using B = SDL_GameControllerButton;
  SDL_Joystick* pad = plugPad();
  initializeGamepads();
  setGamepadContext(kGamepadMenus);
  const std::vector<Step> menu = {
      {1, B::SDL_CONTROLLER_BUTTON_B, 1}, {1, B::SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, 1},  // nothing the menu knows
      {1, B::SDL_CONTROLLER_BUTTON_DPAD_LEFT, 1}, {1, kAxis, SDL_JOYSTICK_AXIS_MAX, kRightTrigger},
      {2, B::SDL_CONTROLLER_BUTTON_DPAD_DOWN, 1}, {3, B::SDL_CONTROLLER_BUTTON_DPAD_DOWN, 0},  // to Flight Control
      {4, kAxis, SDL_JOYSTICK_AXIS_MAX, kStickY}, {5, kAxis, SDL_JOYSTICK_AXIS_MIN, kStickY},  // to quit, back up
      {6, kAxis, 0, kStickY}, {6, B::SDL_CONTROLLER_BUTTON_BACK, 1},                         // the fullscreen key
      {7, B::SDL_CONTROLLER_BUTTON_A, 1}, {7, B::SDL_CONTROLLER_BUTTON_DPAD_DOWN, 1}};       // down queued behind A
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
    moveControls(pad, {{2, B::SDL_CONTROLLER_BUTTON_START, 1}}, frame);
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
  using B = SDL_GameControllerButton;
  initializeGamepads();
  SDL_Joystick* pad = plugPad();
  SDL_Joystick* secondPad = nullptr;
  setGamepadContext(kGamepadGame);
  const std::int32_t between = (kAxisPressDeflection + kAxisReleaseDeflection) / 2;
  const std::vector<Step> steps = {
      {1, B::SDL_CONTROLLER_BUTTON_DPAD_RIGHT, 1}, {3, B::SDL_CONTROLLER_BUTTON_DPAD_RIGHT, 0},
      {3, B::SDL_CONTROLLER_BUTTON_A, 1}, {5, B::SDL_CONTROLLER_BUTTON_A, 0},
      {6, kAxis, kAxisPressDeflection - 1, kStickY}, {8, kAxis, kAxisPressDeflection, kStickY},  // the dead zone
      {10, kAxis, between, kStickY}, {12, kAxis, kAxisReleaseDeflection, kStickY},  // still held
      {14, kAxis, kAxisReleaseDeflection - 1, kStickY}, {16, kAxis, between, kStickY},  // not pressed again
      {18, kAxis, -kAxisPressDeflection, kStickY}, {20, kAxis, 0, kStickY},
      {22, B::SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, 1}, {24, B::SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, 0},
      {26, B::SDL_CONTROLLER_BUTTON_BACK, 1}, {34, kAxis, SDL_JOYSTICK_AXIS_MAX, kRightTrigger},
      {36, kAxis, SDL_JOYSTICK_AXIS_MIN, kRightTrigger}, {41, B::SDL_CONTROLLER_BUTTON_DPAD_LEFT, 1},
      {43, B::SDL_CONTROLLER_BUTTON_DPAD_LEFT, 0},  // the second pad holds on
      {47, B::SDL_CONTROLLER_BUTTON_DPAD_UP, 1}, {49, B::SDL_CONTROLLER_BUTTON_DPAD_UP, 0},
      // Start pauses with the right held, and again resumes: the right counts as let go. In the
      // next pause, B gives up. Each paused call is one look at the pad.
      {51, B::SDL_CONTROLLER_BUTTON_DPAD_RIGHT, 1}, {51, B::SDL_CONTROLLER_BUTTON_START, 1},
      {53, B::SDL_CONTROLLER_BUTTON_START, 0}, {54, B::SDL_CONTROLLER_BUTTON_START, 1},
      {56, B::SDL_CONTROLLER_BUTTON_START, 0}, {57, B::SDL_CONTROLLER_BUTTON_START, 1},
      {60, B::SDL_CONTROLLER_BUTTON_B, 1}};
  std::string moves;  // per frame: R, L, U, D or . for none
  std::vector<std::int32_t> shotFrames;
  std::int32_t lastX = kPlayerStartX, lastY = kPlayerStartY, lastShots = kShotsBase, gameOverFrame = 0;
  FrameDriver driver([&](std::int32_t frame) {
    if (gPlayerHP < 1) {  // after the game-over screen's pause
      if (gameOverFrame == 0) gameOverFrame = frame;
      if (frame == gameOverFrame + 1) SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_Y, 1);
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
    if (frame == 39) SDL_JoystickSetVirtualButton(secondPad, SDL_CONTROLLER_BUTTON_DPAD_LEFT, 1);
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
