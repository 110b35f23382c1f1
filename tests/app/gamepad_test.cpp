// Game controllers on SDL's virtual joysticks, driving the real screens: the title menu, a game
// with its game-over screen, and Flight Control, which must not see the pads at all.
#include "app/gamepad.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

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

void hold(SDL_Joystick* pad, SDL_GameControllerButton button, bool down) { SDL_JoystickSetVirtualButton(pad, button, down); }
void tilt(SDL_Joystick* pad, SDL_GameControllerAxis axis, std::int32_t value) {
  SDL_JoystickSetVirtualAxis(pad, axis, static_cast<Sint16>(value));
}

// Plugs in a pad with the standard layout, which SDL maps as a game controller by itself. A
// trigger reads 0 at the lowest raw value, where it rests here, and full at the highest.
SDL_Joystick* plugPad() {
  SDL_VirtualJoystickDesc description{};
  description.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  description.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  description.naxes = SDL_CONTROLLER_AXIS_MAX;
  description.nbuttons = SDL_CONTROLLER_BUTTON_DPAD_RIGHT + 1;
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
// that came in the same frame as the button that chose it.
TEST_F(GamepadTest, TheMenuFollowsThePadAndFlightControlTakesOnlyKeyboardKeys) {
  SDL_Joystick* pad = plugPad();
  initializeGamepads();
  setGamepadContext(kGamepadMenus);
  std::unique_ptr<FrameDriver> driver(new FrameDriver([&](std::int32_t frame) {
    switch (frame) {
      case 1:  // nothing the menu knows
        for (auto button : {SDL_CONTROLLER_BUTTON_B, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, SDL_CONTROLLER_BUTTON_DPAD_LEFT}) {
          hold(pad, button, true);
        }
        tilt(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, SDL_JOYSTICK_AXIS_MAX);
        break;
      case 2: hold(pad, SDL_CONTROLLER_BUTTON_DPAD_DOWN, true); break;  // play to Flight Control
      case 3: hold(pad, SDL_CONTROLLER_BUTTON_DPAD_DOWN, false); break;
      case 4: tilt(pad, SDL_CONTROLLER_AXIS_LEFTY, SDL_JOYSTICK_AXIS_MAX); break;  // to quit
      case 5: tilt(pad, SDL_CONTROLLER_AXIS_LEFTY, SDL_JOYSTICK_AXIS_MIN); break;  // back up
      case 6:
        tilt(pad, SDL_CONTROLLER_AXIS_LEFTY, 0);
        hold(pad, SDL_CONTROLLER_BUTTON_BACK, true);  // the fullscreen key
        break;
      case 7:
        hold(pad, SDL_CONTROLLER_BUTTON_A, true);
        hold(pad, SDL_CONTROLLER_BUTTON_DPAD_DOWN, true);  // queued behind A
        break;
      case 30: testing_support::pushQuit(); break;  // only if nothing was chosen
      default: break;
    }
  }));
  EXPECT_EQ(displayTitleScreen(), kTitleKeyConfiguration);
  EXPECT_EQ(gIsFullscreen, 1);

  setGamepadContext(kGamepadOff);
  const std::array<SDL_Keycode, kKeyBindingCount> typed = {SDLK_w, SDLK_s, SDLK_a, SDLK_d,
                                                          SDLK_SPACE, SDLK_e, SDLK_q, SDLK_F5};
  driver.reset(new FrameDriver([&](std::int32_t frame) {
    if (frame <= 2) holdAll(pad, frame == 1);  // every button and axis, pressed and let go
    if (frame == 3) {
      for (const SDL_Keycode key : typed) testing_support::pushKeyDown(key);
      testing_support::pushKeyDown(SDLK_x);  // the final key
    }
    if (frame == 30) testing_support::pushQuit();  // only if the capture did not end
  }));
  EXPECT_EQ(adjustSettings(), kSettingsSaved);
  std::ifstream file(kSettingsPath, std::ios::binary);
  const std::vector<char> saved{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  ASSERT_EQ(saved.size(), sizeof typed);
  EXPECT_EQ(std::memcmp(saved.data(), typed.data(), saved.size()), 0);

  setGamepadContext(kGamepadMenus);  // Start chooses too
  driver.reset(new FrameDriver([&](std::int32_t frame) {
    if (frame == 1) holdAll(pad, false);
    if (frame == 2) hold(pad, SDL_CONTROLLER_BUTTON_START, true);
    if (frame == 30) testing_support::pushQuit();
  }));
  EXPECT_EQ(displayTitleScreen(), kTitlePlay);
  driver.reset();
  unplugPad(pad);
}

// A game steered and fired from the pad, with the stick's dead zone and hysteresis; a second pad
// plugged in mid-game holds a direction with the first, and unplugged alone stops the bird; the
// first, unplugged and plugged in again and again, steers as before; any button leaves the
// game-over screen. Start pauses and resumes, B gives up.
TEST_F(GamepadTest, AGameIsSteeredAndFiredFromPadsThatComeAndGo) {
  initializeGamepads();
  SDL_Joystick* pad = plugPad();
  SDL_Joystick* secondPad = nullptr;
  setGamepadContext(kGamepadGame);
  std::string moves;  // per frame: R, L, U, D or . for none
  std::vector<std::int32_t> shotFrames;
  std::int32_t lastX = kPlayerStartX;
  std::int32_t lastY = kPlayerStartY;
  std::int32_t lastShots = kShotsBase;
  std::int32_t gameOverFrame = 0;
  const std::int32_t between = (kAxisPressDeflection + kAxisReleaseDeflection) / 2;
  FrameDriver driver([&](std::int32_t frame) {
    if (gPlayerHP < 1) {  // after the game-over screen's pause
      if (gameOverFrame == 0) gameOverFrame = frame;
      if (frame == gameOverFrame + 1) hold(pad, SDL_CONTROLLER_BUTTON_Y, true);
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
    switch (frame) {  // what the pad does here is handled in the next frame
      case 1: hold(pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, true); break;
      case 3:
        hold(pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, false);
        hold(pad, SDL_CONTROLLER_BUTTON_A, true);
        break;
      case 5: hold(pad, SDL_CONTROLLER_BUTTON_A, false); break;
      case 6: tilt(pad, SDL_CONTROLLER_AXIS_LEFTY, kAxisPressDeflection - 1); break;  // dead zone
      case 8: tilt(pad, SDL_CONTROLLER_AXIS_LEFTY, kAxisPressDeflection); break;
      case 10: tilt(pad, SDL_CONTROLLER_AXIS_LEFTY, between); break;  // still held
      case 12: tilt(pad, SDL_CONTROLLER_AXIS_LEFTY, kAxisReleaseDeflection); break;
      case 14: tilt(pad, SDL_CONTROLLER_AXIS_LEFTY, kAxisReleaseDeflection - 1); break;
      case 16: tilt(pad, SDL_CONTROLLER_AXIS_LEFTY, between); break;  // not pressed again
      case 18: tilt(pad, SDL_CONTROLLER_AXIS_LEFTY, -kAxisPressDeflection); break;
      case 20: tilt(pad, SDL_CONTROLLER_AXIS_LEFTY, 0); break;
      case 22: hold(pad, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, true); break;
      case 24: hold(pad, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, false); break;
      case 26: hold(pad, SDL_CONTROLLER_BUTTON_BACK, true); break;
      case 34: tilt(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, SDL_JOYSTICK_AXIS_MAX); break;
      case 36: tilt(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, SDL_JOYSTICK_AXIS_MIN); break;
      case 38: secondPad = plugPad(); break;
      case 39: hold(secondPad, SDL_CONTROLLER_BUTTON_DPAD_LEFT, true); break;
      case 41: hold(pad, SDL_CONTROLLER_BUTTON_DPAD_LEFT, true); break;
      case 43: hold(pad, SDL_CONTROLLER_BUTTON_DPAD_LEFT, false); break;  // the second pad holds on
      case 45: unplugPad(secondPad); break;  // handled in this very frame
      case 46:  // unplugged and plugged in again, more often than there are places for pads
        for (int again = 0; again < 9; ++again) {
          unplugPad(pad);
          pad = plugPad();
        }
        break;
      case 47: hold(pad, SDL_CONTROLLER_BUTTON_DPAD_UP, true); break;
      case 49: hold(pad, SDL_CONTROLLER_BUTTON_DPAD_UP, false); break;
      // Start pauses with the pad's right held, and again resumes: the right counts as let go.
      // In the next pause, B gives up. Each paused call is one look at the pad.
      case 51:
        hold(pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, true);
        hold(pad, SDL_CONTROLLER_BUTTON_START, true);
        break;
      case 53:
      case 56: hold(pad, SDL_CONTROLLER_BUTTON_START, false); break;
      case 54:
      case 57: hold(pad, SDL_CONTROLLER_BUTTON_START, true); break;
      case 60: hold(pad, SDL_CONTROLLER_BUTTON_B, true); break;
      case 85: testing_support::pushQuit(); break;  // only if the game did not end
      default: break;
    }
  });
  EXPECT_EQ(play(), kGameOverKeyPressed);
  // The pad's right, pressed with Start, is held through both pauses: let go by the first.
  EXPECT_EQ(moves, "." "RR" "....." "DDDDDD" "...." "UU" + std::string(19, '.') + "LLLLL" "..." "UU" + std::string(11, '.'));
  EXPECT_EQ(shotFrames, (std::vector<std::int32_t>{4, 23, 35}));
  EXPECT_EQ(gIsFullscreen, 1);
  unplugPad(pad);
}

}  // namespace
