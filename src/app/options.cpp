// The command line: --fullscreen, --scale N, --mute, --scores, --replay, --verify, --help and --version.
#include "app/options.h"

#include <SDL.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/display.h"
#include "app/platform.h"
#include "app/save_file.h"
#include "app/scores.h"

namespace {

constexpr std::int32_t kMisuse = 2;  // exit status of a command line that cannot be followed
constexpr std::int32_t kLargestScale = 64;

constexpr const char* kUsage =
    "Usage: zellworth [--fullscreen] [--scale N] [--mute] [--replay RANK|FILE]\n"
    "       zellworth --scores\n"
    "       zellworth --verify RANK|FILE\n"
    "       zellworth --board URL [--name NAME] [--fullscreen] [--scale N] [--mute]\n"
    "       zellworth --submit RANK|FILE --name NAME [--board URL]\n"
    "Steer a bird across the sky and shoot the butterflies before they shoot you.\n"
    "\n"
    "  --fullscreen  start in fullscreen (the fullscreen key switches back to a window)\n"
    "  --scale N     open the window at N times 800x600, as far as the desktop has room\n"
    "  --mute        start without sound (M turns it on and off)\n"
    "  --scores      show the ten best scores and leave\n"
    "  --replay RANK|FILE  watch again the game of that rank (1 to 10) or a replay file\n"
    "  --verify RANK|FILE  play that game again without a window and say whether its score holds\n"
    "  --submit RANK|FILE --name NAME [--board URL]  send that game to a leaderboard\n"
    "                (default http://127.0.0.1:8000; https trusts the system's certificates, or those\n"
    "                of the file SSL_CERT_FILE names) and print the rank it got or why not\n"
    "  --board URL [--name NAME]  play each game on a ticket of that leaderboard, asked for\n"
    "                in the background, and with a name send it as it ends: the rank it gets\n"
    "                shows on the game-over screen\n"
    "  --help        show this help and leave\n"
    "  --version     show the version and leave\n"
    "\n"
    "The keys are set in \"Flight Control\" on the title screen and kept in ../Common/Settings.bin,\n"
    "the best scores in ../Common/Scores.bin.\n";

std::int32_t misuse(const char* message, const char* argument) {
  std::fprintf(stderr, "zellworth: %s%s\nTry 'zellworth --help' for more information.\n", message, argument);
  return kMisuse;
}

// A whole number from 1 to kLargestScale, or 0.
std::int32_t parseScale(const char* text) {
  if (text == nullptr || *text < '0' || *text > '9') return 0;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || value < 1 || value > kLargestScale) return 0;
  return static_cast<std::int32_t>(value);
}

// A scaled window must fit the usable part of the desktop; when SDL cannot tell (no display),
// the start-up reports that on its own.
std::int32_t checkScaleFits(std::int32_t scale) {
  SDL_Rect usable;
  if (scale == 1 || !desktopUsableArea(usable)) return -1;
  if (kWindowWidth * scale <= usable.w && kWindowHeight * scale <= usable.h) return -1;
  const std::int32_t largest = std::max<std::int32_t>(1, std::min(usable.w / kWindowWidth, usable.h / kWindowHeight));
  std::fprintf(stderr,
               "zellworth: a window of %dx%d (--scale %d) does not fit the desktop's %dx%d; the largest that "
               "fits is --scale %d\n",
               static_cast<int>(kWindowWidth * scale), static_cast<int>(kWindowHeight * scale),
               static_cast<int>(scale), usable.w, usable.h, static_cast<int>(largest));
  return kMisuse;
}

// A rank is written as a whole number from 1 to 10 and nothing else; anything else is a file.
std::int32_t rankOf(const char* argument) {
  if (argument[0] < '1' || argument[0] > '9') return 0;
  if (argument[1] == '\0') return argument[0] - '0';
  return std::strcmp(argument, "10") == 0 ? 10 : 0;
}

}  // namespace

bool readNamedReplay(const char* argument, std::vector<unsigned char>& bytes) {
  const std::int32_t rank = rankOf(argument);
  if (rank != 0) {
    loadScores();
    if (rank > gBestScoreCount) {
      std::printf("There is no best score of rank %d.\n", static_cast<int>(rank));
      return false;
    }
    bytes = gBestScores[rank - 1].replay;
    if (bytes.empty()) std::printf("The game of rank %d was kept without its replay.\n", static_cast<int>(rank));
    return !bytes.empty();
  }
  const std::int32_t result = readSavedFile(argument, kScoresMaxReplaySize, bytes);
  if (result == kFileRead) return true;
  std::printf("%s %s.\n", argument,
              result == kFileMissing      ? "does not exist"
              : result == kFileNotRegular ? "is not a regular file"
                                          : "cannot be read");
  return false;
}

std::int32_t readOptions(int argc, char* argv[], Options& options) {
  for (int index = 1; index < argc; ++index) {
    const char* argument = argv[index];
    if (std::strcmp(argument, "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argument, "--scores") == 0) {
      loadScores();
      printScores();
      return 0;
    }
    if (std::strcmp(argument, "--version") == 0) {
      std::printf("zellworth %s\n", ZELLWORTH_VERSION);
      return 0;
    }
    const char** text = std::strcmp(argument, "--submit") == 0  ? &options.submit
                        : std::strcmp(argument, "--name") == 0  ? &options.name
                        : std::strcmp(argument, "--board") == 0 ? &options.board
                                                                : nullptr;
    if (text != nullptr) {
      if (index + 1 >= argc) return misuse(argument, " needs a value");
      *text = argv[++index];
      continue;
    }
    if (std::strcmp(argument, "--verify") == 0 || std::strcmp(argument, "--replay") == 0) {
      if (index + 1 >= argc) return misuse(argument, " needs a rank from 1 to 10 or a replay file");
      (argument[2] == 'v' ? options.verify : options.replay) = argv[++index];
      continue;
    }
    if (std::strcmp(argument, "--fullscreen") == 0) {
      options.fullscreen = true;
    } else if (std::strcmp(argument, "--mute") == 0) {
      options.mute = true;
    } else if (std::strcmp(argument, "--scale") == 0 || std::strncmp(argument, "--scale=", 8) == 0) {
      const char* value = argument[7] == '=' ? argument + 8 : (index + 1 < argc ? argv[++index] : nullptr);
      options.scale = parseScale(value);
      if (options.scale == 0) {
        return misuse("--scale needs a whole number from 1 to 64, not ", value == nullptr ? "nothing" : value);
      }
    } else {
      return misuse("unknown option ", argument);
    }
  }
  if (options.submit != nullptr && options.name == nullptr) return misuse("--submit needs --name", "");
  if (options.name != nullptr && options.submit == nullptr && options.board == nullptr) {
    return misuse("--name goes with --submit or --board", "");
  }
  if (options.board != nullptr && std::strncmp(options.board, "http://", 7) != 0 &&
      std::strncmp(options.board, "https://", 8) != 0) {
    return misuse("--board needs an http:// or https:// address, not ", options.board);
  }
  return checkScaleFits(options.scale);
}
