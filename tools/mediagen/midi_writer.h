// Standard MIDI files (format 1) built from bars written in a small text notation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace midi {

constexpr std::int32_t kTicksPerQuarter = 480;
constexpr std::int32_t kTicksPerSixteenth = kTicksPerQuarter / 4;
constexpr std::int32_t kSixteenthsPerBar = 16;  // every piece is in 4/4
constexpr std::int32_t kTicksPerBar = kTicksPerSixteenth * kSixteenthsPerBar;
constexpr std::int32_t kDrumChannel = 9;  // channel 10 as musicians count

// One timed event of a track. Events at the same tick keep this order: note-offs first,
// so a note struck again at the moment it ends is not cut short.
struct Event {
  std::int32_t tick = 0;
  std::int32_t order = 0;  // 0 note-off, 1 set-up (program, controller), 2 note-on
  std::vector<std::uint8_t> bytes;
};

struct Track {
  std::string name;
  std::int32_t channel = 0;
  std::vector<Event> events;
};

// The MIDI note number of a pitch such as "C4" (60), "F#3", "Bb5".
std::int32_t notePitch(const std::string& name);
// The pitches of a chord symbol such as "Am", "G7", "F#m", "Bb", "Esus4", each placed in the
// octave from lowestPitch up.
std::vector<std::int32_t> chordPitches(const std::string& symbol, std::int32_t lowestPitch);
// The MIDI pitch of a chord symbol's root in the octave from lowestPitch up.
std::int32_t chordRoot(const std::string& symbol, std::int32_t lowestPitch);

Track makeTrack(const std::string& name, std::int32_t channel, std::int32_t program,
                std::int32_t volume, std::int32_t pan, std::int32_t reverb);
void addNote(Track& track, std::int32_t startTick, std::int32_t lengthTicks, std::int32_t pitch,
             std::int32_t velocity);

// Adds a bar written as space-separated notes "pitch:sixteenths", where pitch is a note name,
// several joined by "+" for a chord, or "r" for a rest, e.g. "E5:4 G5:2 r:2 C4+E4+G4:8".
// The lengths must fill the bar exactly. gateSixteenthFraction shortens each note by that
// share of a sixteenth (0 plays legato).
void addBar(Track& track, std::int32_t bar, const std::string& notes, std::int32_t velocity,
            double gateSixteenthFraction);

// Builds a whole file: a tempo track first, then the given tracks, every one ending at the
// end of the last bar.
std::vector<std::uint8_t> buildFile(const std::string& title, double beatsPerMinute,
                                    std::int32_t keySharps, bool minorKey, std::int32_t barCount,
                                    const std::vector<Track>& tracks);

}  // namespace midi
