// The game's random sequence: an additive feedback generator over 31 words, r[i] = r[i-31] + r[i-3],
// filled by the multiplicative generator 16807 modulo 2^31 - 1, its first 310 outputs dropped;
// each number is the new word shifted right by one.
#include "game/random.h"

#include <utility>

std::uint32_t gRandomSeed = 1;
std::uint32_t gRandomDraws = 0;

namespace {

constexpr std::int32_t kWords = 31;
constexpr std::int32_t kSeparation = 3;
constexpr std::int32_t kWarmUpDraws = 310;

std::uint32_t Words[kWords];
std::int32_t Front = kSeparation;  // the word that receives the sum
std::int32_t Rear = 0;

// The sequence set aside while a game plays on a seed of its own.
std::uint32_t AsideWords[kWords];
std::int32_t AsideFront = kSeparation;
std::int32_t AsideRear = 0;
std::uint32_t AsideSeed = 1;
std::uint32_t AsideDraws = 0;

std::int32_t nextWord() {
  Words[Front] += Words[Rear];
  const std::uint32_t word = Words[Front];
  if (++Front >= kWords) Front = 0;
  if (++Rear >= kWords) Rear = 0;
  return static_cast<std::int32_t>(word >> 1);
}

// The sequence in use and the one set aside trade places: setting aside and restoring are the
// same exchange.
void exchangeWithAside() {
  std::swap(Words, AsideWords);
  std::swap(Front, AsideFront);
  std::swap(Rear, AsideRear);
  std::swap(gRandomSeed, AsideSeed);
  std::swap(gRandomDraws, AsideDraws);
}

}  // namespace

void seedGameRandom(std::uint32_t seed) {
  gRandomSeed = seed;
  gRandomDraws = 0;
  // The first word is the seed as a signed 32-bit number, 0 taken as 1.
  std::int32_t word = seed == 0 ? 1 : static_cast<std::int32_t>(seed);
  Words[0] = static_cast<std::uint32_t>(word);
  for (std::int32_t i = 1; i < kWords; ++i) {
    const std::int64_t high = word / 127773;
    const std::int64_t low = word % 127773;
    word = static_cast<std::int32_t>(16807 * low - 2836 * high);
    if (word < 0) word += 2147483647;
    Words[i] = static_cast<std::uint32_t>(word);
  }
  Front = kSeparation;
  Rear = 0;
  for (std::int32_t i = 0; i < kWarmUpDraws; ++i) nextWord();
}

void resumeGameRandom(std::uint32_t seed, std::uint32_t draws) {
  seedGameRandom(seed);
  for (std::uint32_t i = 0; i < draws; ++i) nextWord();
  gRandomDraws = draws;
}

std::int32_t gameRandom() {
  gRandomDraws += 1;
  return nextWord();
}

void setAsideGameRandom() { exchangeWithAside(); }

void restoreGameRandom() { exchangeWithAside(); }
