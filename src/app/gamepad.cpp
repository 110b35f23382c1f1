// Game controllers, turned into key events of the player's bindings as SDL reads them, so that
// every screen sees only the keys it already knows.
#include "app/gamepad.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <iterator>

#include "app/pause.h"
#include "app/platform.h"
#include "app/settings.h"

namespace {

constexpr std::int32_t kGamepadCapacity = 8;  // controllers used at once; more are ignored

// The inputs of one controller: its buttons, then each stick direction and trigger pressed
// past its threshold.
constexpr std::int32_t kInputStickUp = SDL_CONTROLLER_BUTTON_MAX;
constexpr std::int32_t kInputStickDown = kInputStickUp + 1;
constexpr std::int32_t kInputStickLeft = kInputStickUp + 2;
constexpr std::int32_t kInputStickRight = kInputStickUp + 3;
constexpr std::int32_t kInputLeftTrigger = kInputStickUp + 4;
constexpr std::int32_t kInputRightTrigger = kInputStickUp + 5;
constexpr std::int32_t kInputCount = kInputStickUp + 6;

// The key of a button that means "any key" in a game: it matches no binding, so the game does
// nothing with it and the game-over screen takes it as the key that leads back to the title.
constexpr SDL_Keycode kAnyKey = SDLK_UNKNOWN;

struct Pad {
  SDL_GameController* controller;  // nullptr for a free slot
  SDL_JoystickID instance;
  bool pressed[kInputCount];      // the input is down (a stick or trigger past its threshold)
  bool keyIsDown[kInputCount];    // a key-down went out for the input and waits for its key-up
  SDL_Keycode key[kInputCount];   // the key of that key-down
};

Pad Pads[kGamepadCapacity] = {};
std::int32_t Context = kGamepadOff;
bool Ready = false;
// In the menus a confirm key-down, the keyboard's or a controller's, ends the title screen, and
// what is queued behind it goes to the next screen, which may be Flight Control. So the
// controllers press nothing more until the next screen sets its context.
bool ConfirmQueued = false;

const SDL_Keycode* menuBinding(std::int32_t input) {
  switch (input) {
    case SDL_CONTROLLER_BUTTON_A:
    case SDL_CONTROLLER_BUTTON_START: return &gKeycodeConfirm;
    case SDL_CONTROLLER_BUTTON_DPAD_UP:
    case kInputStickUp: return &gKeycodeUp;
    case SDL_CONTROLLER_BUTTON_DPAD_DOWN:
    case kInputStickDown: return &gKeycodeDown;
    case SDL_CONTROLLER_BUTTON_BACK: return &gKeycodeToggleFullscreen;
    default: return nullptr;
  }
}

// Every input presses some key in a game, so that any of them leaves the game-over screen.
const SDL_Keycode* gameBinding(std::int32_t input) {
  switch (input) {
    case SDL_CONTROLLER_BUTTON_DPAD_UP:
    case kInputStickUp: return &gKeycodeUp;
    case SDL_CONTROLLER_BUTTON_DPAD_DOWN:
    case kInputStickDown: return &gKeycodeDown;
    case SDL_CONTROLLER_BUTTON_DPAD_LEFT:
    case kInputStickLeft: return &gKeycodeLeft;
    case SDL_CONTROLLER_BUTTON_DPAD_RIGHT:
    case kInputStickRight: return &gKeycodeRight;
    case SDL_CONTROLLER_BUTTON_A:
    case SDL_CONTROLLER_BUTTON_RIGHTSHOULDER:
    case kInputRightTrigger: return &gKeycodeAttack;
    case SDL_CONTROLLER_BUTTON_BACK: return &gKeycodeToggleFullscreen;
    default: return &kAnyKey;
  }
}

// The key an input presses in the current context, read from the bindings as they are now;
// nullptr when it presses none.
const SDL_Keycode* keyOf(std::int32_t input) {
  if (Context == kGamepadMenus) return menuBinding(input);
  if (Context == kGamepadGame) return gameBinding(input);
  return nullptr;
}

void pushKey(Uint32 type, SDL_Keycode key) {
  SDL_Event event{};
  event.key.type = type;
  event.key.windowID = gWindow != nullptr ? SDL_GetWindowID(gWindow) : 0;
  event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
  event.key.repeat = 0;
  event.key.keysym.sym = key;
  event.key.keysym.scancode = SDL_GetScancodeFromKey(key);
  SDL_PushEvent(&event);
}

// True while some input of some controller keeps the key pressed.
bool keyHeld(SDL_Keycode key) {
  for (const Pad& pad : Pads) {
    if (pad.controller == nullptr) continue;
    for (std::int32_t input = 0; input < kInputCount; ++input) {
      if (pad.keyIsDown[input] && pad.key[input] == key) return true;
    }
  }
  return false;
}

// Every press sends a key-down, also of a key another input already holds; the key-up follows
// when the last input holding the key lets go.
void pressInput(Pad& pad, std::int32_t input) {
  if (pad.pressed[input]) return;
  pad.pressed[input] = true;
  const SDL_Keycode* key = keyOf(input);
  if (key == nullptr || ConfirmQueued) return;
  pad.keyIsDown[input] = true;
  pad.key[input] = *key;
  pushKey(SDL_KEYDOWN, *key);
}

void releaseInput(Pad& pad, std::int32_t input) {
  if (!pad.pressed[input]) return;
  pad.pressed[input] = false;
  if (!pad.keyIsDown[input]) return;
  pad.keyIsDown[input] = false;
  if (!keyHeld(pad.key[input])) pushKey(SDL_KEYUP, pad.key[input]);
}

// One direction of an axis, with its deflection in that direction (negative when the axis
// points the other way).
void moveDirection(Pad& pad, std::int32_t input, std::int32_t deflection) {
  if (deflection >= kAxisPressDeflection) {
    pressInput(pad, input);
  } else if (deflection < kAxisReleaseDeflection) {
    releaseInput(pad, input);
  }
}

void moveAxis(Pad& pad, std::int32_t axis, std::int32_t value) {
  switch (axis) {
    case SDL_CONTROLLER_AXIS_LEFTX:
      moveDirection(pad, kInputStickLeft, -value);
      moveDirection(pad, kInputStickRight, value);
      break;
    case SDL_CONTROLLER_AXIS_LEFTY:
      moveDirection(pad, kInputStickUp, -value);
      moveDirection(pad, kInputStickDown, value);
      break;
    case SDL_CONTROLLER_AXIS_TRIGGERLEFT: moveDirection(pad, kInputLeftTrigger, value); break;
    case SDL_CONTROLLER_AXIS_TRIGGERRIGHT: moveDirection(pad, kInputRightTrigger, value); break;
    default: break;
  }
}

Pad* padOf(SDL_JoystickID instance) {
  for (Pad& pad : Pads) {
    if (pad.controller != nullptr && pad.instance == instance) return &pad;
  }
  return nullptr;
}

void openPad(std::int32_t deviceIndex) {
  if (padOf(SDL_JoystickGetDeviceInstanceID(deviceIndex)) != nullptr) return;
  for (Pad& pad : Pads) {
    if (pad.controller != nullptr) continue;
    SDL_GameController* controller = SDL_GameControllerOpen(deviceIndex);
    if (controller == nullptr) return;
    pad = Pad{};
    pad.controller = controller;
    pad.instance = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller));
    return;
  }
}

// Releases whatever the controller holds, so that nothing keeps moving, then closes it.
void closePad(Pad& pad) {
  for (std::int32_t input = 0; input < kInputCount; ++input) releaseInput(pad, input);
  SDL_GameControllerClose(pad.controller);
  pad = Pad{};
}

// Sees every event as SDL queues it, on the thread that pumps the events, and adds the key
// events in front of the controller's own (which every screen ignores).
int SDLCALL translateControllerEvent(void*, SDL_Event* event) {
  Pad* pad = nullptr;
  switch (event->type) {
    case SDL_KEYDOWN:
      if (Context == kGamepadMenus && event->key.keysym.sym == gKeycodeConfirm) ConfirmQueued = true;
      break;
    case SDL_CONTROLLERDEVICEADDED: openPad(event->cdevice.which); break;
    case SDL_CONTROLLERDEVICEREMOVED:
      pad = padOf(event->cdevice.which);
      if (pad != nullptr) closePad(*pad);
      break;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
      pad = padOf(event->cbutton.which);
      if (pad == nullptr || event->cbutton.button >= SDL_CONTROLLER_BUTTON_MAX) break;
      if (event->type == SDL_CONTROLLERBUTTONDOWN) {
        pressInput(*pad, event->cbutton.button);
      } else {
        releaseInput(*pad, event->cbutton.button);
      }
      break;
    case SDL_CONTROLLERAXISMOTION:
      pad = padOf(event->caxis.which);
      if (pad != nullptr) moveAxis(*pad, event->caxis.axis, event->caxis.value);
      break;
    default: break;
  }
  return 1;
}

// Forgets the keys the controllers hold, without releasing them: an input still held presses
// its key again only once let go and pressed anew.
void forgetGamepadKeys() {
  for (Pad& pad : Pads) {
    for (bool& keyIsDown : pad.keyIsDown) keyIsDown = false;
  }
}

}  // namespace

void initializeGamepads() {
  if (Ready) return;
  // A is the bottom face button on every controller, whatever its label says.
  SDL_SetHint(SDL_HINT_GAMECONTROLLER_USE_BUTTON_LABELS, "0");
  // The watch comes first: SDL announces the controllers already plugged in while it starts.
  SDL_AddEventWatch(&translateControllerEvent, nullptr);
  if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
    SDL_DelEventWatch(&translateControllerEvent, nullptr);
    return;
  }
  Ready = true;
}

void setGamepadContext(std::int32_t context) {
  Context = context;
  ConfirmQueued = false;
  if (context == kGamepadOff) forgetGamepadKeys();
}

void closeGamepads() {
  if (!Ready) return;
  SDL_DelEventWatch(&translateControllerEvent, nullptr);
  for (Pad& pad : Pads) {
    if (pad.controller != nullptr) SDL_GameControllerClose(pad.controller);
    pad = Pad{};
  }
  SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
  Context = kGamepadOff;
  ConfirmQueued = false;
  Ready = false;
}

#ifdef __EMSCRIPTEN__
// The page's on-screen buttons: each presses the key of one binding (its index in file order),
// looked up as the bindings are now; the key stays down until its button is let go.
extern "C" void pressBindingFromPage(std::int32_t binding, std::int32_t down) {
  if (binding < 0 || binding >= kKeyBindingCount) return;
  pushKey(down != 0 ? SDL_KEYDOWN : SDL_KEYUP, gKeyBindings[binding]);
}

// The page's Resume button presses the key that the pause names first: a pause key that no
// binding holds, else the confirm key.
extern "C" void pressResumeKeyFromPage(std::int32_t down) {
  const SDL_Keycode* unbound = std::find_if(std::begin(kPauseKeys), std::end(kPauseKeys), [](SDL_Keycode key) {
    return std::find(std::begin(gKeyBindings), std::end(gKeyBindings), key) == std::end(gKeyBindings);
  });
  pushKey(down != 0 ? SDL_KEYDOWN : SDL_KEYUP, unbound != std::end(kPauseKeys) ? *unbound : gKeycodeConfirm);
}

// Which buttons the page shows: kPageScreenFlightControl on the key configuration screen, where
// six buttons cannot give eight keys, kPageScreenPaused while a game waits in its pause (the one
// place that pauses the music), else kPageScreenPlaying.
extern "C" std::int32_t touchScreenForPage() {
  if (Context == kGamepadOff) return kPageScreenFlightControl;
  if (Context == kGamepadGame && Mix_PausedMusic() != 0) return kPageScreenPaused;
  return kPageScreenPlaying;
}
#endif
