// Music files that are not playable pieces: each counts as a piece that cannot be loaded, so no
// music plays, and the next change of music and the shut-down go through. Without that, the
// mixer's MIDI player would retry such a piece without end on the audio thread, holding the
// mixer's lock, and the game would freeze at its next change of music. A watchdog ends the test
// process should anything wait for ever.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/platform.h"
#include "support/harness.h"

namespace {

constexpr unsigned kWatchdogSeconds = 60;
constexpr const char* kPiecePath = "../Common/test-piece.mid";

std::vector<char> committedPiece(const char* name) {
  std::ifstream file(testing_support::committedAssetPath(name), std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void writePiece(const std::vector<char>& bytes) {
  std::ofstream file(kPiecePath, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<char> standardMidiFile(const std::string& track) {
  std::string file = std::string("MThd\0\0\0\6\0\0\0\1\0\x60", 14) + "MTrk";
  const auto length = static_cast<std::uint32_t>(track.size());
  for (int shift = 24; shift >= 0; shift -= 8) file += static_cast<char>(length >> shift);
  file += track;
  return std::vector<char>(file.begin(), file.end());
}

class MusicFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    alarm(kWatchdogSeconds);
    testing_support::enterFreshRunDirectory();
    testing_support::initializeLibraries();
  }
  void TearDown() override {
    Mix_FreeMusic(gMus);
    gMus = nullptr;
    alarm(0);
  }

  // Starts the piece in kPiecePath, lets the audio thread play it a little, then changes to a
  // good piece: true when the broken piece was refused.
  static bool refusedAndPassedOver() {
    startMusic(kPiecePath);
    const bool refused = gMus == nullptr;
    SDL_Delay(60);
    startMusic("../Common/mus01.mid");
    EXPECT_NE(gMus, nullptr);
    return refused;
  }
};

TEST_F(MusicFilesTest, TheCommittedPiecesPlay) {
  for (const char* piece : {"../Common/mus01.mid", "../Common/mus02.mid", "../Common/mus03.mid"}) {
    startMusic(piece);
    EXPECT_NE(gMus, nullptr) << piece;
    EXPECT_EQ(Mix_PlayingMusic(), 1) << piece;
  }
}

TEST_F(MusicFilesTest, EmptyTextSoundAndPictureFilesAreRefused) {
  const std::string text = "not music at all\n";
  const std::vector<std::vector<char>> files = {
      {}, std::vector<char>(text.begin(), text.end()), committedPiece("snd01.wav"), committedPiece("Feather.png")};
  for (const auto& bytes : files) {
    writePiece(bytes);
    EXPECT_TRUE(refusedAndPassedOver()) << bytes.size() << " bytes";
  }
}

TEST_F(MusicFilesTest, PiecesThatLastNoTimeOrBreakTheirStructureAreRefused) {
  const std::vector<std::pair<const char*, std::string>> tracks = {
      {"only the end of the track", std::string("\0\xFF\x2F\0", 4)},
      {"a note of no length", std::string("\0\x90\x40\x40\0\x80\x40\0\0\xFF\x2F\0", 12)},
      {"no end of track", std::string("\0\x90\x40\x40\x60\x80\x40\0", 8)},
      {"data before any status", std::string("\0\x40\x40\x60\xFF\x2F\0", 7)},
      {"a meta event longer than the track", std::string("\0\xFF\x01\x7F\x41", 5)},
      {"a delta time of five bytes", std::string("\xFF\xFF\xFF\xFF\x7F\xFF\x2F\0", 8)},
  };
  for (const auto& [what, track] : tracks) {
    writePiece(standardMidiFile(track));
    EXPECT_TRUE(refusedAndPassedOver()) << what;
  }
  // The same track with a note that lasts is played.
  writePiece(standardMidiFile(std::string("\0\x90\x40\x40\x60\x80\x40\0\0\xFF\x2F\0", 12)));
  EXPECT_FALSE(refusedAndPassedOver());
}

TEST_F(MusicFilesTest, APieceCutShortAnywhereIsRefused) {
  const std::vector<char> piece = committedPiece("mus03.mid");
  ASSERT_GT(piece.size(), 100u);
  for (std::size_t length = 0; length < piece.size(); ++length) {
    writePiece(std::vector<char>(piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(length)));
    startMusic(kPiecePath);
    ASSERT_EQ(gMus, nullptr) << "cut at " << length;
  }
  writePiece(piece);
  startMusic(kPiecePath);
  EXPECT_NE(gMus, nullptr);
}

TEST_F(MusicFilesTest, ShutDownAfterABrokenPieceCompletes) {
  writePiece({});
  startMusic(kPiecePath);
  SDL_Delay(60);
  closeSDL();  // the watchdog ends the process if this waits for the mixer's lock
  testing_support::forgetLibraries();
  SUCCEED();
}

}  // namespace
