// Music start-up time: how long the game's startMusic (load the piece, release the previous one,
// play it) takes for each of the three pieces, on the game's audio device settings.
//
//   zellworth_music_start [ROUNDS]
//
// Runs from the directory whose ../Common/ holds the media (the build's asset directory by
// default). The pieces are started in turn, round after round, so that each start replaces
// another piece as in the game. Prints, per piece, the first (cold) start and the median and
// maximum of the later ones, in milliseconds.
#include <SDL.h>
#include <SDL_mixer.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/platform.h"

namespace {

constexpr int kPieceCount = 3;
const char* const kPieces[kPieceCount] = {"../Common/mus01.mid", "../Common/mus02.mid", "../Common/mus03.mid"};

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char* argv[]) {
  const int rounds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 11;
  if (chdir(ZELLWORTH_ASSETS_DIR) != 0) {
    std::perror("chdir to the asset directory");
    return 1;
  }
  setenv("SDL_AUDIODRIVER", "dummy", 0);  // no sound card needed
  if (SDL_Init(SDL_INIT_AUDIO) < 0 || Mix_OpenAudio(44100, AUDIO_S16LSB, 2, 2048) < 0) {
    std::printf("audio set-up failed: %s\n", SDL_GetError());
    return 1;
  }
  Mix_VolumeMusic(8);

  std::vector<double> times[kPieceCount];
  for (int round = 0; round < rounds; ++round) {
    for (int piece = 0; piece < kPieceCount; ++piece) {
      const auto start = std::chrono::steady_clock::now();
      startMusic(kPieces[piece]);
      const auto end = std::chrono::steady_clock::now();
      if (gMus == nullptr) {
        std::printf("%s did not load: %s\n", kPieces[piece], Mix_GetError());
        return 1;
      }
      times[piece].push_back(std::chrono::duration<double, std::milli>(end - start).count());
      SDL_Delay(50);  // let the mixer thread play a little of it, as it would in the game
    }
  }
  for (int piece = 0; piece < kPieceCount; ++piece) {
    const std::vector<double> warm(times[piece].begin() + 1, times[piece].end());
    std::printf("mus%02d first_ms=%.2f median_ms=%.2f max_ms=%.2f starts=%d\n", piece + 1, times[piece].front(),
                median(warm), *std::max_element(warm.begin(), warm.end()), rounds);
  }
  Mix_FreeMusic(gMus);
  gMus = nullptr;
  Mix_CloseAudio();
  SDL_Quit();
  return 0;
}
