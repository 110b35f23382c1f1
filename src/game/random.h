// The game's own random sequence. It is the C library's srand and rand of Debian, computed here
// so that nothing but the game draws from it: the music's synthesiser draws from the C
// library's own, and the browser's C library has another generator altogether.
#pragma once

#include <cstdint>

extern std::uint32_t gRandomSeed;   // what the sequence was last seeded with
extern std::uint32_t gRandomDraws;  // numbers drawn since then

// Starts the sequence afresh, as srand(seed) does.
void seedGameRandom(std::uint32_t seed);
// The sequence as seeded, with its first `draws` numbers already drawn.
void resumeGameRandom(std::uint32_t seed, std::uint32_t draws);
// The next number, 0 to 2^31 - 1, as rand() gives it.
std::int32_t gameRandom();
// A game on a seed of its own (the board's ticket) sets the sequence aside, seed and draws
// included, and puts it back when it is over: the games around it draw as if it had not been.
// One sequence at a time is set aside.
void setAsideGameRandom();
void restoreGameRandom();
