// zellworth --submit: sends a kept game to a leaderboard (zellworth-board), and the words for the
// board's answer to any game sent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/board_http.h"

constexpr const char* kDefaultBoard = "http://127.0.0.1:8000";
// Exit statuses of --submit, for scripts; 2 is a misused command line or a game without a replay.
constexpr std::int32_t kSubmitStored = 0;      // on the board (or there already): the rank is printed
constexpr std::int32_t kSubmitRefused = 3;     // the board refused it: the reason is printed
constexpr std::int32_t kSubmitTryLater = 4;    // too many submissions or the board is busy
constexpr std::int32_t kSubmitUnreachable = 5; // no board answered at that address, or not as a board

// The request's JSON body: `name` (valid UTF-8) and the replay file's bytes.
std::string scoreSubmission(const char* name, const std::vector<unsigned char>& replay);
// The board's answer to a sent game in words: `line` for standard output ("Submitted: rank 3 on
// the board with 125 points (entry 17)." or why not), `screenLine` for the game-over screen
// ("On the board: rank 3"); returns one of the statuses above.
std::int32_t readScoreAnswer(const char* boardUrl, const BoardExchange& exchange, std::string& line,
                             std::string& screenLine);

// Sends the game of `rank` (1 to 10, or a replay file) under `name` to the board at `boardUrl`
// (http:// or https://), prints the rank it got or why not in one line, and returns one of the
// statuses above.
std::int32_t submitReplay(const char* rank, const char* name, const char* boardUrl);
