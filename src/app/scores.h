// The ten best scores with their dates and their games' replays, and ../Common/Scores.bin, which
// keeps them between runs.
//
// Scores.bin, every number little-endian:
//   offset  size
//        0     4  "ZWBS", which marks the file as this game's best scores
//        4     4  format version, 2
//        8     4  how many records are in use, 0 to 10
//       12   160  ten records of 16 bytes, best first: the score (signed 32-bit, 0 or more), the
//                 time it was made (signed 64-bit, seconds since 1970-01-01 UTC) and the size of
//                 its game's replay (32-bit, 0 when it was kept without); unused records are all
//                 zero
//      172        the replay files of the records in use, in their order, each of its size
//    end-4     4  CRC-32 (the polynomial of zip and PNG) of all the bytes before it
// The table and its replays are one file, so that a save replaces them together. Version 1, the
// same without replays (12-byte records, 136 bytes in all), is still read; a file of a later
// version is never replaced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr std::int32_t kBestScoreCapacity = 10;
constexpr const char* kScoresPath = "../Common/Scores.bin";
constexpr std::int32_t kScoresFormatVersion = 2;
constexpr std::size_t kScoresMaxReplaySize = 1u << 20;  // bytes of one entry's replay

// Results of saveScores.
constexpr std::int32_t kScoresSaved = 1;
constexpr std::int32_t kScoresSaveFailed = 2;

struct BestScore {
  std::int32_t score;
  std::int64_t date;                 // seconds since 1970-01-01 UTC
  std::vector<std::uint8_t> replay;  // the game's replay file, empty when it was kept without
};

// The table, best first; of equal scores the older ranks higher.
extern BestScore gBestScores[kBestScoreCapacity];
extern std::int32_t gBestScoreCount;
// False while the scores file is of a later format than this build knows: it is left as it is,
// and the scores of this run are not kept.
extern bool gScoresKept;

// Reads the table from the scores file. A missing file is an empty table; a file that cannot be
// read, is not a regular file or is not a whole, undamaged table of a format this build knows
// also gives an empty table, after one line on standard output saying why.
void loadScores();
// Writes the table like the settings: a temporary file renamed over the scores file, which keeps
// its mode. kScoresSaved, or kScoresSaveFailed after printing why; a scores file that the player
// cannot write, or one of a later format, is left alone.
std::int32_t saveScores();

// Puts a score into the table below every equal or better one, dropping the tenth when the table
// is full. The rank it took, 1 to 10, or 0 when it ranks below a full table.
std::int32_t enterScore(std::int32_t score, std::int64_t date, std::vector<std::uint8_t> replay = {});
// Enters the score of the game just ended, made at `date`, with its replay (empty when there is
// none) and saves the table when it changed.
void recordGameScore(std::int32_t score, std::int64_t date, std::vector<std::uint8_t> replay);
// The first score of the table, 0 when it is empty.
std::int32_t bestScore();

// Prints the table on standard output, one line per rank with its score and local date, or a
// line saying that there is none yet.
void printScores();
