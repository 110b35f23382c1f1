// Game controllers on SDL's virtual joysticks, driving the real screens: the title menu, a game
// with its game-over screen, and Flight Control, which must not see the pad at all.
#include "app/gamepad.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
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

// A controller with the standard layout, plugged in from construction until unplug(); SDL maps
// it as a game controller by itself. Its triggers rest at the lowest raw value.
class VirtualPad {
 public:
  VirtualPad() {
    SDL_VirtualJoystickDesc description{};
    description.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    description.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    description.naxes = SDL_CONTROLLER_AXIS_MAX;
    description.nbuttons = SDL_CONTROLLER_BUTTON_DPAD_RIGHT + 1;
    description.name = "virtual pad";
    joystick_ = SDL_JoystickOpen(SDL_JoystickAttachVirtualEx(&description));
    instance_ = SDL_JoystickInstanceID(joystick_);
    tilt(SDL_CONTROLLER_AXIS_TRIGGERLEFT, SDL_JOYSTICK_AXIS_MIN);
    tilt(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, SDL_JOYSTICK_AXIS_MIN);
  }
  ~VirtualPad() { unplug(); }
  VirtualPad(const VirtualPad&) = delete;
  VirtualPad& operator=(const VirtualPad&) = delete;

  void hold(SDL_GameControllerButton button, bool down) { SDL_JoystickSetVirtualButton(joystick_, button, down); }
  void holdAll(bool down) {
    for (int button = 0; button <= SDL_CONTROLLER_BUTTON_DPAD_RIGHT; ++button) {
      SDL_JoystickSetVirtualButton(joystick_, button, down);
    }
    for (int axis = 0; axis < SDL_CONTROLLER_AXIS_MAX; ++axis) {
      const bool trigger = axis >= SDL_CONTROLLER_AXIS_TRIGGERLEFT;
      SDL_JoystickSetVirtualAxis(joystick_, axis, down ? SDL_JOYSTICK_AXIS_MAX : trigger ? SDL_JOYSTICK_AXIS_MIN : 0);
    }
  }
  // A trigger reads 0 at the raw minimum and fully pressed at the raw maximum.
  void tilt(SDL_GameControllerAxis axis, std::int32_t value) {
    SDL_JoystickSetVirtualAxis(joystick_, axis, static_cast<Sint16>(value));
  }
  void unplug() {
    if (joystick_ == nullptr) return;
    for (int index = 0; index < SDL_NumJoysticks(); ++index) {
      if (SDL_JoystickGetDeviceInstanceID(index) == instance_) SDL_JoystickDetachVirtual(index);
    }
    SDL_JoystickClose(joystick_);
    joystick_ = nullptr;
  }

 private:
  SDL_Joystick* joystick_ = nullptr;
  SDL_JoystickID instance_ = -1;
};

class GamepadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(testing_support::useSoftwareRendererWithMedia(), 0); }
  static void TearDownTestSuite() { testing_support::releaseSoftwareRenderer(); }

  // Virtual joysticks need the joystick subsystem before the game starts its controllers.
  void SetUp() override {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
    testing_support::resetToStartUpState();
    gIsFullscreen = 0;
  }
  void TearDown() override {
    closeGamepads();
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    testing_support::resetToStartUpState();
    gIsFullscreen = 0;
    std::remove(kSettingsPath);
  }
};

// The title menu follows the pad that was plugged in before the start, as the top-level loop sets
// the contexts; Flight Control then takes only the keyboard's keys, also those the pad pressed
// together with the button that chose it.
TEST_F(GamepadTest, TheMenuFollowsThePadAndFlightControlTakesOnlyKeyboardKeys) {
  VirtualPad pad;
  initializeGamepads();
  setGamepadContext(kGamepadMenus);
  {
    FrameDriver driver([&](std::int32_t frame) {
      switch (frame) {
        case 1:  // nothing of the menu
          for (auto button : {SDL_CONTROLLER_BUTTON_B, SDL_CONTROLLER_BUTTON_X, SDL_CONTROLLER_BUTTON_Y,
                              SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, SDL_CONTROLLER_BUTTON_DPAD_LEFT}) {
            pad.hold(button, true);
          }
          pad.tilt(SDL_CONTROLLER_AXIS_LEFTX, SDL_JOYSTICK_AXIS_MAX);
          pad.tilt(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, SDL_JOYSTICK_AXIS_MAX);
          break;
        case 2: pad.hold(SDL_CONTROLLER_BUTTON_DPAD_DOWN, true); break;   // play to Flight Control
        case 3: pad.hold(SDL_CONTROLLER_BUTTON_DPAD_DOWN, false); break;
        case 4: pad.tilt(SDL_CONTROLLER_AXIS_LEFTY, SDL_JOYSTICK_AXIS_MAX); break;  // to quit
        case 5: pad.tilt(SDL_CONTROLLER_AXIS_LEFTY, SDL_JOYSTICK_AXIS_MIN); break;  // back up
        case 6:
          pad.tilt(SDL_CONTROLLER_AXIS_LEFTY, 0);
          pad.hold(SDL_CONTROLLER_BUTTON_BACK, true);  // the fullscreen key
          break;
        case 7:
          pad.hold(SDL_CONTROLLER_BUTTON_A, true);
          pad.hold(SDL_CONTROLLER_BUTTON_DPAD_DOWN, true);  // behind A in the same frame
          break;
        case 30: testing_support::pushQuit(); break;  // only if nothing was chosen
        default: break;
      }
    });
    EXPECT_EQ(displayTitleScreen(), kTitleKeyConfiguration);
  }
  EXPECT_EQ(gIsFullscreen, 1);

  setGamepadContext(kGamepadOff);
  const std::array<SDL_Keycode, kKeyBindingCount> typed = {SDLK_w, SDLK_s, SDLK_a, SDLK_d,
                                                          SDLK_SPACE, SDLK_e, SDLK_q, SDLK_F5};
  {
    FrameDriver driver([&](std::int32_t frame) {
      // The pad's presses and releases come between the typed keys.
      if (frame == 1 || frame == 3) pad.holdAll(false);
      if (frame == 2 || frame == 4) pad.holdAll(true);
      if (frame == 3) {
        for (std::int32_t index = 0; index < 4; ++index) testing_support::pushKeyDown(typed[index]);
      }
      if (frame == 5) {
        for (std::int32_t index = 4; index < kKeyBindingCount; ++index) testing_support::pushKeyDown(typed[index]);
        testing_support::pushKeyDown(SDLK_x);  // the final key
      }
      if (frame == 30) testing_support::pushQuit();  // only if the capture did not end
    });
    EXPECT_EQ(adjustSettings(), kSettingsSaved);
  }
  EXPECT_TRUE(std::equal(typed.begin(), typed.end(), gKeyBindings));
  std::ifstream file(kSettingsPath, std::ios::binary);
  const std::vector<char> saved{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  ASSERT_EQ(saved.size(), sizeof gKeyBindings);
  EXPECT_EQ(std::memcmp(saved.data(), typed.data(), saved.size()), 0);

  // Start chooses as well.
  setGamepadContext(kGamepadMenus);
  FrameDriver driver([&](std::int32_t frame) {
    if (frame == 1) pad.holdAll(false);
    if (frame == 2) pad.hold(SDL_CONTROLLER_BUTTON_START, true);
    if (frame == 30) testing_support::pushQuit();
  });
  EXPECT_EQ(displayTitleScreen(), kTitlePlay);
}

// One game steered and fired from the pad, its stick's dead zone and hysteresis, a second pad
// plugged in mid-game and unplugged while it holds a direction; any button leaves the
// game-over screen.
TEST_F(GamepadTest, AGameIsSteeredAndFiredFromPadsThatComeAndGo) {
  initializeGamepads();
  VirtualPad pad;
  std::optional<VirtualPad> secondPad;
  setGamepadContext(kGamepadGame);
  std::string moves;  // per frame: R, L, U, D or . for none
  std::vector<std::int32_t> shotFrames;
  std::int32_t lastX = kPlayerStartX;
  std::int32_t lastY = kPlayerStartY;
  std::int32_t lastShots = kShotsBase;
  std::int32_t gameOverFrame = 0;
  const std::int32_t between = (kAxisPressDeflection + kAxisReleaseDeflection) / 2;
  FrameDriver driver([&](std::int32_t frame) {
    if (gPlayerHP < 1) {
      if (gameOverFrame == 0) gameOverFrame = frame;
      if (frame == gameOverFrame) pad.hold(SDL_CONTROLLER_BUTTON_Y, true);  // after the pause
      if (frame == gameOverFrame + 20) testing_support::pushQuit();
      return;
    }
    if (frame >= 2) {
      moves += gPlayerX > lastX ? 'R' : gPlayerX < lastX ? 'L' : gPlayerY > lastY ? 'D' : gPlayerY < lastY ? 'U' : '.';
      if (gPlayerShots != lastShots) shotFrames.push_back(frame - 1);
      lastX = gPlayerX;
      lastY = gPlayerY;
      lastShots = gPlayerShots;
    }
    switch (frame) {
      case 1: pad.hold(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, true); break;
      case 3:
        pad.hold(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, false);
        pad.hold(SDL_CONTROLLER_BUTTON_A, true);
        break;
      case 5: pad.hold(SDL_CONTROLLER_BUTTON_A, false); break;
      case 6: pad.tilt(SDL_CONTROLLER_AXIS_LEFTY, kAxisReleaseDeflection - 1); break;  // dead zone
      case 8: pad.tilt(SDL_CONTROLLER_AXIS_LEFTY, kAxisPressDeflection); break;
      case 10: pad.tilt(SDL_CONTROLLER_AXIS_LEFTY, between); break;                 // still held
      case 12: pad.tilt(SDL_CONTROLLER_AXIS_LEFTY, kAxisReleaseDeflection); break;  // still held
      case 14: pad.tilt(SDL_CONTROLLER_AXIS_LEFTY, kAxisReleaseDeflection - 1); break;
      case 16: pad.tilt(SDL_CONTROLLER_AXIS_LEFTY, between); break;  // not pressed again
      case 18: pad.tilt(SDL_CONTROLLER_AXIS_LEFTY, -kAxisPressDeflection); break;
      case 20: pad.tilt(SDL_CONTROLLER_AXIS_LEFTY, 0); break;
      case 22: pad.hold(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, true); break;
      case 24: pad.hold(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, false); break;
      case 26: pad.hold(SDL_CONTROLLER_BUTTON_BACK, true); break;
      case 34: pad.tilt(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, SDL_JOYSTICK_AXIS_MAX); break;
      case 36: pad.tilt(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, SDL_JOYSTICK_AXIS_MIN); break;
      case 38: secondPad.emplace(); break;
      case 39: secondPad->hold(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true); break;
      case 41: pad.hold(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true); break;
      case 43: pad.hold(SDL_CONTROLLER_BUTTON_DPAD_LEFT, false); break;  // the second pad holds on
      case 45: secondPad.reset(); break;
      case 47: gPlayerHP = 0; break;
      case 60: testing_support::pushQuit(); break;  // only if the game did not end
      default: break;
    }
  });
  EXPECT_EQ(play(), kGameOverKeyPressed);
  EXPECT_EQ(moves, "." "RR" "....." "DDDDDD" "...." "UU" + std::string(19, '.') + "LLLLL" "..");
  EXPECT_EQ(shotFrames, (std::vector<std::int32_t>{4, 23, 35}));
  EXPECT_EQ(gIsFullscreen, 1);
}

}  // namespace
