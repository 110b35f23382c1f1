// The key configuration screen: capture order, refusals with the bell, the queue after the final
// key, closing without saving, the saved bytes, a failed save, and the screen's lines and marker.
#include "screens/keyconfig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/platform.h"
#include "app/settings.h"
#include "screens/screen_checks.h"
#include "support/harness.h"
#include "text/font.h"

namespace {

namespace fs = std::filesystem;
using testing_support::canvas;
using testing_support::pushKeyDown;
using Bindings = std::array<SDL_Keycode, kKeyBindingCount>;
using Bytes = std::vector<std::uint8_t>;

const Bindings kNewBindings = {SDLK_w, SDLK_s, SDLK_a, SDLK_d, SDLK_SPACE, SDLK_e, SDLK_q, SDLK_F5};

// The defaults as the settings file holds them.
const Bytes kDefaultFileBytes = {0x52, 0x00, 0x00, 0x40, 0x51, 0x00, 0x00, 0x40, 0x50, 0x00, 0x00,
                                 0x40, 0x4F, 0x00, 0x00, 0x40, 0xE4, 0x00, 0x00, 0x40, 0x0D, 0x00,
                                 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x3D, 0x00, 0x00, 0x40};

Bytes littleEndian(const Bindings& bindings) {
  Bytes bytes;
  for (const SDL_Keycode key : bindings) {
    const auto bits = static_cast<std::uint32_t>(key);
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(bits >> shift));
  }
  return bytes;
}

Bindings currentBindings() {
  Bindings bindings{};
  std::copy(gKeyBindings, gKeyBindings + kKeyBindingCount, bindings.begin());
  return bindings;
}

class KeyConfigurationScreen : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(testing_support::useSoftwareRendererWithMedia(), 0); }
  static void TearDownTestSuite() { testing_support::releaseSoftwareRenderer(); }

  void SetUp() override {
    testing_support::resetToStartUpState();
    settingsPath = testing_support::currentRunDirectory().common + "/Settings.bin";
    std::error_code ignored;
    fs::remove_all(settingsPath, ignored);
  }
  void TearDown() override {
    testing_support::resetToStartUpState();
    std::error_code ignored;
    fs::remove_all(settingsPath, ignored);
  }

  Bytes settingsFile() const {
    std::ifstream file(settingsPath, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  void writeSettingsFile(const Bytes& bytes) const {
    std::ofstream file(settingsPath, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  // Runs the screen and returns its result, with what it wrote to standard output in `output`.
  std::int32_t runCapturingOutput(std::string& output) {
    ::testing::internal::CaptureStdout();
    const std::int32_t result = adjustSettings();
    output = ::testing::internal::GetCapturedStdout();
    return result;
  }

  std::string settingsPath;
};

void pushKeys(const std::vector<SDL_Keycode>& keys) {
  for (const SDL_Keycode key : keys) pushKeyDown(key);
}

bool queueIsEmpty() {
  SDL_Event event;
  return SDL_PollEvent(&event) == 0;
}

TEST_F(KeyConfigurationScreen, CapturesInTableOrderAndSavesAfterTheFinalKey) {
  pushKeys({kNewBindings.begin(), kNewBindings.end()});
  pushKeyDown(SDLK_x);  // the final key is not assigned
  std::string output;
  EXPECT_EQ(runCapturingOutput(output), kSettingsSaved);
  EXPECT_EQ(output, "");
  EXPECT_EQ(currentBindings(), kNewBindings);
  EXPECT_EQ(settingsFile(), littleEndian(kNewBindings));
  EXPECT_FALSE(fs::exists(settingsPath + ".tmp"));
}

TEST_F(KeyConfigurationScreen, TheDefaultKeysReproduceTheDefaultFile) {
  pushKeys({kDefaultKeyBindings, kDefaultKeyBindings + kKeyBindingCount});
  pushKeyDown(SDLK_RETURN);  // the final key may be any, a bound one too
  EXPECT_EQ(adjustSettings(), kSettingsSaved);
  EXPECT_EQ(settingsFile(), kDefaultFileBytes);
}

TEST_F(KeyConfigurationScreen, KeysTakenInThisVisitAreRefusedWithTheBell) {
  std::string output;
  pushKeyDown(SDLK_w);        // move up
  pushKeyDown(SDLK_w, true);  // its auto-repeat: refused
  pushKeyDown(SDLK_s);        // move down
  pushKeyDown(SDLK_s);        // refused
  pushKeyDown(SDLK_w);        // refused
  pushKeyDown(SDLK_a);        // move left
  pushKeyDown(SDLK_RCTRL);    // move right: the old attack key is free in this visit
  pushKeyDown(SDLK_RCTRL);    // attack: now taken
  pushKeyDown(SDLK_UP);       // attack: the old move up key is free again
  pushKeys({SDLK_e, SDLK_q, SDLK_F5});
  pushKeyDown(SDLK_q);        // the final key may repeat any binding
  EXPECT_EQ(runCapturingOutput(output), kSettingsSaved);
  EXPECT_EQ(output, "\a\a\a\a");
  const Bindings expected = {SDLK_w, SDLK_s, SDLK_a, SDLK_RCTRL, SDLK_UP, SDLK_e, SDLK_q, SDLK_F5};
  EXPECT_EQ(currentBindings(), expected);
  EXPECT_EQ(settingsFile(), littleEndian(expected));
}

TEST_F(KeyConfigurationScreen, EveryEarlierKeyIsRefusedAtTheLastCaptureStep) {
  std::string output;
  pushKeys({kNewBindings.begin(), kNewBindings.end() - 1});
  // At the last capture step every one of the seven keys is refused.
  pushKeys({kNewBindings.begin(), kNewBindings.end() - 1});
  pushKeyDown(SDLK_ESCAPE);  // no key is excluded otherwise
  pushKeyDown(SDLK_ESCAPE);
  EXPECT_EQ(runCapturingOutput(output), kSettingsSaved);
  EXPECT_EQ(output, std::string(7, '\a'));
  EXPECT_EQ(gKeycodeToggleFullscreen, SDLK_ESCAPE);
}

TEST_F(KeyConfigurationScreen, KeysAfterTheFinalKeyDoNothing) {
  pushKeys({kNewBindings.begin(), kNewBindings.end()});
  pushKeyDown(SDLK_x);
  pushKeyDown(SDLK_y);
  pushKeyDown(SDLK_w);  // would ring the bell if it were still capturing
  testing_support::pushKeyUp(SDLK_w);
  std::string output;
  EXPECT_EQ(runCapturingOutput(output), kSettingsSaved);
  EXPECT_EQ(output, "");
  EXPECT_EQ(currentBindings(), kNewBindings);
  EXPECT_EQ(settingsFile(), littleEndian(kNewBindings));
  EXPECT_TRUE(queueIsEmpty());  // the rest of the queue was taken
}

// A close request behind n accepted keys: n = 9 puts it behind the final key in the same queue.
TEST_F(KeyConfigurationScreen, CloseAtAnyStepSavesNothing) {
  const Bytes before = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                        17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
  for (std::int32_t accepted = 0; accepted <= kFirstCaptureStep; ++accepted) {
    SCOPED_TRACE(accepted);
    std::copy(kDefaultKeyBindings, kDefaultKeyBindings + kKeyBindingCount, gKeyBindings);
    writeSettingsFile(before);
    for (std::int32_t i = 0; i < accepted; ++i) pushKeyDown(i < kKeyBindingCount ? kNewBindings[i] : SDLK_x);
    testing_support::pushQuit();
    pushKeyDown(SDLK_z);  // left in the queue
    std::string output;
    EXPECT_EQ(runCapturingOutput(output), 0);
    EXPECT_EQ(output, "");
    EXPECT_EQ(settingsFile(), before);
    EXPECT_FALSE(fs::exists(settingsPath + ".tmp"));
    EXPECT_FALSE(queueIsEmpty());
  }
}

TEST_F(KeyConfigurationScreen, CloseWithoutAFileLeavesNone) {
  pushKeys({kNewBindings.begin(), kNewBindings.end()});
  pushKeyDown(SDLK_x);
  testing_support::pushQuit();
  EXPECT_EQ(adjustSettings(), 0);
  EXPECT_FALSE(fs::exists(settingsPath));
}

TEST_F(KeyConfigurationScreen, FailedSaveReturnsTwoAndKeepsTheNewBindings) {
  fs::create_directory(settingsPath);  // nothing can be written in its place
  pushKeys({kNewBindings.begin(), kNewBindings.end()});
  pushKeyDown(SDLK_x);
  std::string output;
  EXPECT_EQ(runCapturingOutput(output), kSettingsSaveFailed);
  EXPECT_EQ(output, "Error opening file Settings.bin");
  EXPECT_EQ(currentBindings(), kNewBindings);
  EXPECT_TRUE(fs::is_directory(settingsPath));
  EXPECT_FALSE(fs::exists(settingsPath + ".tmp"));
}

// The lines of the screen, y by line, as the key names of the default bindings complete them.
struct ScreenLine {
  std::int32_t y;
  const char* text;
};
const ScreenLine kDefaultLines[] = {
    {15, "   -- Settings --"},
    {45, "Press the key to perform the following action"},
    {75, "   move up           : Up"},
    {90, "   move down         : Down"},
    {105, "   move left         : Left"},
    {120, "   move right        : Right"},
    {135, "   attack            : Right Ctrl"},
    {150, "   interact, confirm : Return"},
    {165, "   close, cancel     : Backspace"},
    {180, "   toggle fullscreen : F4"},
};
constexpr std::int32_t kPromptY = 210;
constexpr const char* kPrompt = "Press any key to return to title screen.";

TEST_F(KeyConfigurationScreen, LinesAndMarkerStandAtTheirRows) {
  screen_checks::FontSheet font;
  ASSERT_TRUE(font.loaded());
  for (std::int32_t step = kFirstCaptureStep; step >= kFinalKeyStep; --step) {
    SCOPED_TRACE(step);
    testing_support::fillCanvas(0, 0, 0);
    renderSettings(step);
    for (const ScreenLine& line : kDefaultLines) EXPECT_TRUE(font.textAt(canvas(), 2, line.y, line.text, 0));
    for (std::int32_t markedStep = kFirstCaptureStep; markedStep > kFinalKeyStep; --markedStep) {
      const std::int32_t markerY = (14 - markedStep) * 15;
      EXPECT_EQ(font.glyphAt(canvas(), 12, markerY, '>', 0), markedStep == step) << "marker row " << markerY;
      // The rest of the three leading spaces stays empty.
      EXPECT_TRUE(screen_checks::areaIs(canvas(), {2, markerY, 10, 15}, {0, 0, 0, 255}));
      EXPECT_TRUE(screen_checks::areaIs(canvas(), {22, markerY, 10, 15}, {0, 0, 0, 255}));
    }
    if (step == kFinalKeyStep) {
      EXPECT_TRUE(font.textAt(canvas(), 2, kPromptY, kPrompt, 0));
    } else {
      EXPECT_TRUE(screen_checks::areaIs(canvas(), {0, 195, kWindowWidth, 405}, {0, 0, 0, 255}));
    }
  }
}

TEST_F(KeyConfigurationScreen, ShowsTheCurrentKeyNames) {
  screen_checks::FontSheet font;
  ASSERT_TRUE(font.loaded());
  std::copy(kNewBindings.begin(), kNewBindings.end(), gKeyBindings);
  testing_support::fillCanvas(0, 0, 0);
  renderSettings(kFinalKeyStep);
  const char* names[] = {"W", "S", "A", "D", "Space", "E", "Q", "F5"};
  for (std::int32_t index = 0; index < kKeyBindingCount; ++index) {
    EXPECT_TRUE(font.textAt(canvas(), 232, 75 + 15 * index, names[index], 0));
  }
}

// Two presses taken in the first frame both count before the second frame is drawn: the canvas
// still shows that first frame, with the marker on move up and the old key name.
TEST_F(KeyConfigurationScreen, TwoPressesInOneFrameAssignTwoBindings) {
  screen_checks::FontSheet font;
  ASSERT_TRUE(font.loaded());
  pushKeyDown(SDLK_w);
  pushKeyDown(SDLK_s);
  testing_support::pushQuit();
  EXPECT_EQ(adjustSettings(), 0);
  EXPECT_EQ(gKeycodeUp, SDLK_w);
  EXPECT_EQ(gKeycodeDown, SDLK_s);
  EXPECT_EQ(gKeycodeLeft, SDLK_LEFT);
  EXPECT_TRUE(font.glyphAt(canvas(), 12, 75, '>', 0));
  EXPECT_TRUE(font.textAt(canvas(), 232, 75, "Up", 0));
}

// Later presses show in the next frames: the marker moves down and the new name appears.
TEST_F(KeyConfigurationScreen, CapturedKeyShowsInTheNextFrame) {
  screen_checks::FontSheet font;
  ASSERT_TRUE(font.loaded());
  pushKeyDown(SDLK_w);
  screen_checks::QueueFeeder closeLater({{SDL_QUIT, 0}});
  closeLater.start();
  EXPECT_EQ(adjustSettings(), 0);
  EXPECT_TRUE(font.textAt(canvas(), 232, 75, "W", 0));
  EXPECT_FALSE(font.glyphAt(canvas(), 12, 75, '>', 0));
  EXPECT_TRUE(font.glyphAt(canvas(), 12, 90, '>', 0));
}

}  // namespace
