// zellworth --submit: sends a kept game to a leaderboard (zellworth-board) over plain HTTP.
#pragma once

#include <cstdint>

constexpr const char* kDefaultBoard = "http://127.0.0.1:8000";
// Exit statuses of --submit, for scripts; 2 is a misused command line or a game without a replay.
constexpr std::int32_t kSubmitStored = 0;      // on the board (or there already): the rank is printed
constexpr std::int32_t kSubmitRefused = 3;     // the board refused it: the reason is printed
constexpr std::int32_t kSubmitTryLater = 4;    // too many submissions or the board is busy
constexpr std::int32_t kSubmitUnreachable = 5; // no board answered at that address

// Sends the game of `rank` (1 to 10, or a replay file) under `name` to the board at `boardUrl`
// (http://HOST[:PORT][/PATH]), prints the rank it got or the board's reason in one line, and
// returns one of the statuses above.
std::int32_t submitReplay(const char* rank, const char* name, const char* boardUrl);
