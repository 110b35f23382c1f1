// The settings file: its exact bytes, short and long files, and saves that must not damage it.
#include "app/settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "support/harness.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

const char* const kTemporaryPath = "../Common/Settings.bin.tmp";

const Bytes kDefaultFileBytes = {0x52, 0x00, 0x00, 0x40, 0x51, 0x00, 0x00, 0x40, 0x50, 0x00, 0x00, 0x40,
                                 0x4F, 0x00, 0x00, 0x40, 0xE4, 0x00, 0x00, 0x40, 0x0D, 0x00, 0x00, 0x00,
                                 0x08, 0x00, 0x00, 0x00, 0x3D, 0x00, 0x00, 0x40};

// A file of other bindings: w, s, a, d, space, then negative and high-bit values and a duplicate.
const Bytes kCustomFileBytes = {0x77, 0x00, 0x00, 0x00, 0x73, 0x00, 0x00, 0x00, 0x61, 0x00, 0x00, 0x00,
                                0x64, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF,
                                0x01, 0x00, 0x00, 0x80, 0x64, 0x00, 0x00, 0x00};
const SDL_Keycode kCustomBindings[kKeyBindingCount] = {SDLK_w,  SDLK_s, SDLK_a, SDLK_d, SDLK_SPACE, -1,
                                                       static_cast<SDL_Keycode>(0x80000001u), SDLK_d};

void writeFile(const std::string& path, const Bytes& bytes) { testing_support::writeFileBytes(path, bytes); }
Bytes readFile(const std::string& path) { return testing_support::readFileBytes(path); }

Bytes prefix(const Bytes& bytes, std::size_t length) { return Bytes(bytes.begin(), bytes.begin() + length); }

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::enterFreshRunDirectory();
    std::copy(std::begin(kDefaultKeyBindings), std::end(kDefaultKeyBindings), std::begin(gKeyBindings));
  }
  void TearDown() override {
    std::copy(std::begin(kDefaultKeyBindings), std::end(kDefaultKeyBindings), std::begin(gKeyBindings));
  }

  void expectBindings(const SDL_Keycode (&expected)[kKeyBindingCount]) {
    for (std::int32_t index = 0; index < kKeyBindingCount; ++index) {
      EXPECT_EQ(gKeyBindings[index], expected[index]) << "binding " << index;
    }
  }

  // Saves and returns what the save printed.
  std::string saveCapturingOutput(std::int32_t& result) {
    fflush(stdout);
    ::testing::internal::CaptureStdout();
    result = saveSettings();
    return ::testing::internal::GetCapturedStdout();
  }
};

TEST_F(SettingsTest, NamedBindingsAreTheTableEntriesInFileOrder) {
  SDL_Keycode* const named[kKeyBindingCount] = {&gKeycodeUp,     &gKeycodeDown,    &gKeycodeLeft,
                                                &gKeycodeRight,  &gKeycodeAttack,  &gKeycodeConfirm,
                                                &gKeycodeCancel, &gKeycodeToggleFullscreen};
  for (std::int32_t index = 0; index < kKeyBindingCount; ++index) EXPECT_EQ(named[index], &gKeyBindings[index]);
  const SDL_Keycode defaults[kKeyBindingCount] = {SDLK_UP,    SDLK_DOWN,   SDLK_LEFT,      SDLK_RIGHT,
                                                  SDLK_RCTRL, SDLK_RETURN, SDLK_BACKSPACE, SDLK_F4};
  expectBindings(defaults);
}

TEST_F(SettingsTest, DefaultsAreSavedAsTheirExact32Bytes) {
  std::int32_t result = 0;
  EXPECT_EQ(saveCapturingOutput(result), "");
  EXPECT_EQ(result, kSettingsSaved);
  EXPECT_EQ(readFile(kSettingsPath), kDefaultFileBytes);
  EXPECT_FALSE(fs::exists(kTemporaryPath));
}

TEST_F(SettingsTest, SaveReplacesAnOlderLongerFile) {
  writeFile(kSettingsPath, Bytes(40, 0xAA));
  std::copy(std::begin(kCustomBindings), std::end(kCustomBindings), std::begin(gKeyBindings));
  std::int32_t result = 0;
  saveCapturingOutput(result);
  EXPECT_EQ(result, kSettingsSaved);
  EXPECT_EQ(readFile(kSettingsPath), kCustomFileBytes);
}

TEST_F(SettingsTest, SavedBindingsLoadBackUnchanged) {
  std::copy(std::begin(kCustomBindings), std::end(kCustomBindings), std::begin(gKeyBindings));
  std::int32_t result = 0;
  saveCapturingOutput(result);
  ASSERT_EQ(result, kSettingsSaved);
  std::copy(std::begin(kDefaultKeyBindings), std::end(kDefaultKeyBindings), std::begin(gKeyBindings));
  loadSettings();
  expectBindings(kCustomBindings);
}

TEST_F(SettingsTest, MissingFileLeavesTheBindingsAsTheyAre) {
  gKeycodeAttack = SDLK_z;
  loadSettings();
  EXPECT_EQ(gKeycodeAttack, SDLK_z);
  EXPECT_EQ(gKeycodeUp, SDLK_UP);
}

TEST_F(SettingsTest, ShortFilesChangeOnlyTheWholeRecordsTheyHold) {
  struct Case {
    std::size_t length;
    std::int32_t bindingsFromFile;
  };
  for (const Case& shortFile : {Case{0, 0}, Case{3, 0}, Case{12, 3}, Case{14, 3}, Case{31, 7}}) {
    SCOPED_TRACE(shortFile.length);
    std::copy(std::begin(kDefaultKeyBindings), std::end(kDefaultKeyBindings), std::begin(gKeyBindings));
    // A binding the file does not hold in full keeps its current value, whatever that is.
    gKeycodeRight = SDLK_F12;
    gKeycodeToggleFullscreen = SDLK_F11;
    writeFile(kSettingsPath, prefix(kCustomFileBytes, shortFile.length));
    loadSettings();
    SDL_Keycode expected[kKeyBindingCount];
    std::copy(std::begin(kDefaultKeyBindings), std::end(kDefaultKeyBindings), std::begin(expected));
    expected[3] = SDLK_F12;
    expected[7] = SDLK_F11;
    std::copy(kCustomBindings, kCustomBindings + shortFile.bindingsFromFile, expected);
    expectBindings(expected);
  }
}

TEST_F(SettingsTest, LongerFileIsReadInItsFirst32Bytes) {
  Bytes longer = kCustomFileBytes;
  longer.insert(longer.end(), {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88});
  writeFile(kSettingsPath, longer);
  loadSettings();
  expectBindings(kCustomBindings);
}

TEST_F(SettingsTest, SaveThatCannotOpenItsFileKeepsTheOldFile) {
  writeFile(kSettingsPath, kCustomFileBytes);
  fs::create_directory(kTemporaryPath);
  std::int32_t result = 0;
  EXPECT_EQ(saveCapturingOutput(result), "Error opening file Settings.bin");
  EXPECT_EQ(result, kSettingsSaveFailed);
  EXPECT_EQ(readFile(kSettingsPath), kCustomFileBytes);
  EXPECT_TRUE(fs::is_directory(kTemporaryPath));
  // The bindings in memory stay as captured.
  EXPECT_EQ(gKeycodeUp, SDLK_UP);
}

TEST_F(SettingsTest, SaveOverADirectoryFailsAndLeavesNoTemporaryFile) {
  fs::create_directory(kSettingsPath);
  std::int32_t result = 0;
  EXPECT_EQ(saveCapturingOutput(result), "Error opening file Settings.bin");
  EXPECT_EQ(result, kSettingsSaveFailed);
  EXPECT_TRUE(fs::is_directory(kSettingsPath));
  EXPECT_FALSE(fs::exists(fs::symlink_status(kTemporaryPath)));
}

// A link planted at the temporary file's name (here to /dev/full, where a write would fail) is
// removed, never written through: the save makes a file of its own and succeeds.
TEST_F(SettingsTest, SaveReplacesALinkAtTheTemporaryPathWithoutFollowingIt) {
  writeFile(kSettingsPath, kCustomFileBytes);
  writeFile("../planted", kCustomFileBytes);
  for (const char* target : {"/dev/full", "../planted"}) {
    SCOPED_TRACE(target);
    fs::create_symlink(target, kTemporaryPath);
    std::int32_t result = 0;
    EXPECT_EQ(saveCapturingOutput(result), "");
    EXPECT_EQ(result, kSettingsSaved);
    EXPECT_EQ(fs::symlink_status(kSettingsPath).type(), fs::file_type::regular);
    EXPECT_EQ(readFile(kSettingsPath), kDefaultFileBytes);
    EXPECT_FALSE(fs::exists(fs::symlink_status(kTemporaryPath)));
  }
  EXPECT_EQ(readFile("../planted"), kCustomFileBytes);
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

}  // namespace
