// The command line: the options a player can start the game with.
#pragma once

#include <cstdint>
#include <vector>

struct Options {
  bool fullscreen = false;   // start in fullscreen
  std::int32_t scale = 1;    // the window opens at this many times 800 x 600
  bool mute = false;         // start without sound
  const char* replay = nullptr;  // --replay: a rank of the best scores, 1 to 10, or a replay file
  const char* verify = nullptr;  // --verify: the same
  const char* submit = nullptr;  // --submit: the same, sent to a leaderboard under --name
  const char* name = nullptr;    // --name: under which games are sent
  const char* board = nullptr;   // --board URL: the board --submit sends to (its default when not
                                 // given), or the board whose tickets the games are played on
};

// Reads the replay that a --replay or --verify argument names, a rank of the best scores (1 to
// 10) or a file, into `bytes`. False after printing one line saying why there is none.
bool readNamedReplay(const char* argument, std::vector<unsigned char>& bytes);

// Reads the command line into `options`. Returns -1 when the game is to start; otherwise the
// exit status after --help, --version or --scores (0) or a misuse, whose message is printed (2).
std::int32_t readOptions(int argc, char* argv[], Options& options);
