// The three pieces of music: the title theme, the game theme and the game-over piece.
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "file_output.h"
#include "media.h"
#include "midi_writer.h"

namespace {

using midi::Track;

// General MIDI programs (numbered from 0) and drum keys used here.
constexpr std::int32_t kElectricPiano = 4;
constexpr std::int32_t kVibraphone = 11;
constexpr std::int32_t kFingeredBass = 33;
constexpr std::int32_t kSynthBass = 38;
constexpr std::int32_t kStrings = 48;
constexpr std::int32_t kSlowStrings = 49;
constexpr std::int32_t kBrass = 61;
constexpr std::int32_t kOboe = 68;
constexpr std::int32_t kFlute = 73;
constexpr std::int32_t kSquareLead = 80;
constexpr std::int32_t kWarmPad = 89;
constexpr std::int32_t kAcousticBass = 32;
constexpr std::int32_t kHarp = 46;

constexpr std::int32_t kKick = 36;
constexpr std::int32_t kSideStick = 37;
constexpr std::int32_t kSnare = 38;
constexpr std::int32_t kClosedHat = 42;
constexpr std::int32_t kLowTom = 45;
constexpr std::int32_t kOpenHat = 46;
constexpr std::int32_t kMidTom = 47;
constexpr std::int32_t kCrash = 49;
constexpr std::int32_t kHighTom = 50;
constexpr std::int32_t kRide = 51;

constexpr std::int32_t kCentre = 64;

// The chords of each bar: one symbol for the whole bar, or several sharing it equally.
using Progression = std::vector<std::string>;

std::vector<std::string> words(const std::string& text) {
  std::istringstream stream(text);
  std::vector<std::string> result;
  std::string word;
  while (stream >> word) result.push_back(word);
  return result;
}

// The chord sounding at a position (in sixteenths) of a bar.
std::string chordAt(const std::string& bar, std::int32_t position) {
  const std::vector<std::string> chords = words(bar);
  const std::int32_t share = midi::kSixteenthsPerBar / static_cast<std::int32_t>(chords.size());
  return chords[static_cast<std::size_t>(position / share)];
}

// Adds each bar of a melody, bar by bar from firstBar.
void addMelody(Track& track, std::int32_t firstBar, const std::vector<std::string>& bars,
               std::int32_t velocity, double gate) {
  for (std::size_t index = 0; index < bars.size(); ++index) {
    midi::addBar(track, firstBar + static_cast<std::int32_t>(index), bars[index], velocity, gate);
  }
}

// Holds each chord of the progression for as long as it lasts, voiced from lowestPitch up.
void addPads(Track& track, std::int32_t firstBar, const Progression& progression,
             std::int32_t lowestPitch, std::int32_t velocity) {
  for (std::size_t index = 0; index < progression.size(); ++index) {
    const std::vector<std::string> chords = words(progression[index]);
    const std::int32_t length = midi::kTicksPerBar / static_cast<std::int32_t>(chords.size());
    for (std::size_t part = 0; part < chords.size(); ++part) {
      const std::int32_t start = (firstBar + static_cast<std::int32_t>(index)) * midi::kTicksPerBar +
                                 static_cast<std::int32_t>(part) * length;
      for (std::int32_t pitch : midi::chordPitches(chords[part], lowestPitch)) {
        midi::addNote(track, start, length, pitch, velocity);
      }
    }
  }
}

// The pitch of one step of a figure over a chord: "1" the root, "5" the fifth above, "8" the
// octave, "-5" the fifth below, "3" the chord's third, "c0" to "c5" the chord's tones upwards.
std::int32_t figurePitch(const std::string& step, const std::string& chord, std::int32_t lowestPitch) {
  const std::int32_t root = midi::chordRoot(chord, lowestPitch);
  if (step == "1") return root;
  if (step == "5") return root + 7;
  if (step == "8") return root + 12;
  if (step == "-5") return root - 5;
  const std::vector<std::int32_t> tones = midi::chordPitches(chord, lowestPitch);
  if (step == "3") {
    for (std::int32_t tone : tones) {
      const std::int32_t above = ((tone - root) % 12 + 12) % 12;
      if (above == 3 || above == 4) return root + above;
    }
    return root + 4;
  }
  if (step.size() == 2 && step[0] == 'c') {
    const auto index = static_cast<std::size_t>(step[1] - '0');
    return tones[index % tones.size()] + 12 * static_cast<std::int32_t>(index / tones.size());
  }
  throw std::invalid_argument("unknown figure step " + step);
}

// Plays a rhythmic figure ("step:sixteenths ...", "r" rests) over every bar of a progression,
// following the chord that sounds at each step.
void addFigure(Track& track, std::int32_t firstBar, const Progression& progression,
               const std::string& figure, std::int32_t lowestPitch, std::int32_t velocity, double gate) {
  for (std::size_t index = 0; index < progression.size(); ++index) {
    std::string bar;
    std::int32_t position = 0;
    for (const std::string& step : words(figure)) {
      const auto colon = step.find(':');
      const std::string tone = step.substr(0, colon);
      const std::int32_t length = std::stoi(step.substr(colon + 1));
      const std::int32_t start = (firstBar + static_cast<std::int32_t>(index)) * midi::kTicksPerBar +
                                 position * midi::kTicksPerSixteenth;
      if (tone != "r") {
        const std::int32_t pitch = figurePitch(tone, chordAt(progression[index], position), lowestPitch);
        const std::int32_t ticks = length * midi::kTicksPerSixteenth -
                                   static_cast<std::int32_t>(gate * midi::kTicksPerSixteenth);
        midi::addNote(track, start, ticks, pitch, velocity);
      }
      position += length;
    }
    if (position != midi::kSixteenthsPerBar) throw std::invalid_argument("figure does not fill a bar: " + figure);
  }
}

// One bar of drums: for each drum key a line of sixteen steps, "X" accented, "x" normal,
// "o" soft, "." silent.
using DrumBar = std::vector<std::pair<std::int32_t, std::string>>;

void addDrums(Track& track, std::int32_t firstBar, std::int32_t barCount, const DrumBar& pattern,
              std::int32_t loudness) {
  constexpr std::int32_t kHitTicks = midi::kTicksPerSixteenth / 2;
  for (std::int32_t bar = firstBar; bar < firstBar + barCount; ++bar) {
    for (const auto& [key, steps] : pattern) {
      if (steps.size() != static_cast<std::size_t>(midi::kSixteenthsPerBar)) {
        throw std::invalid_argument("a drum line needs sixteen steps: " + steps);
      }
      for (std::int32_t step = 0; step < midi::kSixteenthsPerBar; ++step) {
        const char hit = steps[static_cast<std::size_t>(step)];
        if (hit == '.') continue;
        const std::int32_t velocity = hit == 'X' ? loudness : hit == 'x' ? loudness * 4 / 5 : loudness / 2;
        midi::addNote(track, bar * midi::kTicksPerBar + step * midi::kTicksPerSixteenth, kHitTicks, key, velocity);
      }
    }
  }
}

Progression repeatBars(const Progression& bars, std::int32_t times) {
  Progression result;
  for (std::int32_t time = 0; time < times; ++time) result.insert(result.end(), bars.begin(), bars.end());
  return result;
}

// ---------------------------------------------------------------------------------------------
// mus01: the title theme, D major, 104 beats per minute, 16 bars in two halves.

std::vector<std::uint8_t> titleTheme() {
  constexpr std::int32_t kBars = 16;
  const Progression chords = {"D", "Bm", "G", "A",  "D", "Bm", "Em A", "D",
                              "G", "A", "F#m", "Bm", "G", "A", "Em", "A7"};
  const std::vector<std::string> tune = {
      "F#5:4 A5:4 D6:6 C#6:2", "B5:4 A5:4 F#5:8",       "G5:4 B5:4 D6:4 B5:4",   "A5:12 r:4",
      "F#5:4 A5:4 D6:6 E6:2",  "F#6:4 E6:4 D6:4 B5:4",  "G5:4 B5:4 A5:4 C#6:4",  "D6:12 r:4",
      "B5:6 A5:2 G5:4 B5:4",   "C#6:6 B5:2 A5:8",       "A5:4 C#6:4 F#6:4 E6:4", "D6:8 B5:8",
      "G5:4 A5:4 B5:4 D6:4",   "E6:8 C#6:4 A5:4",       "G5:4 F#5:4 E5:4 G5:4",  "A5:8 C#6:4 E6:4",
  };

  Track melody = midi::makeTrack("Melody", 0, kFlute, 127, 72, 50);
  addMelody(melody, 0, tune, 120, 0.25);

  Track pads = midi::makeTrack("Pads", 1, kWarmPad, 110, 50, 70);
  addPads(pads, 0, chords, 55, 70);

  Track bass = midi::makeTrack("Bass", 2, kFingeredBass, 127, kCentre, 20);
  addFigure(bass, 0, chords, "1:6 5:2 8:4 5:4", 38, 115, 0.3);

  Track sparkle = midi::makeTrack("Sparkle", 3, kVibraphone, 110, 90, 60);
  addFigure(sparkle, 0, chords, "c0:2 c1:2 c2:2 c3:2 c4:2 c3:2 c2:2 c1:2", 62, 88, 0.5);

  Track drums = midi::makeTrack("Drums", midi::kDrumChannel, 0, 127, kCentre, 40);
  const DrumBar groove = {{kKick, "X.....x.X......."}, {kSnare, "....X.......X..."},
                          {kClosedHat, "x.o.x.o.x.o.x.o."}};
  const DrumBar turn = {{kKick, "X.....x.X......."}, {kSnare, "....X.......X.xx"},
                        {kClosedHat, "x.o.x.o.x.o....."}, {kOpenHat, "............x..."}};
  addDrums(drums, 0, 7, groove, 127);
  addDrums(drums, 7, 1, turn, 127);
  addDrums(drums, 8, 7, groove, 127);
  addDrums(drums, 15, 1, turn, 127);
  addDrums(drums, 0, 1, {{kCrash, "X..............."}}, 120);
  addDrums(drums, 8, 1, {{kCrash, "X..............."}}, 120);

  return midi::buildFile("Zellworth title", 104.0, 2, false, kBars, {melody, pads, bass, sparkle, drums});
}

// ---------------------------------------------------------------------------------------------
// mus02: the game theme, A minor, 140 beats per minute, 40 bars (about 69 s):
// intro 4, A 8, A' 8, B 8, C 8 (half-time break), turnaround 4.

std::vector<std::uint8_t> gameTheme() {
  constexpr std::int32_t kIntro = 0, kA = 4, kA2 = 12, kB = 20, kC = 28, kTurn = 36, kBars = 40;
  const Progression introChords = {"Am", "Am", "F", "G"};
  const Progression aChords = {"Am", "F", "C", "G", "Am", "F", "G", "E"};
  const Progression bChords = {"F", "G", "Em", "Am", "F", "G", "E", "E7"};
  const Progression cChords = {"Dm", "Am", "Dm", "Am", "F", "G", "E", "E7"};
  const Progression turnChords = {"Am", "F", "G", "E"};

  Progression all = introChords;
  for (const Progression* part : {&aChords, &aChords, &bChords, &cChords, &turnChords}) {
    all.insert(all.end(), part->begin(), part->end());
  }

  const std::vector<std::string> tuneA = {
      "A4:2 C5:2 E5:4 A5:4 G5:2 E5:2", "F5:4 E5:2 C5:2 A4:4 C5:4", "E5:2 G5:2 C6:4 B5:2 G5:2 E5:4",
      "D5:4 G5:4 B5:6 A5:2",           "A5:4 G5:2 E5:2 A5:4 C6:4", "B5:2 A5:2 F5:4 C5:4 F5:4",
      "G5:4 B5:2 D6:2 B5:4 G5:4",      "G#5:8 E5:4 B4:4"};
  const std::vector<std::string> tuneA2 = {
      "E5:2 A5:2 C6:2 A5:2 E6:4 C6:4", "D6:2 C6:2 A5:4 F5:4 A5:4", "G5:2 C6:2 E6:4 D6:2 C6:2 G5:4",
      "B5:4 D6:4 G6:6 F6:2",           "E6:4 C6:2 A5:2 E6:4 C6:4", "D6:4 C6:2 A5:2 F5:4 A5:4",
      "B5:2 C6:2 D6:4 G5:4 B5:4",      "G#5:4 B5:4 E6:6 r:2"};
  const std::vector<std::string> tuneB = {
      "C6:6 A5:2 F5:8", "D6:6 B5:2 G5:8", "E6:4 D6:4 B5:4 G5:4",      "A5:8 C6:4 E6:4",
      "F6:6 E6:2 C6:8", "G6:6 F6:2 D6:8", "E6:4 D6:2 B5:2 G#5:4 B5:4", "E5:4 G#5:4 B5:4 D6:4"};
  const std::vector<std::string> tuneC = {
      "D5:3 F5:3 A5:2 r:4 A5:2 G5:2", "E5:3 A5:3 C6:2 r:4 B5:2 A5:2", "F5:3 A5:3 D6:2 r:4 C6:2 A5:2",
      "C6:8 B5:4 A5:4",               "A5:3 C6:3 F6:2 r:4 E6:2 C6:2", "B5:3 D6:3 G6:2 r:4 F6:2 D6:2",
      "E6:8 B5:4 G#5:4",              "E5:12 r:4"};
  const std::vector<std::string> tuneTurn = {
      "A5:4 E5:4 C5:4 E5:4", "F5:4 C5:4 A4:4 C5:4", "G5:4 D5:4 B4:4 D5:4", "G#5:4 E5:4 B4:4 r:4"};

  Track lead = midi::makeTrack("Lead", 0, kSquareLead, 127, 70, 40);
  addMelody(lead, kA, tuneA, 120, 0.3);
  addMelody(lead, kA2, tuneA2, 124, 0.3);
  addMelody(lead, kB, tuneB, 127, 0.2);
  addMelody(lead, kTurn, tuneTurn, 116, 0.4);

  Track horns = midi::makeTrack("Horns", 4, kBrass, 127, 58, 50);
  addMelody(horns, kC, tuneC, 118, 0.3);

  Track pads = midi::makeTrack("Pads", 1, kStrings, 80, 44, 70);
  addPads(pads, 0, all, 55, 60);

  Track bass = midi::makeTrack("Bass", 2, kSynthBass, 115, kCentre, 10);
  const std::string drive = "1:2 1:2 8:2 1:2 1:2 1:2 8:2 5:2";
  addFigure(bass, kIntro, introChords, drive, 33, 118, 0.4);
  addFigure(bass, kA, repeatBars(aChords, 2), drive, 33, 118, 0.4);
  addFigure(bass, kB, bChords, "1:2 8:2 1:2 8:2 5:2 8:2 5:2 3:2", 33, 118, 0.4);
  addFigure(bass, kC, cChords, "1:6 1:2 r:2 5:2 8:4", 33, 118, 0.3);
  addFigure(bass, kTurn, turnChords, drive, 33, 118, 0.4);

  Track arpeggio = midi::makeTrack("Arpeggio", 3, kHarp, 100, 90, 50);
  const std::string climb = "c0:2 c1:2 c2:2 c3:2 c1:2 c2:2 c3:2 c4:2";
  addFigure(arpeggio, kIntro, introChords, climb, 57, 96, 0.3);
  addFigure(arpeggio, kA, repeatBars(aChords, 2), climb, 57, 84, 0.3);
  addFigure(arpeggio, kB, bChords, "c0:2 c2:2 c1:2 c3:2 c2:2 c4:2 c3:2 c5:2", 57, 90, 0.3);
  addFigure(arpeggio, kC, cChords, "c0:4 c1:4 c2:4 c3:4", 57, 92, 1.0);
  addFigure(arpeggio, kTurn, turnChords, climb, 57, 96, 0.3);

  Track drums = midi::makeTrack("Drums", midi::kDrumChannel, 0, 127, kCentre, 30);
  const DrumBar introBeat = {{kKick, "X...x...X...x..."}, {kClosedHat, "x.x.x.x.x.x.x.x."}};
  const DrumBar introFill = {{kKick, "X...x...X...x..."}, {kSnare, "........x.x.xxXX"},
                             {kClosedHat, "x.x.x.x........."}};
  const DrumBar rock = {{kKick, "X.....x.X.x....."}, {kSnare, "....X.......X..."},
                        {kClosedHat, "x.o.x.o.x.o.x.o."}};
  const DrumBar rockFill = {{kKick, "X.....x.X......."}, {kSnare, "....X.......xxxX"},
                            {kClosedHat, "x.o.x.o.x.o....."}};
  const DrumBar driveBeat = {{kKick, "X...x...X...x..."}, {kSnare, "....X.......X..."},
                         {kOpenHat, "..x...x...x...x."}, {kClosedHat, "x...x...x...x..."}};
  const DrumBar tomFill = {{kKick, "X...x...X......."}, {kSnare, "....X..........."},
                           {kHighTom, "........xx......"}, {kMidTom, "..........xx...."},
                           {kLowTom, "............xxXX"}};
  const DrumBar halfTime = {{kKick, "X.........x....."}, {kSnare, "........X......."},
                            {kRide, "x.x.x.x.x.x.x.x."}};
  const DrumBar halfFill = {{kKick, "X.........x....."}, {kSnare, "........X...xxxX"},
                            {kRide, "x.x.x.x.x.x....."}};
  const DrumBar crash = {{kCrash, "X..............."}};

  addDrums(drums, kIntro, 3, introBeat, 120);
  addDrums(drums, kIntro + 3, 1, introFill, 120);
  addDrums(drums, kA, 7, rock, 120);
  addDrums(drums, kA + 7, 1, rockFill, 120);
  addDrums(drums, kA2, 7, rock, 120);
  addDrums(drums, kA2 + 7, 1, tomFill, 120);
  addDrums(drums, kB, 7, driveBeat, 120);
  addDrums(drums, kB + 7, 1, rockFill, 120);
  addDrums(drums, kC, 7, halfTime, 115);
  addDrums(drums, kC + 7, 1, halfFill, 115);
  addDrums(drums, kTurn, 3, rock, 120);
  addDrums(drums, kTurn + 3, 1, tomFill, 120);
  for (std::int32_t section : {kIntro, kA, kA2, kB, kC, kTurn}) addDrums(drums, section, 1, crash, 120);

  return midi::buildFile("Zellworth flight", 140.0, 0, true, kBars,
                         {lead, horns, pads, bass, arpeggio, drums});
}

// ---------------------------------------------------------------------------------------------
// mus03: the game-over piece, D minor, 72 beats per minute, 8 bars.

std::vector<std::uint8_t> gameOverPiece() {
  constexpr std::int32_t kBars = 8;
  const Progression chords = {"Dm", "Bb", "Gm", "A", "Dm", "Gm", "Bb A", "Dm"};
  const std::vector<std::string> tune = {
      "A4:4 D5:4 F5:6 E5:2", "D5:8 F5:4 Bb4:4", "G4:4 Bb4:4 D5:4 C5:4", "C#5:8 E5:4 A4:4",
      "F5:4 E5:4 D5:4 A4:4", "Bb4:4 D5:4 G5:6 F5:2", "F5:4 D5:4 E5:4 C#5:4", "D5:12 r:4"};
  // The oboe answers under the second phrase.
  const std::vector<std::string> counter = {"A4:8 F4:8", "G4:8 Bb4:8", "D5:4 Bb4:4 A4:8", "A4:4 G4:4 F4:8"};

  Track melody = midi::makeTrack("Melody", 0, kElectricPiano, 127, 70, 60);
  addMelody(melody, 0, tune, 118, 0.1);

  Track answer = midi::makeTrack("Answer", 3, kOboe, 100, 44, 70);
  addMelody(answer, 4, counter, 96, 0.2);

  Track strings = midi::makeTrack("Strings", 1, kSlowStrings, 105, 50, 80);
  addPads(strings, 0, chords, 53, 75);

  Track bass = midi::makeTrack("Bass", 2, kAcousticBass, 127, kCentre, 30);
  addFigure(bass, 0, chords, "1:8 5:8", 38, 105, 0.2);

  Track drums = midi::makeTrack("Drums", midi::kDrumChannel, 0, 127, kCentre, 60);
  addDrums(drums, 0, kBars - 1, {{kKick, "x..............."}, {kSideStick, "........o......."}, {kRide, "o...o...o...o..."}}, 127);
  addDrums(drums, kBars - 1, 1, {{kKick, "x..............."}, {kRide, "o...o...o......."}}, 127);

  return midi::buildFile("Zellworth grounded", 72.0, -1, true, kBars, {melody, answer, strings, bass, drums});
}

}  // namespace

bool writeMusic(const std::string& directory) {
  bool written = true;
  written = writeBytes(directory + "/mus01.mid", titleTheme()) && written;
  written = writeBytes(directory + "/mus02.mid", gameTheme()) && written;
  written = writeBytes(directory + "/mus03.mid", gameOverPiece()) && written;
  return written;
}
