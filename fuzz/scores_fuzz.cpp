// Fuzz target: any bytes as the scores file, then scores entered into whatever table it gave.
// Input: one byte n (its low 4 bits), n scores of 4 bytes (the sign bit cleared), and the rest as
// Scores.bin. Loading must leave a table in order, print nothing for exactly the files it would
// save again byte for byte (and whole tables of version 1), one line for any other; a file of a
// later format is never replaced; each score takes its rank with its replay; a saved table loads back.
#include <algorithm>
#include <string>
#include <vector>

#include "app/scores.h"
#include "fuzz_support.h"

namespace {

std::string readWhole(const char* path) {
  const std::vector<std::uint8_t> bytes = testing_support::readFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

void expectTableInOrder() {
  if (gBestScoreCount < 0 || gBestScoreCount > kBestScoreCapacity) fuzz_support::fail("table count out of range");
  for (std::int32_t rank = 0; rank < gBestScoreCount; ++rank) {
    if (gBestScores[rank].score < 0) fuzz_support::fail("a negative score in the table");
    if (rank > 0 && gBestScores[rank].score > gBestScores[rank - 1].score) fuzz_support::fail("table out of order");
  }
}

void saveQuietly() {
  if (saveScores() != kScoresSaved) fuzz_support::fail("the table could not be saved");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_support::setUpOnce();
  fuzz_support::ByteReader reader(data, size);
  std::vector<std::int32_t> entries(reader.takeByte() & 0x0F);
  for (std::int32_t& score : entries) score = reader.takeInt32() & 0x7FFFFFFF;
  const std::string file = reader.rest();
  testing_support::writeFileBytes(kScoresPath, {file.begin(), file.end()});

  const std::string loadMessage = testing_support::printedBy(loadScores);
  expectTableInOrder();
  if (readWhole(kScoresPath) != file) fuzz_support::fail("loading changed the file");
  if (!gScoresKept) {
    // A later format: one line, and neither a save nor a score replaces the file.
    if (loadMessage.rfind("../Common/Scores.bin is of a later format", 0) != 0) fuzz_support::fail("kept wrongly");
    if (saveScores() != kScoresSaveFailed) fuzz_support::fail("a file of a later format was saved over");
    for (const std::int32_t score : entries) recordGameScore(score, 1, {});
    if (readWhole(kScoresPath) != file) fuzz_support::fail("a file of a later format was replaced");
    return 0;
  }
  if (testing_support::printedBy(saveQuietly) != "") fuzz_support::fail("a save printed a message");
  // A whole table of version 1 is taken without a word and saved as version 2.
  const bool version1 = file.size() == 136 && file.compare(4, 4, std::string("\1\0\0\0", 4)) == 0;
  const bool canonical = readWhole(kScoresPath) == file || (version1 && loadMessage.empty());
  if (canonical != loadMessage.empty()) {
    fuzz_support::fail(canonical ? "a whole table was refused: " + loadMessage : "a file that is not a table was taken");
  }
  if (!canonical && (gBestScoreCount != 0 || loadMessage.find('\n') != loadMessage.size() - 1 ||
                     loadMessage.rfind("../Common/Scores.bin ", 0) != 0)) {
    fuzz_support::fail("a refused file did not give one line and an empty table: " + loadMessage);
  }

  std::int64_t date = 0;
  for (const std::int32_t score : entries) {
    const std::int32_t countBefore = gBestScoreCount;
    const std::int32_t tenth = gBestScores[kBestScoreCapacity - 1].score;
    const std::int32_t rank = enterScore(score, ++date, std::vector<std::uint8_t>(score & 0xff, 0xab));
    expectTableInOrder();
    if (rank == 0) {
      if (countBefore != kBestScoreCapacity || tenth < score) fuzz_support::fail("a score was left out wrongly");
      continue;
    }
    if (gBestScores[rank - 1].score != score || gBestScores[rank - 1].date != date ||
        gBestScores[rank - 1].replay.size() != static_cast<std::size_t>(score & 0xff)) {
      fuzz_support::fail("not at its rank with its replay");
    }
    if (rank < gBestScoreCount && gBestScores[rank].score >= score) fuzz_support::fail("an equal score ranks below");
    if (gBestScoreCount != std::min(countBefore + 1, kBestScoreCapacity)) fuzz_support::fail("the table did not grow");
  }

  if (testing_support::printedBy(saveQuietly) != "") fuzz_support::fail("a save printed a message");
  // Loaded back and saved again, it gives the same bytes: no score, date or replay lost on the way.
  const std::string saved = readWhole(kScoresPath);
  if (testing_support::printedBy(loadScores) != "") fuzz_support::fail("a saved table did not load back");
  if (testing_support::printedBy(saveQuietly) != "" || readWhole(kScoresPath) != saved) fuzz_support::fail("the table changed on its way");
  return 0;
}
