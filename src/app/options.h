// The command line: the options a player can start the game with.
#pragma once

#include <cstdint>

struct Options {
  bool fullscreen = false;   // start in fullscreen
  std::int32_t scale = 1;    // the window opens at this many times 800 x 600
  bool mute = false;         // start without sound
};

// Reads the command line into `options`. Returns -1 when the game is to start; otherwise the
// exit status after --help, --version or --scores (0) or a misuse, whose message is printed (2).
std::int32_t readOptions(int argc, char* argv[], Options& options);
