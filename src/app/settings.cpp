// Placeholder until the settings file is written.
#include "app/settings.h"

const SDL_Keycode kDefaultKeyBindings[kKeyBindingCount] = {SDLK_UP,    SDLK_DOWN,   SDLK_LEFT,      SDLK_RIGHT,
                                                          SDLK_RCTRL, SDLK_RETURN, SDLK_BACKSPACE, SDLK_F4};
SDL_Keycode gKeyBindings[kKeyBindingCount] = {SDLK_UP,    SDLK_DOWN,   SDLK_LEFT,      SDLK_RIGHT,
                                             SDLK_RCTRL, SDLK_RETURN, SDLK_BACKSPACE, SDLK_F4};
SDL_Keycode& gKeycodeUp = gKeyBindings[0];
SDL_Keycode& gKeycodeDown = gKeyBindings[1];
SDL_Keycode& gKeycodeLeft = gKeyBindings[2];
SDL_Keycode& gKeycodeRight = gKeyBindings[3];
SDL_Keycode& gKeycodeAttack = gKeyBindings[4];
SDL_Keycode& gKeycodeConfirm = gKeyBindings[5];
SDL_Keycode& gKeycodeCancel = gKeyBindings[6];
SDL_Keycode& gKeycodeToggleFullscreen = gKeyBindings[7];

void loadSettings() {}
std::int32_t saveSettings() { return kSettingsSaveFailed; }
