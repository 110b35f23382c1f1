// Hostile inputs: music files that are not playable pieces, and text in glyph sets the sheet lacks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <iterator>

#include "app/platform.h"
#include "support/harness.h"
#include "text/font.h"
#include "text/text.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes standardMidiFile(const std::string& track) {
  std::string file = std::string("MThd\0\0\0\6\0\0\0\1\0\x60MTrk", 18);
  for (int shift = 24; shift >= 0; shift -= 8) file += static_cast<char>(track.size() >> shift);
  file += track;
  return Bytes(file.begin(), file.end());
}

// Each file that is not a playable piece counts as one that cannot be loaded: no music plays, and
// the next change of music and the shut-down go through. (Else the mixer's MIDI player would retry
// it without end on the audio thread, holding the mixer's lock.) A watchdog ends a test that waits.
TEST(MusicFilesTest, OnlyWholePiecesThatLastAreLoadedAndABrokenOneHoldsNothingUp) {
  alarm(60);
  testing_support::enterFreshRunDirectory();
  testing_support::initializeLibraries();
  const char* const piece = "../Common/test-piece.mid";
  const auto committed = [](const char* name) { return testing_support::readFileBytes(testing_support::committedAssetPath(name)); };
  const std::string text = "not music at all\n";
  const std::pair<const char*, Bytes> files[] = {
      {"mus01", committed("mus01.mid")}, {"mus02", committed("mus02.mid")}, {"mus03", committed("mus03.mid")},
      {"a note that lasts", standardMidiFile(std::string("\0\x90\x40\x40\x60\x80\x40\0\0\xFF\x2F\0", 12))},
      {"empty", {}}, {"text", Bytes(text.begin(), text.end())}, {"sound", committed("snd01.wav")},
      {"picture", committed("Feather.png")},
      {"only the end of the track", standardMidiFile(std::string("\0\xFF\x2F\0", 4))},
      {"a note of no length", standardMidiFile(std::string("\0\x90\x40\x40\0\x80\x40\0\0\xFF\x2F\0", 12))},
      {"no end of track", standardMidiFile(std::string("\0\x90\x40\x40\x60\x80\x40\0", 8))},
      {"a tempo after the note, no end", standardMidiFile(std::string("\0\x90\x40\x40\x60\x80\x40\0\0\xFF\x51\3\7\xA1\x20", 15))},
      {"data before any status", standardMidiFile(std::string("\0\x40\x40\x60\xFF\x2F\0", 7))},
      {"a meta event longer than the track", standardMidiFile(std::string("\0\xFF\x01\x7F\x41", 5))},
      {"a delta time of five bytes", standardMidiFile(std::string("\xFF\xFF\xFF\xFF\x7F\xFF\x2F\0", 8))}};
  for (std::size_t index = 0; index < std::size(files); ++index) {
    const auto& [what, bytes] = files[index];
    testing_support::writeFileBytes(piece, bytes);
    startMusic(piece);
    EXPECT_EQ(gMus != nullptr, index < 4) << what;  // the first four play
    EXPECT_EQ(Mix_PlayingMusic(), gMus != nullptr ? 1 : 0) << what;
    SDL_Delay(60);
    startMusic("../Common/mus01.mid");
    EXPECT_NE(gMus, nullptr) << "after " << what;
  }
  const Bytes whole = committed("mus03.mid");
  ASSERT_GT(whole.size(), 100u);
  for (std::size_t length = 0; length < whole.size(); ++length) {
    testing_support::writeFileBytes(piece, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)));
    startMusic(piece);
    ASSERT_EQ(gMus, nullptr) << "cut at " << length;
  }
  SDL_Delay(60);
  closeSDL();  // the watchdog ends the process if this waits for the mixer's lock
  testing_support::forgetLibraries();
  alarm(0);
}

std::int32_t litPixels() {
  SDL_RenderFlush(gRenderer);
  std::int32_t count = 0;
  for (std::int32_t y = 0; y < kWindowHeight; ++y) {
    for (std::int32_t x = 0; x < kWindowWidth; ++x) count += testing_support::rgbAt(x, y) != 0 ? 1 : 0;
  }
  return count;
}

// Glyph sets the sheet does not have draw nothing. (Where the cursor ends, at the ends of the
// 32-bit range too, and what each character reports are the text fuzz target's, over its corpus.)
TEST(TextLimitsTest, GlyphSetsBeyondTheSheetDrawNothing) {
  ASSERT_EQ(testing_support::useSoftwareRendererWithMedia(), 0);
  testing_support::resetToStartUpState();
  testing_support::fillCanvas(0, 0, 0);
  for (const std::int32_t style : {-1, 4, 5, 1000, INT_MAX, INT_MIN, INT_MAX / 90, INT_MIN / 90}) {
    EXPECT_EQ(renderCharacter(100, 100, 'A', style), kCharacterDrawn) << style;
    gTextX = 0;
    gTextY = 200;
    renderText(0, 800, "Toggle fullscreen : F4", style);
  }
  EXPECT_EQ(litPixels(), 0);
  renderCharacter(100, 100, 'A', 2);  // the sheet's own sets do draw, so the count can see a glyph
  EXPECT_GT(litPixels(), 0);
  testing_support::releaseSoftwareRenderer();
}

}  // namespace
