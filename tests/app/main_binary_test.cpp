// The real program on one X server of its own: the window it opens and the title music it plays
// into the audio device, and each failed start-up with its messages and exit status 1.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <regex>

#include "support/harness.h"

namespace fs = std::filesystem;

namespace {

// The exit status, or -1 when the program was still running after `seconds` (it is then killed).
int waitForExit(pid_t pid, int seconds) {
  for (int tick = 0; tick < seconds * 20; ++tick, usleep(50 * 1000)) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

TEST(MainBinaryTest, OpensItsWindowPlaysTheTitleMusicAndReportsEachFailedStart) {
  if (!testing_support::runningUnderXvfb()) return;
  struct Run {
    std::vector<const char*> removed;  // media files
    const char* audioDriver;
    const char* audioFile;  // of the disk driver, under the scratch root
    int status;
    const char* printed;  // a regular expression
  };
  const Run runs[] = {
      {{}, "disk", "out.raw", 0, ""},
      {{"Feather.png", "snd05.wav", "snd07.wav"}, "dummy", "", 1,
       "Unable to load image \\.\\./Common/Feather\\.png! SDL Error: .+\nFailed to load snd05 sound effect! SDL_mixer "
       "Error: .+\nFailed to load snd07 sound effect! SDL_mixer Error: .+\nFailed to load media!\n"},
      {{}, "nonexistent", "", 1, "SDL could not initialize! SDL Error: .*nonexistent.*\nFailed to initialize!\n"},
      // The disk driver initialises, but its output file cannot be created.
      {{}, "disk", "no-such-directory/out.raw", 1,
       "SDL_mixer could not initialize! SDL_mixer Error: .+\nFailed to initialize!\n"}};
  for (const Run& run : runs) {
    SCOPED_TRACE(run.printed);
    const auto& scratch = testing_support::enterFreshRunDirectory();
    for (const char* name : run.removed) fs::remove(scratch.common + "/" + name);
    const std::string output = scratch.root + "/stdout", audio = scratch.root + "/" + run.audioFile;
    fflush(stdout);
    const pid_t game = fork();
    if (game == 0) {
      setenv("SDL_AUDIODRIVER", run.audioDriver, 1);
      setenv("SDL_DISKAUDIOFILE", audio.c_str(), 1);
      if (freopen(output.c_str(), "w", stdout) != nullptr) execl(ZELLWORTH_BINARY, ZELLWORTH_BINARY, nullptr);
      _exit(127);
    }
    if (run.status == 0) {
      std::string window = testing_support::commandOutput("timeout 20 xdotool search --sync --onlyvisible --name '^Zellworth$'");
      EXPECT_EQ(std::count(window.begin(), window.end(), '\n'), 1) << "not one window captioned Zellworth: " << window;
      window = window.substr(0, window.find('\n'));
      EXPECT_EQ(testing_support::commandOutput("xdotool getwindowname " + window), "Zellworth\n");
      EXPECT_NE(testing_support::commandOutput("xdotool getwindowgeometry " + window).find("Geometry: 800x600"),
                std::string::npos);
      // SDL turns the termination signal into a quit event, which the title answers like a close.
      sleep(3);
      kill(game, SIGTERM);
    }
    EXPECT_EQ(waitForExit(game, 20), run.status);
    const std::vector<std::uint8_t> printed = testing_support::readFileBytes(output);
    EXPECT_TRUE(std::regex_match(std::string(printed.begin(), printed.end()), std::regex(run.printed)))
        << std::string(printed.begin(), printed.end());
    EXPECT_FALSE(fs::exists(scratch.common + "/Settings.bin"));
    if (run.status != 0) continue;
    // 44100 Hz stereo signed 16-bit little-endian, measured after the first half second.
    const std::vector<std::uint8_t> bytes = testing_support::readFileBytes(audio);
    ASSERT_GT(bytes.size(), 6 * 44100u) << "less than a second and a half of audio";
    double squares = 0;
    int peak = 0;
    for (std::size_t at = 2 * 44100; at + 1 < bytes.size(); at += 2) {
      const int sample = static_cast<std::int16_t>(bytes[at] | bytes[at + 1] << 8);
      squares += static_cast<double>(sample) * sample;
      peak = std::max(peak, std::abs(sample));
    }
    EXPECT_GT(peak, 100);
    EXPECT_GT(std::sqrt(squares / ((bytes.size() - 2 * 44100) / 2)), 10.0);
  }
}

}  // namespace
