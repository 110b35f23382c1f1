// The eight key bindings and the settings file that carries them between runs.
#pragma once

#include <SDL.h>

#include <cstdint>

constexpr std::int32_t kKeyBindingCount = 8;
constexpr const char* kSettingsPath = "../Common/Settings.bin";
constexpr std::int32_t kSettingsFileSize = kKeyBindingCount * 4;  // bytes

// Results of saveSettings, which the key configuration screen returns as they are.
constexpr std::int32_t kSettingsSaved = 1;
constexpr std::int32_t kSettingsSaveFailed = 2;

// The bindings as one table, in file order; the named bindings below are its entries.
extern SDL_Keycode gKeyBindings[kKeyBindingCount];
extern SDL_Keycode& gKeycodeUp;
extern SDL_Keycode& gKeycodeDown;
extern SDL_Keycode& gKeycodeLeft;
extern SDL_Keycode& gKeycodeRight;
extern SDL_Keycode& gKeycodeAttack;
extern SDL_Keycode& gKeycodeConfirm;
extern SDL_Keycode& gKeycodeCancel;
extern SDL_Keycode& gKeycodeToggleFullscreen;

// The bindings a fresh install starts with.
extern const SDL_Keycode kDefaultKeyBindings[kKeyBindingCount];

// Reads the bindings from the settings file; a missing or short file leaves the rest as they are.
void loadSettings();
// Writes the bindings through a temporary file renamed over the settings file, which keeps its
// mode; kSettingsSaved, or kSettingsSaveFailed after printing why. A settings file that the
// player cannot write is left alone, a failure like any file that cannot be opened.
std::int32_t saveSettings();
