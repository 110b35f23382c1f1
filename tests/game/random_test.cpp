// The game's own random sequence against the C library's srand and rand, which it reproduces.
#include "game/random.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(RandomTest, GivesTheCLibrarysSequenceForTheSameSeed) {
  // 0 counts as 1; seeds from 2^31 on are negative as the first word.
  for (std::uint32_t seed : {0u, 1u, 7u, 1234u, 1765000000u, 2147483647u, 2147483648u, 4294967295u}) {
    SCOPED_TRACE(seed);
    srand(seed);
    seedGameRandom(seed);
    for (std::int32_t draw = 0; draw < 2000; ++draw) ASSERT_EQ(gameRandom(), rand()) << "draw " << draw;
    EXPECT_EQ(gRandomDraws, 2000u);
  }
}

TEST(RandomTest, ResumesAfterTheDrawsAlreadyMade) {
  seedGameRandom(99);
  for (std::int32_t draw = 0; draw < 777; ++draw) gameRandom();
  const std::int32_t next = gameRandom();
  resumeGameRandom(99, 777);
  EXPECT_EQ(gameRandom(), next);
  EXPECT_EQ(gRandomSeed, 99u);
  EXPECT_EQ(gRandomDraws, 778u);
}

}  // namespace
