// The ten best scores and ../Common/Scores.bin, which carries them from one run to the next.
#include "app/scores.h"

#include <SDL.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "app/platform.h"
#include "app/save_file.h"

BestScore gBestScores[kBestScoreCapacity];
std::int32_t gBestScoreCount = 0;

namespace {

constexpr const char* kScoresDirectory = "../Common";
constexpr const char* kScoresFileName = "Scores.bin";
constexpr const char* kScoresTemporaryName = "Scores.bin.tmp";
constexpr unsigned char kMagic[4] = {'Z', 'W', 'B', 'S'};
constexpr std::int32_t kHeaderSize = 12;  // bytes: magic, version, count
constexpr std::int32_t kRecordSize = 12;  // bytes: score, date
constexpr std::int32_t kChecksumOffset = kHeaderSize + kBestScoreCapacity * kRecordSize;
static_assert(kScoresFileSize == kChecksumOffset + 4);

using FileBytes = unsigned char[kScoresFileSize];

std::uint64_t readLittleEndian(const unsigned char* bytes, std::int32_t size) {
  std::uint64_t value = 0;
  for (std::int32_t byte = size - 1; byte >= 0; --byte) value = value << 8 | bytes[byte];
  return value;
}

void writeLittleEndian(std::uint64_t value, unsigned char* bytes, std::int32_t size) {
  for (std::int32_t byte = 0; byte < size; ++byte) bytes[byte] = static_cast<unsigned char>(value >> (8 * byte));
}

std::uint32_t checksumOf(const unsigned char* bytes) { return SDL_crc32(0, bytes, kChecksumOffset); }

void encodeTable(FileBytes& bytes) {
  std::memset(bytes, 0, sizeof bytes);
  std::memcpy(bytes, kMagic, sizeof kMagic);
  writeLittleEndian(kScoresFormatVersion, bytes + 4, 4);
  writeLittleEndian(static_cast<std::uint32_t>(gBestScoreCount), bytes + 8, 4);
  for (std::int32_t rank = 0; rank < gBestScoreCount; ++rank) {
    unsigned char* record = bytes + kHeaderSize + rank * kRecordSize;
    writeLittleEndian(static_cast<std::uint32_t>(gBestScores[rank].score), record, 4);
    writeLittleEndian(static_cast<std::uint64_t>(gBestScores[rank].date), record + 4, 8);
  }
  writeLittleEndian(checksumOf(bytes), bytes + kChecksumOffset, 4);
}

// Fills the table from the kScoresFileSize bytes of a whole file; what is wrong with them, or nullptr when the table
// was taken. A table out of order, with a negative score or with bytes in its unused records
// counts as damaged, just like a wrong checksum.
const char* decodeTable(const unsigned char* bytes) {
  if (std::memcmp(bytes, kMagic, sizeof kMagic) != 0) return "is not a file of best scores";
  if (readLittleEndian(bytes + 4, 4) != kScoresFormatVersion) return "is of a format this version does not know";
  if (readLittleEndian(bytes + kChecksumOffset, 4) != checksumOf(bytes)) return "is damaged";
  const std::uint64_t count = readLittleEndian(bytes + 8, 4);
  if (count > kBestScoreCapacity) return "is damaged";
  BestScore table[kBestScoreCapacity] = {};
  for (std::int32_t rank = 0; rank < kBestScoreCapacity; ++rank) {
    const unsigned char* record = bytes + kHeaderSize + rank * kRecordSize;
    table[rank].score = static_cast<std::int32_t>(readLittleEndian(record, 4));
    table[rank].date = static_cast<std::int64_t>(readLittleEndian(record + 4, 8));
    const bool used = rank < static_cast<std::int32_t>(count);
    if (used && (table[rank].score < 0 || (rank > 0 && table[rank].score > table[rank - 1].score))) return "is damaged";
    if (!used && (table[rank].score != 0 || table[rank].date != 0)) return "is damaged";
  }
  for (std::int32_t rank = 0; rank < kBestScoreCapacity; ++rank) gBestScores[rank] = std::move(table[rank]);
  gBestScoreCount = static_cast<std::int32_t>(count);
  return nullptr;
}

bool writeTable(FILE* file) {
  FileBytes bytes;
  encodeTable(bytes);
  return fwrite(bytes, sizeof bytes, 1, file) == 1;
}

}  // namespace

// One byte more than a table is read, so that a longer file is told apart from a whole one. A
// file of the wrong size or contents is replaced by the next save; one that cannot be read at
// all (a directory, a file the player closed to reading) is the player's business.
void loadScores() {
  gBestScoreCount = 0;
  FILE* file = fopen(kScoresPath, "rb");
  if (file == nullptr && errno == ENOENT) return;
  unsigned char bytes[kScoresFileSize + 1];
  size_t size = 0;
  bool readFailed = file == nullptr;
  if (file != nullptr) {
    size = fread(bytes, 1, sizeof bytes, file);
    readFailed = ferror(file) != 0;
    fclose(file);
  }

  const char* problem = nullptr;
  if (readFailed) {
    printf("%s cannot be read; the best scores start empty.\n", kScoresPath);
    return;
  }
  if (size < static_cast<size_t>(kScoresFileSize)) {
    problem = "is cut short";
  } else if (size > static_cast<size_t>(kScoresFileSize)) {
    problem = "is too long";
  } else {
    problem = decodeTable(bytes);
  }
  if (problem != nullptr) {
    printf("%s %s; the best scores start empty, and the next score saved replaces the file.\n", kScoresPath, problem);
  }
}

std::int32_t saveScores() {
  const std::int32_t result = replaceFile(kScoresDirectory, kScoresFileName, kScoresTemporaryName, writeTable);
  if (result == kFileReplaced) {
    syncSavedFiles();
    return kScoresSaved;
  }
  printf("Error %s file %s; the best scores are not saved.\n", result == kFileNotWritten ? "writing" : "opening",
         kScoresFileName);
  return kScoresSaveFailed;
}

std::int32_t enterScore(std::int32_t score, std::int64_t date) {
  std::int32_t place = 0;
  while (place < gBestScoreCount && gBestScores[place].score >= score) ++place;
  if (place == kBestScoreCapacity) return 0;
  const std::int32_t moved = (gBestScoreCount < kBestScoreCapacity ? gBestScoreCount : kBestScoreCapacity - 1) - place;
  std::move_backward(&gBestScores[place], &gBestScores[place + moved], &gBestScores[place + moved + 1]);
  gBestScores[place] = {score, date, {}};
  if (gBestScoreCount < kBestScoreCapacity) ++gBestScoreCount;
  return place + 1;
}

void recordGameScore(std::int32_t score) {
  if (enterScore(score, static_cast<std::int64_t>(time(nullptr))) != 0) saveScores();
}

std::int32_t bestScore() { return gBestScoreCount > 0 ? gBestScores[0].score : 0; }

void printScores() {
  if (gBestScoreCount == 0) {
    puts("No best scores yet.");
    return;
  }
  for (std::int32_t rank = 0; rank < gBestScoreCount; ++rank) {
    const time_t date = static_cast<time_t>(gBestScores[rank].date);
    struct tm local;
    char day[32] = "unknown date";
    if (localtime_r(&date, &local) != nullptr) strftime(day, sizeof day, "%Y-%m-%d", &local);
    printf("%2d. %10d  %s\n", static_cast<int>(rank + 1), static_cast<int>(gBestScores[rank].score), day);
  }
}
