// The committed sound effects and music: formats, levels, fades, loops, and that the mixer loads them.
#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/harness.h"

namespace {

constexpr std::int32_t kSoundCount = 14;
constexpr std::int32_t kShotSound = 1;
constexpr std::int32_t kMenuSound = 13;
constexpr std::int32_t kDrumChannel = 9;

std::vector<std::uint8_t> readAsset(const std::string& name) {
  std::ifstream file(testing_support::committedAssetPath(name), std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string soundName(std::int32_t number) {
  char name[16];
  std::snprintf(name, sizeof name, "snd%02d.wav", number);
  return name;
}

std::uint32_t littleEndian(const std::vector<std::uint8_t>& bytes, std::size_t at, int count) {
  std::uint32_t value = 0;
  for (int index = count - 1; index >= 0; --index) value = (value << 8) | bytes.at(at + static_cast<std::size_t>(index));
  return value;
}

std::uint32_t bigEndian(const std::vector<std::uint8_t>& bytes, std::size_t at, int count) {
  std::uint32_t value = 0;
  for (int index = 0; index < count; ++index) value = (value << 8) | bytes.at(at + static_cast<std::size_t>(index));
  return value;
}

// ---------------------------------------------------------------------------------------------
// WAV files

struct Wave {
  std::uint32_t format = 0;
  std::uint32_t channels = 0;
  std::uint32_t sampleRate = 0;
  std::uint32_t bitsPerSample = 0;
  std::vector<std::int16_t> samples;  // interleaved when stereo
  double seconds() const { return channels == 0 ? 0.0 : static_cast<double>(samples.size()) / channels / sampleRate; }
};

// Reads the RIFF chunks of a WAV file; a file without fmt or data chunk comes back empty.
Wave parseWave(const std::vector<std::uint8_t>& bytes) {
  Wave wave;
  if (bytes.size() < 12 || std::string(bytes.begin(), bytes.begin() + 4) != "RIFF" ||
      std::string(bytes.begin() + 8, bytes.begin() + 12) != "WAVE") {
    return wave;
  }
  std::size_t at = 12;
  while (at + 8 <= bytes.size()) {
    const std::string id(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + 4));
    const std::uint32_t size = littleEndian(bytes, at + 4, 4);
    const std::size_t body = at + 8;
    if (body + size > bytes.size()) break;
    if (id == "fmt ") {
      wave.format = littleEndian(bytes, body, 2);
      wave.channels = littleEndian(bytes, body + 2, 2);
      wave.sampleRate = littleEndian(bytes, body + 4, 4);
      wave.bitsPerSample = littleEndian(bytes, body + 14, 2);
    } else if (id == "data") {
      for (std::size_t offset = 0; offset + 1 < size; offset += 2) {
        wave.samples.push_back(static_cast<std::int16_t>(littleEndian(bytes, body + offset, 2)));
      }
    }
    at = body + size + (size & 1u);
  }
  return wave;
}

double peakOf(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t to) {
  double peak = 0.0;
  for (std::size_t index = from; index < to && index < samples.size(); ++index) {
    peak = std::max(peak, std::fabs(static_cast<double>(samples[index])) / 32768.0);
  }
  return peak;
}

double decibels(double level) { return 20.0 * std::log10(level); }

class SoundFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing_support::initializeLibraries(); }
};

TEST_F(SoundFiles, EveryEffectIsCleanPcmThatTheMixerLoads) {
  for (std::int32_t number = 0; number < kSoundCount; ++number) {
    const std::string name = soundName(number);
    SCOPED_TRACE(name);
    const Wave wave = parseWave(readAsset(name));
    EXPECT_EQ(wave.format, 1u);
    EXPECT_TRUE(wave.channels == 1 || wave.channels == 2);
    EXPECT_EQ(wave.sampleRate, 44100u);
    EXPECT_EQ(wave.bitsPerSample, 16u);
    ASSERT_GT(wave.samples.size(), 441u);
    EXPECT_GT(wave.seconds(), 0.03);
    EXPECT_LT(wave.seconds(), 1.5);

    const double peak = peakOf(wave.samples, 0, wave.samples.size());
    EXPECT_GT(decibels(peak), -30.0);
    EXPECT_LT(decibels(peak), -1.0);

    // Fades: the first and last samples are near zero, and the first and last half
    // millisecond stay well under the body's peak, so the effect neither clicks on nor off.
    const std::size_t edge = 22 * wave.channels;
    EXPECT_LT(std::abs(wave.samples.front()), 100);
    EXPECT_LT(std::abs(wave.samples.back()), 100);
    EXPECT_LT(peakOf(wave.samples, 0, edge), 0.25 * peak);
    EXPECT_LT(peakOf(wave.samples, wave.samples.size() - edge, wave.samples.size()), 0.25 * peak);

    SDL_RWops* stream = SDL_RWFromFile(testing_support::committedAssetPath(name).c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    Mix_Chunk* chunk = Mix_LoadWAV_RW(stream, 1);
    ASSERT_NE(chunk, nullptr) << Mix_GetError();
    EXPECT_GT(chunk->alen, 0u);
    Mix_FreeChunk(chunk);
  }
}

TEST_F(SoundFiles, TheShotIsTheShortestAndSoftestGameEffect) {
  const Wave shot = parseWave(readAsset(soundName(kShotSound)));
  EXPECT_LT(shot.seconds(), 0.1);
  const double shotPeak = peakOf(shot.samples, 0, shot.samples.size());
  for (std::int32_t number = 0; number < kSoundCount; ++number) {
    if (number == kShotSound || number == kMenuSound) continue;
    SCOPED_TRACE(soundName(number));
    const Wave other = parseWave(readAsset(soundName(number)));
    EXPECT_LT(shot.seconds(), other.seconds());
    EXPECT_LT(shotPeak, peakOf(other.samples, 0, other.samples.size()));
  }
}

TEST_F(SoundFiles, TheMenuBlipIsMasteredQuietForItsFullVolume) {
  const Wave blip = parseWave(readAsset(soundName(kMenuSound)));
  const double peak = decibels(peakOf(blip.samples, 0, blip.samples.size()));
  EXPECT_GT(peak, -15.0);
  EXPECT_LT(peak, -9.0);
  EXPECT_LT(blip.seconds(), 0.2);
}

// ---------------------------------------------------------------------------------------------
// MIDI files

struct MidiEvent {
  std::uint32_t tick = 0;
  std::uint8_t status = 0;  // 0xFF for meta events
  std::uint8_t metaType = 0;
  std::vector<std::uint8_t> data;
};

struct MidiFile {
  std::uint32_t format = 0;
  std::uint32_t division = 0;
  std::vector<std::vector<MidiEvent>> tracks;
  bool valid = false;
};

std::uint32_t readVariableLength(const std::vector<std::uint8_t>& bytes, std::size_t& at) {
  std::uint32_t value = 0;
  for (int count = 0; count < 4; ++count) {
    const std::uint8_t byte = bytes.at(at++);
    value = (value << 7) | (byte & 0x7Fu);
    if ((byte & 0x80u) == 0) break;
  }
  return value;
}

// Parses the header and every track chunk, with running status; throws on truncated data.
MidiFile parseMidi(const std::vector<std::uint8_t>& bytes) {
  MidiFile file;
  if (bytes.size() < 14 || std::string(bytes.begin(), bytes.begin() + 4) != "MThd") return file;
  file.format = bigEndian(bytes, 8, 2);
  const std::uint32_t trackCount = bigEndian(bytes, 10, 2);
  file.division = bigEndian(bytes, 12, 2);
  std::size_t at = 8 + bigEndian(bytes, 4, 4);
  for (std::uint32_t track = 0; track < trackCount; ++track) {
    if (std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + 4)) != "MTrk") return file;
    const std::size_t end = at + 8 + bigEndian(bytes, at + 4, 4);
    at += 8;
    std::vector<MidiEvent> events;
    std::uint32_t tick = 0;
    std::uint8_t runningStatus = 0;
    while (at < end) {
      MidiEvent event;
      tick += readVariableLength(bytes, at);
      event.tick = tick;
      std::uint8_t status = bytes.at(at);
      if (status & 0x80u) {
        ++at;
      } else {
        status = runningStatus;
      }
      event.status = status;
      if (status == 0xFF) {
        event.metaType = bytes.at(at++);
        const std::uint32_t length = readVariableLength(bytes, at);
        event.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
      } else if (status == 0xF0 || status == 0xF7) {
        at += readVariableLength(bytes, at);
      } else {
        runningStatus = status;
        const std::uint8_t kind = status & 0xF0u;
        const int dataBytes = kind == 0xC0 || kind == 0xD0 ? 1 : 2;
        for (int index = 0; index < dataBytes; ++index) event.data.push_back(bytes.at(at++));
      }
      events.push_back(event);
    }
    file.tracks.push_back(events);
    at = end;
  }
  file.valid = at == bytes.size();
  return file;
}

struct PieceFacts {
  double seconds = 0.0;
  double beatsPerMinute = 0.0;
  std::uint32_t endTick = 0;
  std::uint32_t ticksPerBar = 0;
  std::uint32_t firstNoteTick = ~0u;
  std::set<std::uint32_t> channelsWithNotes;
  std::set<std::uint32_t> channelsWithPrograms;
  std::int32_t notesLeftSounding = 0;
  std::int32_t strayNoteOffs = 0;
  std::int32_t eventsAfterTheEnd = 0;
  std::int32_t tracksWithoutEnd = 0;
  std::int32_t tracksEndingElsewhere = 0;
};

// Walks every track: matches note-ons with note-offs, finds the end of each track, the tempo,
// the bar length and the piece's duration (one tempo for the whole piece).
PieceFacts examine(const MidiFile& file) {
  PieceFacts facts;
  std::uint32_t microsecondsPerQuarter = 500000;
  std::uint32_t numerator = 4, denominatorPower = 2;
  for (const auto& track : file.tracks) {
    for (const MidiEvent& event : track) {
      if (event.status == 0xFF && event.metaType == 0x51) {
        microsecondsPerQuarter = (event.data.at(0) << 16) | (event.data.at(1) << 8) | event.data.at(2);
      }
      if (event.status == 0xFF && event.metaType == 0x58) {
        numerator = event.data.at(0);
        denominatorPower = event.data.at(1);
      }
    }
  }
  facts.ticksPerBar = file.division * 4 * numerator >> denominatorPower;
  facts.beatsPerMinute = 60000000.0 / microsecondsPerQuarter;

  std::set<std::uint32_t> endTicks;
  for (const auto& track : file.tracks) {
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::int32_t> sounding;  // (channel, pitch)
    bool ended = false;
    std::uint32_t endTick = 0;
    for (const MidiEvent& event : track) {
      if (ended) ++facts.eventsAfterTheEnd;
      if (event.status == 0xFF && event.metaType == 0x2F) {
        ended = true;
        endTick = event.tick;
        continue;
      }
      if (event.status == 0xFF) continue;
      const std::uint32_t kind = event.status & 0xF0u, channel = event.status & 0x0Fu;
      if (kind == 0xC0) facts.channelsWithPrograms.insert(channel);
      const bool noteOn = kind == 0x90 && event.data.at(1) > 0;
      const bool noteOff = kind == 0x80 || (kind == 0x90 && event.data.at(1) == 0);
      const auto key = std::make_pair(channel, static_cast<std::uint32_t>(event.data.size() > 0 ? event.data[0] : 0));
      if (noteOn) {
        ++sounding[key];
        facts.channelsWithNotes.insert(channel);
        facts.firstNoteTick = std::min(facts.firstNoteTick, event.tick);
      } else if (noteOff) {
        if (sounding[key] > 0) --sounding[key];
        else ++facts.strayNoteOffs;
      }
    }
    for (const auto& [key, count] : sounding) facts.notesLeftSounding += count;
    if (!ended) ++facts.tracksWithoutEnd;
    endTicks.insert(endTick);
  }
  facts.endTick = endTicks.empty() ? 0 : *endTicks.rbegin();
  facts.tracksEndingElsewhere = static_cast<std::int32_t>(endTicks.size()) - 1;
  facts.seconds = static_cast<double>(facts.endTick) / file.division * microsecondsPerQuarter / 1e6;
  return facts;
}

class MusicFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing_support::initializeLibraries(); }
};

TEST_F(MusicFiles, EveryPieceLoopsCleanlyAtABarLine) {
  for (const char* name : {"mus01.mid", "mus02.mid", "mus03.mid"}) {
    SCOPED_TRACE(name);
    const MidiFile file = parseMidi(readAsset(name));
    ASSERT_TRUE(file.valid);
    EXPECT_EQ(file.format, 1u);
    EXPECT_GE(file.tracks.size(), 5u);  // tempo, melody, harmony, bass, drums
    ASSERT_GT(file.division, 0u);
    ASSERT_EQ(file.division & 0x8000u, 0u);

    const PieceFacts facts = examine(file);
    EXPECT_EQ(facts.tracksWithoutEnd, 0);
    EXPECT_EQ(facts.tracksEndingElsewhere, 0);
    EXPECT_EQ(facts.eventsAfterTheEnd, 0);
    EXPECT_EQ(facts.notesLeftSounding, 0);
    EXPECT_EQ(facts.strayNoteOffs, 0);
    EXPECT_EQ(facts.firstNoteTick, 0u);
    ASSERT_GT(facts.endTick, 0u);
    EXPECT_EQ(facts.endTick % facts.ticksPerBar, 0u);

    EXPECT_EQ(facts.channelsWithNotes.count(kDrumChannel), 1u);
    EXPECT_GE(facts.channelsWithNotes.size(), 4u);
    for (std::uint32_t channel : facts.channelsWithNotes) {
      if (channel != kDrumChannel) {
        EXPECT_EQ(facts.channelsWithPrograms.count(channel), 1u) << "channel " << channel;
      }
    }
  }
}

TEST_F(MusicFiles, EachPieceHasTheLengthAndPaceOfItsScreen) {
  const PieceFacts title = examine(parseMidi(readAsset("mus01.mid")));
  EXPECT_GE(title.seconds, 30.0);
  EXPECT_LE(title.seconds, 60.0);

  const PieceFacts game = examine(parseMidi(readAsset("mus02.mid")));
  EXPECT_GE(game.seconds, 60.0);
  EXPECT_GE(game.beatsPerMinute, 130.0);
  EXPECT_LE(game.beatsPerMinute, 150.0);

  const PieceFacts gameOver = examine(parseMidi(readAsset("mus03.mid")));
  EXPECT_LE(gameOver.seconds, 30.0);
  EXPECT_LE(gameOver.endTick / gameOver.ticksPerBar, 12u);
}

TEST_F(MusicFiles, TheMixerLoadsEveryPiece) {
  for (const char* name : {"mus01.mid", "mus02.mid", "mus03.mid"}) {
    SCOPED_TRACE(name);
    Mix_Music* music = Mix_LoadMUS(testing_support::committedAssetPath(name).c_str());
    ASSERT_NE(music, nullptr) << Mix_GetError();
    EXPECT_EQ(Mix_GetMusicType(music), MUS_MID);
    Mix_FreeMusic(music);
  }
}

}  // namespace
