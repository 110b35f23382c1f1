// The real program under its own X server: start-up with complete and incomplete media, set-up
// failures, the exit status, and the title music reaching the audio device.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "support/harness.h"

namespace fs = std::filesystem;

namespace {

using Environment = std::vector<std::pair<std::string, std::string>>;

// <root>/run is the working directory, <root>/Common a copy of the committed media.
struct Scratch {
  std::string root;
  std::string run;
  std::string common;
  std::string output;  // the program's standard output
};

Scratch makeScratch() {
  std::string pattern = (fs::temp_directory_path() / "zellworth-binary-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  Scratch scratch{pattern, pattern + "/run", pattern + "/Common", pattern + "/stdout"};
  fs::create_directory(scratch.run);
  fs::create_directory(scratch.common);
  for (const auto& entry : fs::directory_iterator(ZELLWORTH_ASSETS_DIR)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file() || name.rfind("Settings.bin", 0) == 0 || name.rfind("Scores.bin", 0) == 0) continue;
    fs::copy_file(entry.path(), scratch.common + "/" + name);
  }
  return scratch;
}

pid_t startGame(const Scratch& scratch, const Environment& environment) {
  fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(scratch.run.c_str()) != 0 || freopen(scratch.output.c_str(), "w", stdout) == nullptr) _exit(126);
    for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
    execl(ZELLWORTH_BINARY, ZELLWORTH_BINARY, static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

// The exit status, or -1 when the program was still running after `seconds` (it is then killed).
int waitForExit(pid_t pid, int seconds) {
  for (int tick = 0; tick < seconds * 20; ++tick) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    usleep(50 * 1000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The id of the program's window, waiting up to 20 seconds for it to be shown; empty if none.
std::string waitForWindow() {
  std::string id = testing_support::commandOutput("timeout 20 xdotool search --sync --onlyvisible --name '^Zellworth$'");
  while (!id.empty() && id.back() == '\n') id.pop_back();
  return id;
}

class MainBinaryTest : public ::testing::Test {
 protected:
  void SetUp() override { scratch = makeScratch(); }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(scratch.root, ignored);
  }
  Scratch scratch;
};

TEST_F(MainBinaryTest, CompleteMediaOpenTheWindowAndPrintNothing) {
  if (!testing_support::runningUnderXvfb()) return;
  const pid_t game = startGame(scratch, {{"SDL_AUDIODRIVER", "dummy"}});
  const std::string window = waitForWindow();
  ASSERT_FALSE(window.empty()) << "no window captioned Zellworth";
  EXPECT_EQ(window.find('\n'), std::string::npos) << "more than one window: " << window;
  EXPECT_EQ(testing_support::commandOutput("xdotool getwindowname " + window), "Zellworth\n");
  const std::string geometry = testing_support::commandOutput("xdotool getwindowgeometry " + window);
  EXPECT_NE(geometry.find("Geometry: 800x600"), std::string::npos) << geometry;
  // SDL turns the termination signal into a quit event, which the title screen answers like a
  // closed window.
  usleep(500 * 1000);
  kill(game, SIGTERM);
  EXPECT_EQ(waitForExit(game, 10), 0);
  EXPECT_EQ(readText(scratch.output), "");
  EXPECT_FALSE(fs::exists(scratch.common + "/Settings.bin"));
}

TEST_F(MainBinaryTest, MissingMediaAreEachReportedAndTheProgramEnds) {
  if (!testing_support::runningUnderXvfb()) return;
  for (const char* name : {"Feather.png", "snd05.wav", "snd07.wav"}) fs::remove(scratch.common + "/" + name);
  const pid_t game = startGame(scratch, {{"SDL_AUDIODRIVER", "dummy"}});
  EXPECT_EQ(waitForExit(game, 20), 1);
  const std::vector<std::string> printed = testing_support::lines(readText(scratch.output));
  ASSERT_EQ(printed.size(), 4u) << readText(scratch.output);
  EXPECT_TRUE(std::regex_match(printed[0], std::regex(R"(Unable to load image \.\./Common/Feather\.png! SDL Error: .+)")))
      << printed[0];
  EXPECT_TRUE(std::regex_match(printed[1], std::regex(R"(Failed to load snd05 sound effect! SDL_mixer Error: .+)")))
      << printed[1];
  EXPECT_TRUE(std::regex_match(printed[2], std::regex(R"(Failed to load snd07 sound effect! SDL_mixer Error: .+)")))
      << printed[2];
  EXPECT_EQ(printed[3], "Failed to load media!");
}

TEST_F(MainBinaryTest, UnavailableAudioDriverFailsAtSdlInit) {
  if (!testing_support::runningUnderXvfb()) return;
  const pid_t game = startGame(scratch, {{"SDL_AUDIODRIVER", "nonexistent"}});
  EXPECT_EQ(waitForExit(game, 20), 1);
  const std::vector<std::string> printed = testing_support::lines(readText(scratch.output));
  ASSERT_EQ(printed.size(), 2u) << readText(scratch.output);
  EXPECT_TRUE(std::regex_match(printed[0], std::regex(R"(SDL could not initialize! SDL Error: .*nonexistent.*)")))
      << printed[0];
  EXPECT_EQ(printed[1], "Failed to initialize!");
}

TEST_F(MainBinaryTest, AudioDeviceThatCannotOpenFailsAtTheMixer) {
  if (!testing_support::runningUnderXvfb()) return;
  // The disk driver initialises, but its output file cannot be created.
  const pid_t game = startGame(scratch, {{"SDL_AUDIODRIVER", "disk"},
                                         {"SDL_DISKAUDIOFILE", scratch.root + "/no-such-directory/out.raw"}});
  EXPECT_EQ(waitForExit(game, 20), 1);
  const std::vector<std::string> printed = testing_support::lines(readText(scratch.output));
  ASSERT_EQ(printed.size(), 2u) << readText(scratch.output);
  EXPECT_TRUE(std::regex_match(printed[0], std::regex(R"(SDL_mixer could not initialize! SDL_mixer Error: .+)")))
      << printed[0];
  EXPECT_EQ(printed[1], "Failed to initialize!");
}

TEST_F(MainBinaryTest, TitleMusicReachesTheAudioDevice) {
  if (!testing_support::runningUnderXvfb()) return;
  const std::string audio = scratch.root + "/out.raw";
  const pid_t game = startGame(scratch, {{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", audio}});
  ASSERT_FALSE(waitForWindow().empty());
  usleep(3000 * 1000);
  kill(game, SIGTERM);
  EXPECT_EQ(waitForExit(game, 10), 0);

  // 44100 Hz stereo signed 16-bit little-endian: measure after the first half second.
  const std::string bytes = readText(audio);
  const std::size_t skip = 44100 / 2 * 4;
  ASSERT_GT(bytes.size(), skip + 44100 * 4) << "less than a second and a half of audio";
  double sumOfSquares = 0;
  int peak = 0;
  std::size_t samples = 0;
  for (std::size_t offset = skip; offset + 1 < bytes.size(); offset += 2) {
    const auto low = static_cast<unsigned char>(bytes[offset]);
    const auto high = static_cast<unsigned char>(bytes[offset + 1]);
    const int sample = static_cast<std::int16_t>(static_cast<std::uint16_t>(low | high << 8));
    sumOfSquares += static_cast<double>(sample) * sample;
    peak = std::max(peak, std::abs(sample));
    ++samples;
  }
  const double rms = std::sqrt(sumOfSquares / static_cast<double>(samples));
  std::printf("title music: peak %d, rms %.1f of 32767\n", peak, rms);
  EXPECT_GT(peak, 100);
  EXPECT_GT(rms, 10.0);
}

}  // namespace
