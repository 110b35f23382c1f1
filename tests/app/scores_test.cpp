// The best scores: ranking and ties, the exact bytes of Scores.bin with the games' replays, files
// of version 1, files that are not a table, files of a later version, and saves that must not
// damage or follow what they find.
#include "app/scores.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "support/harness.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr const char* kTemporaryPath = "../Common/Scores.bin.tmp";
constexpr std::int64_t kDay1 = 1765065600;  // 2025-12-07 00:00 UTC
constexpr std::int64_t kDay2 = kDay1 + 86400;
constexpr std::int64_t kDay2Later = kDay2 + 3600;
constexpr std::int64_t kYear2100 = 4102444800;

// 340 (day 2), 120 (day 1), 120 (day 2, an hour later), 0 (2100), as computed outside the game:
// version 2 with a replay of 5 bytes for the first and one of 3 bytes for the third.
const Bytes kFirstReplay = {'Z', 'W', 'R', 'P', 7};
const Bytes kThirdReplay = {1, 2, 3};
Bytes fourScoresFile() {
  Bytes bytes = {0x5a, 0x57, 0x42, 0x53, 0x02, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x54, 0x01, 0x00, 0x00,
                 0x00, 0x15, 0x36, 0x69, 0x00, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x78, 0x00, 0x00, 0x00,
                 0x80, 0xc3, 0x34, 0x69, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x78, 0x00, 0x00, 0x00,
                 0x10, 0x23, 0x36, 0x69, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                 0x00, 0x57, 0x86, 0xf4, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  bytes.resize(172, 0x00);
  bytes.insert(bytes.end(), {0x5a, 0x57, 0x52, 0x50, 0x07, 0x01, 0x02, 0x03, 0x93, 0xa3, 0x3a, 0x7e});
  return bytes;
}

// The same four scores in a file of version 1, which had no replays.
Bytes fourScoresFileVersion1() {
  Bytes bytes = {0x5a, 0x57, 0x42, 0x53, 0x01, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00,
                 0x54, 0x01, 0x00, 0x00, 0x00, 0x15, 0x36, 0x69, 0x00, 0x00, 0x00, 0x00,
                 0x78, 0x00, 0x00, 0x00, 0x80, 0xc3, 0x34, 0x69, 0x00, 0x00, 0x00, 0x00,
                 0x78, 0x00, 0x00, 0x00, 0x10, 0x23, 0x36, 0x69, 0x00, 0x00, 0x00, 0x00,
                 0x00, 0x00, 0x00, 0x00, 0x00, 0x57, 0x86, 0xf4, 0x00, 0x00, 0x00, 0x00};
  bytes.resize(132, 0x00);
  bytes.insert(bytes.end(), {0xb6, 0x4c, 0xc1, 0xe5});
  return bytes;
}

void writeFile(const std::string& path, const Bytes& bytes) { testing_support::writeFileBytes(path, bytes); }
Bytes readFile(const std::string& path) { return testing_support::readFileBytes(path); }

class ScoresTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::enterFreshRunDirectory();
    gBestScoreCount = 0;
  }
  void TearDown() override { gBestScoreCount = 0; }

  void enterFourScores() {
    EXPECT_EQ(enterScore(120, kDay1), 1);
    EXPECT_EQ(enterScore(340, kDay2, kFirstReplay), 1);
    EXPECT_EQ(enterScore(120, kDay2Later, kThirdReplay), 3);  // below the equal score made earlier
    EXPECT_EQ(enterScore(0, kYear2100), 4);     // a table with room takes a score of 0
  }

  // What `action` printed.
  template <typename Action>
  static std::string capture(Action action) {
    fflush(stdout);
    ::testing::internal::CaptureStdout();
    action();
    fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
  }
  static std::string saveCapturingOutput(std::int32_t& result) {
    return capture([&result] { result = saveScores(); });
  }
};

TEST_F(ScoresTest, TheTableIsSavedAsItsExactBytesAndLoadsBack) {
  enterFourScores();
  std::int32_t result = 0;
  EXPECT_EQ(saveCapturingOutput(result), "");
  EXPECT_EQ(result, kScoresSaved);
  EXPECT_EQ(readFile(kScoresPath), fourScoresFile());
  EXPECT_FALSE(fs::exists(fs::symlink_status(kTemporaryPath)));

  gBestScoreCount = 0;
  EXPECT_EQ(capture(loadScores), "");
  ASSERT_EQ(gBestScoreCount, 4);
  EXPECT_EQ(gBestScores[2].date, kDay2Later);
  EXPECT_EQ(gBestScores[0].replay, kFirstReplay);
  EXPECT_EQ(gBestScores[2].replay, kThirdReplay);
  EXPECT_TRUE(gBestScores[3].replay.empty());
  EXPECT_EQ(bestScore(), 340);

  // A file of version 1 gives the same table without replays, and is saved as version 2.
  writeFile(kScoresPath, fourScoresFileVersion1());
  EXPECT_EQ(capture(loadScores), "");
  ASSERT_EQ(gBestScoreCount, 4);
  EXPECT_EQ(gBestScores[0].score, 340);
  EXPECT_TRUE(gBestScores[0].replay.empty());
  gBestScores[0].replay = kFirstReplay;
  gBestScores[2].replay = kThirdReplay;
  EXPECT_EQ(saveCapturingOutput(result), "");
  EXPECT_EQ(readFile(kScoresPath), fourScoresFile());
}

// A file of a later format says so once, is never replaced, and the scores of the run are not kept.
TEST_F(ScoresTest, AFileOfALaterVersionIsLeftAsItIs) {
  Bytes later = fourScoresFile();
  later[4] = 3;
  later.resize(later.size() + 1000, 0xab);
  writeFile(kScoresPath, later);
  EXPECT_EQ(capture(loadScores), "../Common/Scores.bin is of a later format (version 3) than this version knows; it is "
                                 "left as it is, and the scores of this run are not kept.\n");
  EXPECT_EQ(gBestScoreCount, 0);
  EXPECT_EQ(capture([] { recordGameScore(500, kDay1, kFirstReplay); }), "");
  EXPECT_EQ(bestScore(), 500) << "the game-over screen still shows it";
  EXPECT_EQ(readFile(kScoresPath), later);
}

TEST_F(ScoresTest, AFullTableKeepsTheTenBestAndTheOlderOfEqualScores) {
  EXPECT_EQ(capture(loadScores), "");  // no file: an empty table, without a word
  EXPECT_EQ(bestScore(), 0);
  for (std::int32_t score = 10; score >= 1; --score) {
    EXPECT_EQ(enterScore(score * 10, score, Bytes(score, static_cast<std::uint8_t>(score))), 11 - score);
  }
  EXPECT_EQ(enterScore(10, 101), 0);  // equal to the tenth: stays out
  EXPECT_EQ(enterScore(55, 102, Bytes(55, 55)), 6);  // pushes the tenth out
  EXPECT_EQ(gBestScoreCount, kBestScoreCapacity);
  EXPECT_EQ(gBestScores[9].score, 20);
  EXPECT_EQ(enterScore(100, 103), 2);
  EXPECT_EQ(gBestScores[0].date, 10);

  // Saved and read back whole, every replay with its own entry.
  std::int32_t result = 0;
  EXPECT_EQ(saveCapturingOutput(result), "");
  gBestScoreCount = 0;
  EXPECT_EQ(capture(loadScores), "");
  ASSERT_EQ(gBestScoreCount, kBestScoreCapacity);
  for (std::int32_t rank = 0; rank < kBestScoreCapacity; ++rank) {
    const BestScore& entry = gBestScores[rank];
    const std::size_t expected = entry.date > 100 ? (entry.date == 102 ? 55 : 0) : static_cast<std::size_t>(entry.date);
    EXPECT_EQ(entry.replay, Bytes(expected, static_cast<std::uint8_t>(expected))) << "rank " << rank + 1;
  }
}

// One line saying what is wrong, an empty table, and the next save puts a whole table in its
// place. (Any bytes at all: the fuzz target and its corpus.)
TEST_F(ScoresTest, AFileThatIsNotATableGivesOneMessageAnEmptyTableAndIsReplaced) {
  const Bytes good = fourScoresFile();
  const Bytes version1 = fourScoresFileVersion1();
  Bytes flipped = good;
  flipped[20] ^= 0x04;
  Bytes longer = version1;
  longer.push_back(0);
  Bytes wrongReplaySize = good;
  wrongReplaySize[24] = 4;  // the replays no longer fill the file, though its checksum holds
  const std::uint32_t crc = SDL_crc32(0, wrongReplaySize.data(), wrongReplaySize.size() - 4);
  for (std::int32_t i = 0; i < 4; ++i) wrongReplaySize[wrongReplaySize.size() - 4 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
  const Bytes png = readFile(testing_support::committedAssetPath("Feather.png"));
  const std::pair<Bytes, const char*> cases[] = {{Bytes(version1.begin(), version1.end() - 1), "is cut short"},
                                                 {longer, "is too long"},
                                                 {Bytes(png.begin(), png.begin() + 136), "is not a file of best scores"},
                                                 {Bytes(good.begin(), good.end() - 1), "is damaged or cut short"},
                                                 {flipped, "is damaged or cut short"},
                                                 {wrongReplaySize, "is damaged"}};
  for (const auto& [bytes, problem] : cases) {
    SCOPED_TRACE(problem);
    writeFile(kScoresPath, bytes);
    gBestScoreCount = 2;
    EXPECT_EQ(capture(loadScores), std::string("../Common/Scores.bin ") + problem +
                                       "; the best scores start empty, and the next score saved replaces the file.\n");
    EXPECT_EQ(gBestScoreCount, 0);
    enterFourScores();
    std::int32_t result = 0;
    EXPECT_EQ(saveCapturingOutput(result), "");
    EXPECT_EQ(readFile(kScoresPath), good);
    gBestScoreCount = 0;
  }
  // A directory in its place cannot be read, nor replaced.
  fs::remove(kScoresPath);
  fs::create_directory(kScoresPath);
  EXPECT_EQ(capture(loadScores), "../Common/Scores.bin cannot be read; the best scores start empty.\n");
  enterFourScores();
  std::int32_t result = 0;
  EXPECT_EQ(saveCapturingOutput(result), "Error opening file Scores.bin; the best scores are not saved.\n");
  EXPECT_TRUE(fs::is_directory(kScoresPath));

  // A FIFO without a writer neither holds up the start nor is replaced.
  fs::remove(kScoresPath);
  ASSERT_EQ(mkfifo(kScoresPath, 0600), 0);
  EXPECT_EQ(capture(loadScores), "../Common/Scores.bin is not a regular file; the best scores start empty.\n");
  EXPECT_EQ(saveCapturingOutput(result), "Error opening file Scores.bin; the best scores are not saved.\n");
  EXPECT_EQ(fs::status(kScoresPath).type(), fs::file_type::fifo);
}

// Root may write any file: the save is tried as an ordinary user then, in a child process.
TEST_F(ScoresTest, AReadOnlyFileIsNeverReplaced) {
  writeFile(kScoresPath, fourScoresFile());
  chmod(kScoresPath, 0444);
  enterScore(9999, kDay2);
  chmod(testing_support::currentRunDirectory().root.c_str(), 0755);
  chmod(testing_support::currentRunDirectory().common.c_str(), 0777);
  fflush(stdout);
  ::testing::internal::CaptureStdout();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(99);
    const std::int32_t result = saveScores();
    fflush(stdout);
    _exit(result);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Error opening file Scores.bin; the best scores are not saved.\n");
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kScoresSaveFailed) << status;
  EXPECT_EQ(readFile(kScoresPath), fourScoresFile());
}

// A link planted at the temporary name (to /dev/full, where a write fails, or to a file of the
// player's) is removed, never written through; the new file keeps the old one's mode.
TEST_F(ScoresTest, ASaveNeitherFollowsALinkAtTheTemporaryNameNorChangesTheMode) {
  writeFile(kScoresPath, Bytes(10, 1));
  chmod(kScoresPath, 0604);
  writeFile("../planted", Bytes(3, 7));
  enterFourScores();
  for (const char* target : {"/dev/full", "../planted"}) {
    SCOPED_TRACE(target);
    fs::create_symlink(target, kTemporaryPath);
    std::int32_t result = 0;
    EXPECT_EQ(saveCapturingOutput(result), "");
    EXPECT_EQ(fs::symlink_status(kScoresPath).type(), fs::file_type::regular);
    EXPECT_EQ(readFile(kScoresPath), fourScoresFile());
    EXPECT_EQ(fs::status(kScoresPath).permissions() & fs::perms::all, fs::perms(0604));
    EXPECT_FALSE(fs::exists(fs::symlink_status(kTemporaryPath)));
  }
  EXPECT_EQ(readFile("../planted"), Bytes(3, 7));
}

}  // namespace
