// The eight key bindings and ../Common/Settings.bin, which carries them from one run to the next.
#include "app/settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "app/platform.h"

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
// file, so a failed or interrupted save never leaves a truncated file behind. The names are
// relative to the settings directory, which the save holds open from start to end.
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

// Writes all records to `file` and closes it; false when any write, the flush, the sync or the
// close failed. The file is closed in every case.
bool writeAndClose(FILE* file) {
  bool written = true;
  for (const SDL_Keycode keycode : gKeyBindings) {
    unsigned char record[kRecordSize];
    encodeRecord(keycode, record);
    written = written && fwrite(record, kRecordSize, 1, file) == 1;
  }
  written = written && fflush(file) == 0;
  written = written && fsync(fileno(file)) == 0;
  const bool closed = fclose(file) == 0;
  return written && closed;
}

std::int32_t saveFailed(const char* message) {
  printf("%s", message);
  return kSettingsSaveFailed;
}

// A fresh temporary file for writing, never one that was there before: a stale file, or a link
// planted at its name, is removed first, and O_EXCL|O_NOFOLLOW refuse whatever appears in
// between. It gets the mode of the settings file it is to replace (`old`, when there is one),
// since a rename installs the temporary file's mode along with its bytes.
FILE* createTemporaryFile(int directory, const struct stat* old) {
  unlinkat(directory, kSettingsTemporaryName, 0);
  const int descriptor =
      openat(directory, kSettingsTemporaryName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (descriptor < 0) return nullptr;
  FILE* file = nullptr;
  if (old == nullptr || fchmod(descriptor, old->st_mode & 07777) == 0) file = fdopen(descriptor, "wb");
  if (file == nullptr) {
    close(descriptor);
    unlinkat(directory, kSettingsTemporaryName, 0);
  }
  return file;
}

std::int32_t saveIntoDirectory(int directory) {
  // Renaming over a file needs only the directory's permission; a settings file that the player
  // made read-only is theirs to keep, refused like any file that cannot be opened for writing.
  struct stat old;
  const bool replacing = fstatat(directory, kSettingsFileName, &old, 0) == 0 && S_ISREG(old.st_mode);
  if (replacing && faccessat(directory, kSettingsFileName, W_OK, 0) != 0) return saveFailed(kOpenError);

  FILE* file = createTemporaryFile(directory, replacing ? &old : nullptr);
  if (file == nullptr) return saveFailed(kOpenError);
  if (!writeAndClose(file)) {
    unlinkat(directory, kSettingsTemporaryName, 0);
    return saveFailed(kWriteError);
  }
  // Fails when the settings file cannot be replaced, for instance by a directory of that name.
  if (renameat(directory, kSettingsTemporaryName, directory, kSettingsFileName) != 0) {
    unlinkat(directory, kSettingsTemporaryName, 0);
    return saveFailed(kOpenError);
  }
  // The new name reaches the disk only with the directory. A file system that does not sync
  // directories at all (EINVAL) leaves nothing more to do.
  if (fsync(directory) != 0 && errno != EINVAL) return saveFailed(kWriteError);
  return kSettingsSaved;
}

}  // namespace

// Each binding takes its record only when the file holds all 4 of its bytes; the others keep
// their current values. Bytes beyond the 32nd are never read.
void loadSettings() {
  FILE* file = fopen(kSettingsPath, "rb");
  if (file == nullptr) return;
  for (SDL_Keycode& keycode : gKeyBindings) {
    unsigned char record[kRecordSize];
    if (fread(record, 1, kRecordSize, file) == static_cast<size_t>(kRecordSize)) {
      keycode = decodeRecord(record);
    }
  }
  fclose(file);
}

std::int32_t saveSettings() {
  const int directory = open(kSettingsDirectory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory < 0) return saveFailed(kOpenError);
  const std::int32_t result = saveIntoDirectory(directory);
  close(directory);
  if (result == kSettingsSaved) syncSavedFiles();
  return result;
}
