// Settings.bin and Scores.bin: their exact bytes, short, long and foreign files and the ten best.
// (Saves that fail or find something in their way are the hostile tests'.)
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/scores.h"
#include "app/settings.h"
#include "support/harness.h"

using testing_support::printedBy;
using testing_support::readFileBytes;
using testing_support::writeFileBytes;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Bytes written as hexadecimal digits, spaces ignored; padded with zeros to `size`.
Bytes hex(const std::string& digits, std::size_t size = 0) {
  Bytes bytes;
  for (std::size_t at = 0; at < digits.size(); ++at) {
    if (digits[at] != ' ') bytes.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(at++, 2), nullptr, 16)));
  }
  bytes.resize(std::max(size, bytes.size()));
  return bytes;
}
Bytes operator+(Bytes left, const Bytes& right) {
  left.insert(left.end(), right.begin(), right.end());
  return left;
}

// The default bindings (up, down, left, right, right Ctrl, Return, Backspace, F4); then w, s, a,
// d, space, a negative and a high-bit value and a duplicate.
const Bytes kDefaultSettings = hex("52000040 51000040 50000040 4f000040 e4000040 0d000000 08000000 3d000040");
const Bytes kCustomSettings = hex("77000000 73000000 61000000 64000000 20000000 ffffffff 01000080 64000000");
const std::vector<SDL_Keycode> kCustomBindings = {SDLK_w, SDLK_s, SDLK_a, SDLK_d, SDLK_SPACE, -1,
                                                  static_cast<SDL_Keycode>(0x80000001u), SDLK_d};

constexpr std::int64_t kDay1 = 1765065600;  // 2025-12-07 00:00 UTC
constexpr std::int64_t kDay2 = kDay1 + 86400;
const Bytes kFirstReplay = {'Z', 'W', 'R', 'P', 7}, kThirdReplay = {1, 2, 3};
// 340 (day 2, the first replay), 120 (day 1), 120 (day 2 an hour later, the third replay), 0 (2100),
// as computed outside the game; then the same table in version 1, which had no replays.
const Bytes kFourScores = hex("5a574253 02000000 04000000 54010000 00153669 00000000 05000000"
                              "78000000 80c33469 00000000 00000000 78000000 10233669 00000000 03000000"
                              "00000000 005786f4 00000000 00000000", 172) + hex("5a575250 07 010203 93a33a7e");
const Bytes kFourScoresVersion1 = hex("5a574253 01000000 04000000 54010000 00153669 00000000 78000000 80c33469"
                                      "00000000 78000000 10233669 00000000 00000000 005786f4 00000000", 132) +
                                  hex("b64cc1e5");

std::vector<SDL_Keycode> bindings() { return {gKeyBindings, gKeyBindings + kKeyBindingCount}; }
void setBindings(const SDL_Keycode* keys) { std::copy(keys, keys + kKeyBindingCount, gKeyBindings); }

void enterFourScores() {
  gBestScoreCount = 0;
  EXPECT_EQ(enterScore(120, kDay1), 1);
  EXPECT_EQ(enterScore(340, kDay2, kFirstReplay), 1);
  EXPECT_EQ(enterScore(120, kDay2 + 3600, kThirdReplay), 3);  // below the equal score made earlier
  EXPECT_EQ(enterScore(0, 4102444800), 4);                    // a table with room takes a score of 0
}

std::string scoresProblem(const std::string& problem) {
  return "../Common/Scores.bin " + problem + "; the best scores start empty, and the next score saved replaces the file.\n";
}

class SavedFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::enterFreshRunDirectory();
    setBindings(kDefaultKeyBindings);
    gBestScoreCount = 0;
    gScoresKept = true;
  }
};
using SettingsTest = SavedFileTest;
using ScoresTest = SavedFileTest;

// An older, longer file is replaced whole; only the first 32 bytes of a longer one count.
TEST_F(SettingsTest, AreSavedAsTheirExactBytesAndLoadBackFromWholeRecordsOnly) {
  const SDL_Keycode* named[] = {&gKeycodeUp,     &gKeycodeDown,    &gKeycodeLeft,   &gKeycodeRight,
                                &gKeycodeAttack, &gKeycodeConfirm, &gKeycodeCancel, &gKeycodeToggleFullscreen};
  for (std::int32_t index = 0; index < kKeyBindingCount; ++index) EXPECT_EQ(named[index], &gKeyBindings[index]);
  EXPECT_EQ(printedBy([] { EXPECT_EQ(saveSettings(), kSettingsSaved); }), "");
  EXPECT_EQ(readFileBytes(kSettingsPath), kDefaultSettings);
  writeFileBytes(kSettingsPath, Bytes(40, 0xAA));
  setBindings(kCustomBindings.data());
  EXPECT_EQ(saveSettings(), kSettingsSaved);
  EXPECT_EQ(readFileBytes(kSettingsPath), kCustomSettings);
  for (const Bytes& file : {kCustomSettings, kCustomSettings + Bytes{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}}) {
    writeFileBytes(kSettingsPath, file);
    setBindings(kDefaultKeyBindings);
    loadSettings();
    EXPECT_EQ(bindings(), kCustomBindings);
  }
}

// Version 1 gives the same table without replays, and is saved as version 2.
TEST_F(ScoresTest, TheTableIsSavedAsItsExactBytesLoadsBackAndIsListed) {
  EXPECT_EQ(printedBy(loadScores), "");  // no file: an empty table, without a word
  EXPECT_EQ(bestScore(), 0);
  EXPECT_EQ(printedBy(printScores), "No best scores yet.\n");
  enterFourScores();
  EXPECT_EQ(printedBy([] { EXPECT_EQ(saveScores(), kScoresSaved); }), "");
  EXPECT_EQ(readFileBytes(kScoresPath), kFourScores);
  gBestScoreCount = 0;
  EXPECT_EQ(printedBy(loadScores), "");
  ASSERT_EQ(gBestScoreCount, 4);
  EXPECT_EQ(gBestScores[2].date, kDay2 + 3600);
  EXPECT_EQ(gBestScores[0].replay, kFirstReplay);
  EXPECT_EQ(gBestScores[2].replay, kThirdReplay);
  EXPECT_TRUE(gBestScores[3].replay.empty());
  EXPECT_EQ(bestScore(), 340);
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(printedBy(printScores), " 1.        340  2025-12-08\n 2.        120  2025-12-07\n"
                                    " 3.        120  2025-12-08\n 4.          0  2100-01-01\n");
  writeFileBytes(kScoresPath, kFourScoresVersion1);
  EXPECT_EQ(printedBy(loadScores), "");
  ASSERT_EQ(gBestScoreCount, 4);
  EXPECT_EQ(gBestScores[0].score, 340);
  EXPECT_TRUE(gBestScores[0].replay.empty());
  gBestScores[0].replay = kFirstReplay;
  gBestScores[2].replay = kThirdReplay;
  EXPECT_EQ(saveScores(), kScoresSaved);
  EXPECT_EQ(readFileBytes(kScoresPath), kFourScores);
}

// A file of a later format says so once, is never replaced, and the scores of the run are not kept.
TEST_F(ScoresTest, AFileOfALaterVersionIsLeftAsItIs) {
  Bytes later = kFourScores + Bytes(1000, 0xab);
  later[4] = 3;
  writeFileBytes(kScoresPath, later);
  EXPECT_EQ(printedBy(loadScores), "../Common/Scores.bin is of a later format (version 3) than this version knows; it "
                                   "is left as it is, and the scores of this run are not kept.\n");
  EXPECT_EQ(gBestScoreCount, 0);
  EXPECT_EQ(printedBy([] { recordGameScore(500, kDay1, kFirstReplay); }), "");
  EXPECT_EQ(bestScore(), 500) << "the game-over screen still shows it";
  EXPECT_EQ(readFileBytes(kScoresPath), later);
}

// Replays of the largest size kept make the largest file read; a byte more is too long.
TEST_F(ScoresTest, AFullTableKeepsTheTenBestTheOlderOfEqualScoresAndReplaysUpToTheirLimit) {
  for (std::int32_t score = 10; score >= 1; --score) {
    EXPECT_EQ(enterScore(score * 10, score, Bytes(score, static_cast<std::uint8_t>(score))), 11 - score);
  }
  EXPECT_EQ(enterScore(10, 101), 0);                 // equal to the tenth: stays out
  EXPECT_EQ(enterScore(55, 102, Bytes(55, 55)), 6);  // pushes the tenth out
  EXPECT_EQ(gBestScores[9].score, 20);
  EXPECT_EQ(gBestScores[5].replay, Bytes(55, 55));
  for (std::int32_t rank = 0; rank < kBestScoreCapacity; ++rank) {
    EXPECT_EQ(enterScore(1000, rank, Bytes(kScoresMaxReplaySize + (rank == 0 ? 1 : 0), 7)), rank + 1);
  }
  EXPECT_TRUE(gBestScores[0].replay.empty()) << "a replay past the limit is not kept";
  gBestScores[0].replay.assign(kScoresMaxReplaySize, 7);
  EXPECT_EQ(saveScores(), kScoresSaved);
  const Bytes largest = readFileBytes(kScoresPath);
  EXPECT_EQ(largest.size(), 16 + kBestScoreCapacity * (16 + kScoresMaxReplaySize));
  EXPECT_EQ(printedBy(loadScores), "");
  EXPECT_EQ(gBestScoreCount, kBestScoreCapacity);
  writeFileBytes(kScoresPath, largest + Bytes{0});
  EXPECT_EQ(printedBy(loadScores), scoresProblem("is too long"));
}

// One line saying what is wrong, an empty table, and the next save puts a whole table in its place.
TEST_F(ScoresTest, AFileThatIsNotATableGivesOneMessageAnEmptyTableAndIsReplaced) {
  Bytes flipped = kFourScores, wrongReplaySize = kFourScores;
  flipped[20] ^= 0x04;
  wrongReplaySize[24] = 4;  // the replays no longer fill the file, though its checksum holds
  const std::uint32_t crc = SDL_crc32(0, wrongReplaySize.data(), wrongReplaySize.size() - 4);
  for (std::size_t i = 0; i < 4; ++i) wrongReplaySize[wrongReplaySize.size() - 4 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
  const Bytes png = readFileBytes(testing_support::committedAssetPath("Feather.png"));
  const std::pair<Bytes, const char*> cases[] = {
      {Bytes(kFourScoresVersion1.begin(), kFourScoresVersion1.end() - 1), "is cut short"},
      {kFourScoresVersion1 + Bytes{0}, "is too long"},
      {Bytes(png.begin(), png.begin() + 136), "is not a file of best scores"},
      {Bytes(kFourScores.begin(), kFourScores.end() - 1), "is damaged or cut short"},
      {flipped, "is damaged or cut short"},
      {wrongReplaySize, "is damaged"}};
  for (const auto& [bytes, problem] : cases) {
    writeFileBytes(kScoresPath, bytes);
    gBestScoreCount = 2;
    EXPECT_EQ(printedBy(loadScores), scoresProblem(problem));
    EXPECT_EQ(gBestScoreCount, 0);
    enterFourScores();
    EXPECT_EQ(printedBy(saveScores), "");
    EXPECT_EQ(readFileBytes(kScoresPath), kFourScores);
  }
  std::filesystem::remove(kScoresPath);
  std::filesystem::create_directory(kScoresPath);
  EXPECT_EQ(printedBy(loadScores), "../Common/Scores.bin cannot be read; the best scores start empty.\n");
}

}  // namespace
