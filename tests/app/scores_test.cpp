// The best scores: ranking and ties, the exact bytes of Scores.bin, files that are not a table,
// and saves that must not damage or follow what they find.
#include "app/scores.h"

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

// 340 (day 2), 120 (day 1), 120 (day 2, an hour later), 0 (2100), as computed outside the game.
Bytes fourScoresFile() {
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
    EXPECT_EQ(enterScore(340, kDay2), 1);
    EXPECT_EQ(enterScore(120, kDay2Later), 3);  // below the equal score made earlier
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
  EXPECT_EQ(bestScore(), 340);
}

TEST_F(ScoresTest, AFullTableKeepsTheTenBestAndTheOlderOfEqualScores) {
  EXPECT_EQ(capture(loadScores), "");  // no file: an empty table, without a word
  EXPECT_EQ(bestScore(), 0);
  for (std::int32_t score = 10; score >= 1; --score) EXPECT_EQ(enterScore(score * 10, score), 11 - score);
  EXPECT_EQ(enterScore(10, 101), 0);  // equal to the tenth: stays out
  EXPECT_EQ(enterScore(55, 102), 6);  // pushes the tenth out
  EXPECT_EQ(gBestScoreCount, kBestScoreCapacity);
  EXPECT_EQ(gBestScores[9].score, 20);
  EXPECT_EQ(enterScore(100, 103), 2);
  EXPECT_EQ(gBestScores[0].date, 10);
}

// One line saying what is wrong, an empty table, and the next save puts a whole table in its
// place. (Any bytes at all: the fuzz target and its corpus.)
TEST_F(ScoresTest, AFileThatIsNotATableGivesOneMessageAnEmptyTableAndIsReplaced) {
  const Bytes good = fourScoresFile();
  Bytes flipped = good;
  flipped[20] ^= 0x04;
  Bytes longer = good;
  longer.push_back(0);
  const Bytes png = readFile(testing_support::committedAssetPath("Feather.png"));
  const std::pair<Bytes, const char*> cases[] = {{Bytes(good.begin(), good.end() - 1), "is cut short"},
                                                 {longer, "is too long"},
                                                 {Bytes(png.begin(), png.begin() + 136), "is not a file of best scores"},
                                                 {flipped, "is damaged"}};
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
