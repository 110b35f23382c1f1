// Program entry: start-up, the top-level loop that chains the screens, and shut-down.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "app/board_play.h"
#include "app/display.h"
#include "app/gamepad.h"
#include "app/mute.h"
#include "app/options.h"
#include "app/platform.h"
#include "app/scores.h"
#include "app/settings.h"
#include "app/submit.h"
#include "game/play.h"
#include "game/player.h"
#include "game/random.h"
#include "game/replay.h"
#include "screens/keyconfig.h"
#include "screens/title.h"
#include "text/font.h"

namespace {

constexpr int kMusicVolume = 8;
constexpr int kEffectVolume = 30;
constexpr int kHitSoundVolume = 25;  // snd03.wav
constexpr int kFirstUnsetVolume = 9; // snd09.wav and later keep the mixer's full volume

void setVolumes() {
  Mix_VolumeMusic(kMusicVolume);
  for (int index = 0; index < kFirstUnsetVolume; ++index) {
    Mix_VolumeChunk(gSnd[index], index == 3 ? kHitSoundVolume : kEffectVolume);
  }
}

// --verify: plays the replay without a window or sound and prints its verdict.
int verifyNamedReplay(const char* argument) {
  std::vector<unsigned char> bytes;
  if (!readNamedReplay(argument, bytes)) return 2;
  ReplayVerdict verdict;
  verifyReplay(bytes.data(), bytes.size(), verdict);
  puts(verdict.message);
  return verdict.status;
}

// --replay: reads the replay to watch; false after printing why it cannot be watched.
bool readWatchedReplay(const char* argument, Replay& replay) {
  std::vector<unsigned char> bytes;
  if (!readNamedReplay(argument, bytes)) return false;
  const ReplayProblem problem = decodeReplay(bytes.data(), bytes.size(), replay);
  if (problem == ReplayProblem::kNone) return true;
  char message[200];
  describeReplayProblem(problem, replay, message, sizeof message);
  puts(message);
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  Options options;
  const std::int32_t optionsStatus = readOptions(argc, argv, options);
  if (optionsStatus >= 0) return optionsStatus;
#ifndef __EMSCRIPTEN__
  if (options.name != nullptr && !isUtf8(options.name)) {
    std::fputs("zellworth: --name must be UTF-8 text\n", stderr);
    return 2;
  }
  if (options.submit != nullptr) return submitReplay(options.submit, options.name, options.board ? options.board : kDefaultBoard);
#endif
  // In the browser the page learns of these ends too.
  if (options.verify != nullptr) {
    const int status = verifyNamedReplay(options.verify);
    reportGameEnded(status);
    return status;
  }
  Replay watched;
  if (options.replay != nullptr && !readWatchedReplay(options.replay, watched)) {
    reportGameEnded(2);
    return 2;
  }
  gWindowScale = options.scale;

  seedGameRandom(static_cast<std::uint32_t>(time(nullptr)));
#ifndef __EMSCRIPTEN__
  // The first ticket is asked for while the game starts up.
  if (options.board != nullptr && options.replay == nullptr) startBoardPlay(options.board, options.name);
#endif

  // Status 1 after a failed start-up, so that a launcher or a script can tell.
  int exitStatus = EXIT_SUCCESS;
  if (initializeSDL() != 0) {
    puts("Failed to initialize!");
    exitStatus = EXIT_FAILURE;
  } else if (loadMedia() != 0) {
    puts("Failed to load media!");
    exitStatus = EXIT_FAILURE;
  } else {
    gCharacterWidthToRender = 10;
    gCharacterHeightToRender = 15;
    loadSettings();
    loadScores();
    setVolumes();
    startMuting(options.mute);
    if (options.fullscreen) toggleFullscreen();
    initializeGamepads();

    std::int32_t result = options.replay != nullptr ? 0 : 1;
    if (options.replay != nullptr) {
      // The game as it was played, to its game-over screen; then the program ends.
      setGamepadContext(kGamepadGame);
      watchReplay(watched);
    }
    bool RestartTitleMusic = true;
    while (result != 0) {
      if (RestartTitleMusic) {
        startMusic("../Common/mus01.mid");
        RestartTitleMusic = false;
      }
      setGamepadContext(kGamepadMenus);
      result = displayTitleScreen();
      if (result == kTitlePlay) {
        setGamepadContext(kGamepadGame);
        result = play();
        RestartTitleMusic = true;
      }
      if (result == kTitleKeyConfiguration) {
        setGamepadContext(kGamepadOff);
        setMuteKeyActive(false);
        result = adjustSettings();
        setMuteKeyActive(true);
      }
    }
  }

  stopMuting();
  closeGamepads();
  closeSDL();
#ifndef __EMSCRIPTEN__
  stopBoardPlay();
#endif
  reportGameEnded(exitStatus);
  return exitStatus;
}
