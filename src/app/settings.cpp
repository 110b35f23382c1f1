// The eight key bindings and ../Common/Settings.bin, which carries them from one run to the next.
#include "app/settings.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/platform.h"
#include "app/save_file.h"

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

namespace {

constexpr std::int32_t kRecordSize = 4;  // bytes per binding: signed 32-bit, little-endian
static_assert(kSettingsFileSize == kKeyBindingCount * kRecordSize);
static_assert(sizeof(SDL_Keycode) == kRecordSize);

// The new bindings are written to a temporary file first and then renamed over the settings
// file, so a failed or interrupted save never leaves a truncated file behind.
constexpr const char* kSettingsDirectory = "../Common";
constexpr const char* kSettingsFileName = "Settings.bin";
constexpr const char* kSettingsTemporaryName = "Settings.bin.tmp";
constexpr const char* kOpenError = "Error opening file Settings.bin";
constexpr const char* kWriteError = "Error writing file Settings.bin";

SDL_Keycode decodeRecord(const unsigned char (&record)[kRecordSize]) {
  const std::uint32_t bits = static_cast<std::uint32_t>(record[0]) | static_cast<std::uint32_t>(record[1]) << 8 |
                             static_cast<std::uint32_t>(record[2]) << 16 |
                             static_cast<std::uint32_t>(record[3]) << 24;
  return static_cast<SDL_Keycode>(static_cast<std::int32_t>(bits));
}

void encodeRecord(SDL_Keycode keycode, unsigned char (&record)[kRecordSize]) {
  const auto bits = static_cast<std::uint32_t>(keycode);
  for (std::int32_t byte = 0; byte < kRecordSize; ++byte) {
    record[byte] = static_cast<unsigned char>(bits >> (8 * byte));
  }
}

// One write per record, stopping at the first that fails.
bool writeRecords(FILE* file) {
  bool written = true;
  for (const SDL_Keycode keycode : gKeyBindings) {
    unsigned char record[kRecordSize];
    encodeRecord(keycode, record);
    written = written && fwrite(record, kRecordSize, 1, file) == 1;
  }
  return written;
}

}  // namespace

// Each binding takes its record only when the file holds all 4 of its bytes; the others keep
// their current values. Bytes beyond the 32nd are never read. A FIFO or a device at the path is
// reported and never opened for reading, so it cannot hold the start.
void loadSettings() {
  std::vector<unsigned char> bytes;
  const std::int32_t result = readSavedFile(kSettingsPath, kSettingsFileSize, bytes);
  if (result == kFileNotRegular) printf("%s is not a regular file; the keys keep their bindings.\n", kSettingsPath);
  if (result != kFileRead) return;
  for (std::int32_t binding = 0; binding < kKeyBindingCount; ++binding) {
    if (bytes.size() < static_cast<std::size_t>((binding + 1) * kRecordSize)) break;
    unsigned char record[kRecordSize];
    std::copy(bytes.begin() + binding * kRecordSize, bytes.begin() + (binding + 1) * kRecordSize, record);
    gKeyBindings[binding] = decodeRecord(record);
  }
}

std::int32_t saveSettings() {
  const std::int32_t result = replaceFile(kSettingsDirectory, kSettingsFileName, kSettingsTemporaryName, writeRecords);
  if (result == kFileReplaced) {
    syncSavedFiles();
    return kSettingsSaved;
  }
  printf("%s", result == kFileNotWritten ? kWriteError : kOpenError);
  return kSettingsSaveFailed;
}
