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

bool gScoresKept = true;

namespace {

constexpr const char* kScoresDirectory = "../Common";
constexpr const char* kScoresFileName = "Scores.bin";
constexpr const char* kScoresTemporaryName = "Scores.bin.tmp";
constexpr unsigned char kMagic[4] = {'Z', 'W', 'B', 'S'};
constexpr std::size_t kHeaderSize = 12;                                // bytes: magic, version, count
constexpr std::size_t kRecordSizes[] = {0, 12, 16};                    // bytes per record, by version
constexpr std::size_t kChecksumSize = 4;                               // bytes
constexpr std::size_t kLargestFile = kHeaderSize + kBestScoreCapacity * (16 + kScoresMaxReplaySize) + kChecksumSize;

using Bytes = std::vector<unsigned char>;

std::uint64_t readLittleEndian(const unsigned char* bytes, std::int32_t size) {
  std::uint64_t value = 0;
  for (std::int32_t byte = size - 1; byte >= 0; --byte) value = value << 8 | bytes[byte];
  return value;
}

void appendLittleEndian(std::uint64_t value, Bytes& bytes, std::int32_t size) {
  for (std::int32_t byte = 0; byte < size; ++byte) bytes.push_back(static_cast<unsigned char>(value >> (8 * byte)));
}

std::uint32_t checksumOf(const Bytes& bytes) {
  return SDL_crc32(0, bytes.data(), bytes.size() - kChecksumSize);
}

Bytes encodeTable() {
  Bytes bytes(kMagic, kMagic + sizeof kMagic);
  appendLittleEndian(kScoresFormatVersion, bytes, 4);
  appendLittleEndian(static_cast<std::uint32_t>(gBestScoreCount), bytes, 4);
  bytes.resize(kHeaderSize + kBestScoreCapacity * kRecordSizes[kScoresFormatVersion], 0);
  for (std::int32_t rank = 0; rank < gBestScoreCount; ++rank) {
    Bytes record;
    appendLittleEndian(static_cast<std::uint32_t>(gBestScores[rank].score), record, 4);
    appendLittleEndian(static_cast<std::uint64_t>(gBestScores[rank].date), record, 8);
    appendLittleEndian(gBestScores[rank].replay.size(), record, 4);
    std::copy(record.begin(), record.end(), bytes.begin() + kHeaderSize + rank * record.size());
    bytes.insert(bytes.end(), gBestScores[rank].replay.begin(), gBestScores[rank].replay.end());
  }
  appendLittleEndian(0, bytes, 4);
  const std::uint32_t checksum = checksumOf(bytes);
  bytes.resize(bytes.size() - kChecksumSize);
  appendLittleEndian(checksum, bytes, 4);
  return bytes;
}

// Fills the table from a whole file of version 1 or 2; what is wrong with it, or nullptr when
// the table was taken. A table out of order, with a negative score, with bytes in its unused
// records or with replays that do not fill the file exactly counts as damaged, just like a
// wrong checksum.
const char* decodeTable(const Bytes& bytes) {
  if (bytes.size() < kHeaderSize + kChecksumSize || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
    return bytes.size() < kHeaderSize + kChecksumSize ? "is cut short" : "is not a file of best scores";
  }
  const std::uint64_t version = readLittleEndian(bytes.data() + 4, 4);
  if (version != 1 && version != 2) return "is of a format this version does not know";
  const std::size_t recordSize = kRecordSizes[version];
  const std::size_t recordsEnd = kHeaderSize + kBestScoreCapacity * recordSize;
  if (bytes.size() < recordsEnd + kChecksumSize) return "is cut short";
  if (version == 1 && bytes.size() > recordsEnd + kChecksumSize) return "is too long";
  if (readLittleEndian(bytes.data() + bytes.size() - kChecksumSize, 4) != checksumOf(bytes)) {
    return version == 1 ? "is damaged" : "is damaged or cut short";
  }
  const std::uint64_t count = readLittleEndian(bytes.data() + 8, 4);
  if (count > kBestScoreCapacity) return "is damaged";
  BestScore table[kBestScoreCapacity] = {};
  std::size_t replayAt = recordsEnd;
  for (std::int32_t rank = 0; rank < kBestScoreCapacity; ++rank) {
    const unsigned char* record = bytes.data() + kHeaderSize + rank * recordSize;
    table[rank].score = static_cast<std::int32_t>(readLittleEndian(record, 4));
    table[rank].date = static_cast<std::int64_t>(readLittleEndian(record + 4, 8));
    const std::uint64_t replaySize = version == 1 ? 0 : readLittleEndian(record + 12, 4);
    const bool used = rank < static_cast<std::int32_t>(count);
    if (used && (table[rank].score < 0 || (rank > 0 && table[rank].score > table[rank - 1].score))) return "is damaged";
    if (!used && (table[rank].score != 0 || table[rank].date != 0 || replaySize != 0)) return "is damaged";
    if (replaySize > bytes.size() - kChecksumSize - replayAt) return "is damaged";
    table[rank].replay.assign(bytes.begin() + replayAt, bytes.begin() + replayAt + replaySize);
    replayAt += replaySize;
  }
  if (replayAt != bytes.size() - kChecksumSize) return "is damaged";
  for (std::int32_t rank = 0; rank < kBestScoreCapacity; ++rank) gBestScores[rank] = std::move(table[rank]);
  gBestScoreCount = static_cast<std::int32_t>(count);
  return nullptr;
}

bool writeTable(FILE* file) {
  const Bytes bytes = encodeTable();
  return fwrite(bytes.data(), bytes.size(), 1, file) == 1;
}

}  // namespace

// A file of a later version says so once and is never replaced. Any other file of the wrong
// size or contents is replaced by the next save; one that cannot be read at all (a directory, a
// FIFO, a device, a file the player closed to reading) is the player's business.
void loadScores() {
  gBestScoreCount = 0;
  gScoresKept = true;
  Bytes bytes;
  const std::int32_t result = readSavedFile(kScoresPath, kLargestFile, bytes);
  if (result == kFileMissing) return;
  if (result != kFileRead) {
    printf("%s %s; the best scores start empty.\n", kScoresPath,
           result == kFileNotRegular ? "is not a regular file" : "cannot be read");
    return;
  }
  const std::uint64_t version = bytes.size() >= kHeaderSize && std::memcmp(bytes.data(), kMagic, sizeof kMagic) == 0
                                    ? readLittleEndian(bytes.data() + 4, 4)
                                    : 0;
  if (version > kScoresFormatVersion) {
    gScoresKept = false;
    printf("%s is of a later format (version %u) than this version knows; it is left as it is, and the scores "
           "of this run are not kept.\n",
           kScoresPath, static_cast<unsigned>(version > 0xffffffffu ? 0xffffffffu : version));
    return;
  }
  const char* problem = bytes.size() > kLargestFile ? "is too long" : decodeTable(bytes);
  if (problem != nullptr) {
    printf("%s %s; the best scores start empty, and the next score saved replaces the file.\n", kScoresPath, problem);
  }
}

std::int32_t saveScores() {
  if (!gScoresKept) return kScoresSaveFailed;
  const std::int32_t result = replaceFile(kScoresDirectory, kScoresFileName, kScoresTemporaryName, writeTable);
  if (result == kFileReplaced) {
    syncSavedFiles();
    return kScoresSaved;
  }
  printf("Error %s file %s; the best scores are not saved.\n", result == kFileNotWritten ? "writing" : "opening",
         kScoresFileName);
  return kScoresSaveFailed;
}

std::int32_t enterScore(std::int32_t score, std::int64_t date, std::vector<std::uint8_t> replay) {
  std::int32_t place = 0;
  while (place < gBestScoreCount && gBestScores[place].score >= score) ++place;
  if (place == kBestScoreCapacity) return 0;
  const std::int32_t moved = (gBestScoreCount < kBestScoreCapacity ? gBestScoreCount : kBestScoreCapacity - 1) - place;
  std::move_backward(&gBestScores[place], &gBestScores[place + moved], &gBestScores[place + moved + 1]);
  if (replay.size() > kScoresMaxReplaySize) replay.clear();
  gBestScores[place] = {score, date, std::move(replay)};
  if (gBestScoreCount < kBestScoreCapacity) ++gBestScoreCount;
  return place + 1;
}

void recordGameScore(std::int32_t score, std::int64_t date, std::vector<std::uint8_t> replay) {
  if (enterScore(score, date, std::move(replay)) != 0) saveScores();
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
