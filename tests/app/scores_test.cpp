// The best scores: ranking and ties, the exact bytes of Scores.bin, files that are not a table,
// and saves that must not damage or follow what they find.
#include "app/scores.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
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

void writeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The checksum of the file's first 132 bytes, rewritten after a test changed them on purpose.
void resealChecksum(Bytes& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t index = 0; index < 132; ++index) {
    crc ^= bytes[index];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  crc = ~crc;
  for (int byte = 0; byte < 4; ++byte) bytes[132 + byte] = static_cast<std::uint8_t>(crc >> (8 * byte));
}

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

  static std::string capture(void (*action)()) {
    fflush(stdout);
    ::testing::internal::CaptureStdout();
    action();
    fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
  }
  static std::string saveCapturingOutput(std::int32_t& result) {
    fflush(stdout);
    ::testing::internal::CaptureStdout();
    result = saveScores();
    return ::testing::internal::GetCapturedStdout();
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
  const BestScore expected[4] = {{340, kDay2}, {120, kDay1}, {120, kDay2Later}, {0, kYear2100}};
  for (std::int32_t rank = 0; rank < 4; ++rank) {
    EXPECT_EQ(gBestScores[rank].score, expected[rank].score) << rank;
    EXPECT_EQ(gBestScores[rank].date, expected[rank].date) << rank;
  }
  EXPECT_EQ(bestScore(), 340);
}

TEST_F(ScoresTest, AFullTableKeepsTheTenBestAndTheOlderOfEqualScores) {
  EXPECT_EQ(bestScore(), 0);
  for (std::int32_t score = 10; score >= 1; --score) EXPECT_EQ(enterScore(score * 10, score), 11 - score);
  // The eleventh: lower than the tenth, or equal to it, stays out; higher pushes the tenth out.
  EXPECT_EQ(enterScore(5, 100), 0);
  EXPECT_EQ(enterScore(10, 101), 0);
  EXPECT_EQ(gBestScores[9].date, 1);
  EXPECT_EQ(enterScore(55, 102), 6);
  ASSERT_EQ(gBestScoreCount, kBestScoreCapacity);
  const std::int32_t expected[kBestScoreCapacity] = {100, 90, 80, 70, 60, 55, 50, 40, 30, 20};
  for (std::int32_t rank = 0; rank < kBestScoreCapacity; ++rank) EXPECT_EQ(gBestScores[rank].score, expected[rank]);
  EXPECT_EQ(enterScore(100, 103), 2);
  EXPECT_EQ(gBestScores[0].date, 10);
  EXPECT_EQ(gBestScores[9].score, 30);
  EXPECT_EQ(bestScore(), 100);
}

TEST_F(ScoresTest, AMissingFileIsAnEmptyTableWithoutAWord) {
  gBestScoreCount = 3;
  EXPECT_EQ(capture(loadScores), "");
  EXPECT_EQ(gBestScoreCount, 0);
  EXPECT_EQ(capture(printScores), "No best scores yet.\n");
}

// Every kind of file that is not a table: one line saying what is wrong, an empty table, and the
// next save puts a whole table in its place.
TEST_F(ScoresTest, AFileThatIsNotATableGivesOneMessageAnEmptyTableAndIsReplaced) {
  struct Case {
    const char* name;
    Bytes bytes;
    const char* problem;
  };
  std::vector<Case> cases;
  const Bytes good = fourScoresFile();
  cases.push_back({"empty", {}, "is cut short"});
  cases.push_back({"truncated", Bytes(good.begin(), good.end() - 1), "is cut short"});
  cases.push_back({"settings-sized", Bytes(32, 0x40), "is cut short"});
  Bytes longer = good;
  longer.push_back(0);
  cases.push_back({"one byte long", longer, "is too long"});
  cases.push_back({"1 MiB", Bytes(1 << 20, 0x5a), "is too long"});
  Bytes foreign = good;
  foreign[0] = 0x89;  // a PNG's first byte
  resealChecksum(foreign);
  cases.push_back({"foreign", foreign, "is not a file of best scores"});
  Bytes newer = good;
  newer[4] = 2;
  resealChecksum(newer);
  cases.push_back({"newer format", newer, "is of a format this version does not know"});
  Bytes flipped = good;
  flipped[20] ^= 0x04;
  cases.push_back({"one bit flipped", flipped, "is damaged"});
  Bytes overfull = good;
  overfull[8] = 11;
  resealChecksum(overfull);
  cases.push_back({"eleven records", overfull, "is damaged"});
  Bytes unordered = good;
  unordered[25] = 0x01;  // the second score, 376, above the first
  resealChecksum(unordered);
  cases.push_back({"out of order", unordered, "is damaged"});
  Bytes negative = good;
  negative[51] = 0x80;  // the fourth score below 0
  resealChecksum(negative);
  cases.push_back({"negative score", negative, "is damaged"});
  Bytes leftover = good;
  leftover[60] = 1;  // a score in the first unused record
  resealChecksum(leftover);
  cases.push_back({"bytes in an unused record", leftover, "is damaged"});

  for (const Case& bad : cases) {
    SCOPED_TRACE(bad.name);
    writeFile(kScoresPath, bad.bytes);
    gBestScoreCount = 2;
    EXPECT_EQ(capture(loadScores), std::string("../Common/Scores.bin ") + bad.problem +
                                       "; the best scores start empty, and the next score saved replaces the file.\n");
    EXPECT_EQ(gBestScoreCount, 0);
    EXPECT_EQ(readFile(kScoresPath), bad.bytes);  // loading never writes
    enterFourScores();
    std::int32_t result = 0;
    EXPECT_EQ(saveCapturingOutput(result), "");
    EXPECT_EQ(result, kScoresSaved);
    EXPECT_EQ(readFile(kScoresPath), good);
    gBestScoreCount = 0;
  }
}

TEST_F(ScoresTest, AFileThatCannotBeReadIsSaidSoAndLeftToThePlayer) {
  fs::create_directory(kScoresPath);
  EXPECT_EQ(capture(loadScores), "../Common/Scores.bin cannot be read; the best scores start empty.\n");
  enterScore(7, kDay1);
  std::int32_t result = 0;
  EXPECT_EQ(saveCapturingOutput(result), "Error opening file Scores.bin; the best scores are not saved.\n");
  EXPECT_EQ(result, kScoresSaveFailed);
  EXPECT_TRUE(fs::is_directory(kScoresPath));
  EXPECT_FALSE(fs::exists(fs::symlink_status(kTemporaryPath)));
}

// Root may write any file; the save is tried as an ordinary user then, in a child process.
TEST_F(ScoresTest, AReadOnlyFileIsNeverReplaced) {
  writeFile(kScoresPath, fourScoresFile());
  chmod(kScoresPath, 0444);
  enterScore(9999, kDay2);
  const testing_support::RunDirectory& run = testing_support::currentRunDirectory();
  chmod(run.root.c_str(), 0755);
  chmod(run.common.c_str(), 0777);
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
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kScoresSaveFailed);
  EXPECT_EQ(readFile(kScoresPath), fourScoresFile());
  EXPECT_EQ(fs::status(kScoresPath).permissions() & fs::perms::all, fs::perms(0444));
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
    EXPECT_EQ(result, kScoresSaved);
    EXPECT_EQ(fs::symlink_status(kScoresPath).type(), fs::file_type::regular);
    EXPECT_EQ(readFile(kScoresPath), fourScoresFile());
    EXPECT_EQ(fs::status(kScoresPath).permissions() & fs::perms::all, fs::perms(0604));
    EXPECT_FALSE(fs::exists(fs::symlink_status(kTemporaryPath)));
  }
  EXPECT_EQ(readFile("../planted"), Bytes(3, 7));
}

TEST_F(ScoresTest, TheGameScoreIsRecordedWithTodaysDateAndSavedOnlyWhenItEnters) {
  const std::int64_t before = static_cast<std::int64_t>(time(nullptr));
  recordGameScore(42);
  ASSERT_EQ(gBestScoreCount, 1);
  EXPECT_GE(gBestScores[0].date, before);
  EXPECT_LE(gBestScores[0].date, static_cast<std::int64_t>(time(nullptr)));
  gBestScoreCount = 0;
  loadScores();
  EXPECT_EQ(gBestScoreCount, 1);
  EXPECT_EQ(bestScore(), 42);

  for (std::int32_t rank = 1; rank < kBestScoreCapacity; ++rank) enterScore(50, kDay1);
  ASSERT_EQ(saveScores(), kScoresSaved);
  const Bytes full = readFile(kScoresPath);
  recordGameScore(42);  // equal to the tenth: not entered, the file stays
  EXPECT_EQ(readFile(kScoresPath), full);
}

TEST_F(ScoresTest, TheTableIsPrintedOneRankALineWithLocalDates) {
  const char* zone = getenv("TZ");
  const std::string savedZone = zone != nullptr ? zone : "";
  setenv("TZ", "UTC", 1);
  tzset();
  enterFourScores();
  EXPECT_EQ(capture(printScores),
            " 1.        340  2025-12-08\n"
            " 2.        120  2025-12-07\n"
            " 3.        120  2025-12-08\n"
            " 4.          0  2100-01-01\n");
  setenv("TZ", "HST10", 1);  // ten hours behind UTC: the first day's midnight is the day before
  tzset();
  const std::string printed = capture(printScores);
  if (zone != nullptr) setenv("TZ", savedZone.c_str(), 1); else unsetenv("TZ");
  tzset();
  EXPECT_NE(printed.find(" 2.        120  2025-12-06\n"), std::string::npos) << printed;
}

}  // namespace
