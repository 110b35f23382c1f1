// The MIDI writer: note names, chord symbols, bars of notes and the file layout.
#include "midi_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace midi {
namespace {

// Semitones above C of the natural note letters A to G.
constexpr std::int32_t kLetterSemitones[7] = {9, 11, 0, 2, 4, 5, 7};

// Reads a letter and its accidentals from the front of the text; returns the semitone above C
// and how many characters it used.
std::int32_t readPitchClass(const std::string& text, std::size_t& used) {
  if (text.empty() || text[0] < 'A' || text[0] > 'G') {
    throw std::invalid_argument("not a note name: " + text);
  }
  std::int32_t semitone = kLetterSemitones[text[0] - 'A'];
  used = 1;
  while (used < text.size() && (text[used] == '#' || text[used] == 'b')) {
    semitone += text[used] == '#' ? 1 : -1;
    ++used;
  }
  return (semitone + 12) % 12;
}

// The pitch with the given class at or above lowestPitch, within one octave.
std::int32_t placeAbove(std::int32_t pitchClass, std::int32_t lowestPitch) {
  std::int32_t pitch = lowestPitch - ((lowestPitch % 12) + 12) % 12 + pitchClass;
  if (pitch < lowestPitch) pitch += 12;
  return pitch;
}

void putVariableLength(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
  std::uint8_t groups[5];
  int count = 0;
  do {
    groups[count++] = static_cast<std::uint8_t>(value & 0x7Fu);
    value >>= 7;
  } while (value != 0);
  while (count > 1) bytes.push_back(static_cast<std::uint8_t>(groups[--count] | 0x80u));
  bytes.push_back(groups[0]);
}

void putBigEndian(std::vector<std::uint8_t>& bytes, std::uint32_t value, int byteCount) {
  for (int index = byteCount - 1; index >= 0; --index) {
    bytes.push_back(static_cast<std::uint8_t>((value >> (8 * index)) & 0xFFu));
  }
}

void putText(std::vector<std::uint8_t>& bytes, const std::string& text) {
  bytes.insert(bytes.end(), text.begin(), text.end());
}

Event metaEvent(std::int32_t tick, std::uint8_t type, const std::vector<std::uint8_t>& data) {
  Event event;
  event.tick = tick;
  event.order = 1;
  event.bytes = {0xFF, type};
  putVariableLength(event.bytes, static_cast<std::uint32_t>(data.size()));
  event.bytes.insert(event.bytes.end(), data.begin(), data.end());
  return event;
}

Event channelEvent(std::int32_t tick, std::int32_t order, std::uint8_t status, std::int32_t channel,
                   std::vector<std::uint8_t> data) {
  Event event;
  event.tick = tick;
  event.order = order;
  // The status byte goes in front of the data already held, rather than the data behind a
  // one-byte vector: GCC 12 at -O3 misreads the latter's growth as an out-of-bounds copy.
  data.insert(data.begin(), static_cast<std::uint8_t>(status | channel));
  event.bytes = std::move(data);
  return event;
}

// One track chunk: the events sorted in time, then the end of the track at endTick.
void putTrackChunk(std::vector<std::uint8_t>& file, const std::string& name, std::vector<Event> events,
                   std::int32_t endTick) {
  events.insert(events.begin(), metaEvent(0, 0x03, std::vector<std::uint8_t>(name.begin(), name.end())));
  std::stable_sort(events.begin(), events.end(), [](const Event& left, const Event& right) {
    if (left.tick != right.tick) return left.tick < right.tick;
    return left.order < right.order;
  });
  std::vector<std::uint8_t> body;
  std::int32_t lastTick = 0;
  for (const Event& event : events) {
    if (event.tick > endTick) throw std::logic_error("an event falls after the end of " + name);
    putVariableLength(body, static_cast<std::uint32_t>(event.tick - lastTick));
    body.insert(body.end(), event.bytes.begin(), event.bytes.end());
    lastTick = event.tick;
  }
  putVariableLength(body, static_cast<std::uint32_t>(endTick - lastTick));
  body.insert(body.end(), {0xFF, 0x2F, 0x00});
  putText(file, "MTrk");
  putBigEndian(file, static_cast<std::uint32_t>(body.size()), 4);
  file.insert(file.end(), body.begin(), body.end());
}

}  // namespace

std::int32_t notePitch(const std::string& name) {
  std::size_t used = 0;
  const std::int32_t pitchClass = readPitchClass(name, used);
  const std::int32_t octave = std::stoi(name.substr(used));
  // B#/Cb cross the octave boundary by their letter, not their sound.
  std::int32_t pitch = (octave + 1) * 12 + pitchClass;
  if (name[0] == 'C' && pitchClass == 11) pitch -= 12;
  if (name[0] == 'B' && pitchClass == 0) pitch += 12;
  return pitch;
}

std::int32_t chordRoot(const std::string& symbol, std::int32_t lowestPitch) {
  std::size_t used = 0;
  return placeAbove(readPitchClass(symbol, used), lowestPitch);
}

std::vector<std::int32_t> chordPitches(const std::string& symbol, std::int32_t lowestPitch) {
  std::size_t used = 0;
  const std::int32_t root = readPitchClass(symbol, used);
  const std::string quality = symbol.substr(used);
  std::vector<std::int32_t> intervals;
  if (quality.empty()) intervals = {0, 4, 7};
  else if (quality == "m") intervals = {0, 3, 7};
  else if (quality == "7") intervals = {0, 4, 7, 10};
  else if (quality == "m7") intervals = {0, 3, 7, 10};
  else if (quality == "maj7") intervals = {0, 4, 7, 11};
  else if (quality == "sus4") intervals = {0, 5, 7};
  else if (quality == "add9") intervals = {0, 4, 7, 14};
  else throw std::invalid_argument("unknown chord: " + symbol);
  std::vector<std::int32_t> pitches;
  for (std::int32_t interval : intervals) pitches.push_back(placeAbove((root + interval) % 12, lowestPitch));
  std::sort(pitches.begin(), pitches.end());
  return pitches;
}

Track makeTrack(const std::string& name, std::int32_t channel, std::int32_t program,
                std::int32_t volume, std::int32_t pan, std::int32_t reverb) {
  Track track;
  track.name = name;
  track.channel = channel;
  const auto byte = [](std::int32_t value) { return static_cast<std::uint8_t>(value); };
  track.events.push_back(channelEvent(0, 1, 0xB0, channel, {121, 0}));  // reset controllers
  if (channel != kDrumChannel) track.events.push_back(channelEvent(0, 1, 0xC0, channel, {byte(program)}));
  track.events.push_back(channelEvent(0, 1, 0xB0, channel, {7, byte(volume)}));
  track.events.push_back(channelEvent(0, 1, 0xB0, channel, {10, byte(pan)}));
  track.events.push_back(channelEvent(0, 1, 0xB0, channel, {91, byte(reverb)}));
  return track;
}

void addNote(Track& track, std::int32_t startTick, std::int32_t lengthTicks, std::int32_t pitch,
             std::int32_t velocity) {
  if (pitch < 0 || pitch > 127 || velocity < 1 || velocity > 127 || lengthTicks <= 0) {
    throw std::invalid_argument("bad note in " + track.name);
  }
  const auto pitchByte = static_cast<std::uint8_t>(pitch);
  track.events.push_back(channelEvent(startTick, 2, 0x90, track.channel, {pitchByte, static_cast<std::uint8_t>(velocity)}));
  track.events.push_back(channelEvent(startTick + lengthTicks, 0, 0x80, track.channel, {pitchByte, 64}));
}

void addBar(Track& track, std::int32_t bar, const std::string& notes, std::int32_t velocity,
            double gateSixteenthFraction) {
  std::istringstream words(notes);
  std::string word;
  std::int32_t position = 0;  // sixteenths into the bar
  while (words >> word) {
    const auto colon = word.find(':');
    if (colon == std::string::npos) throw std::invalid_argument("no length in " + word);
    const std::int32_t length = std::stoi(word.substr(colon + 1));
    const std::string pitches = word.substr(0, colon);
    const std::int32_t start = bar * kTicksPerBar + position * kTicksPerSixteenth;
    const auto gate = static_cast<std::int32_t>(std::lround(gateSixteenthFraction * kTicksPerSixteenth));
    if (pitches != "r") {
      std::size_t from = 0;
      while (from <= pitches.size()) {
        const auto plus = pitches.find('+', from);
        const std::string one = pitches.substr(from, plus == std::string::npos ? std::string::npos : plus - from);
        addNote(track, start, length * kTicksPerSixteenth - gate, notePitch(one), velocity);
        if (plus == std::string::npos) break;
        from = plus + 1;
      }
    }
    position += length;
  }
  if (position != kSixteenthsPerBar) {
    throw std::invalid_argument(track.name + " bar " + std::to_string(bar + 1) + " lasts " +
                                std::to_string(position) + " sixteenths: " + notes);
  }
}

std::vector<std::uint8_t> buildFile(const std::string& title, double beatsPerMinute,
                                    std::int32_t keySharps, bool minorKey, std::int32_t barCount,
                                    const std::vector<Track>& tracks) {
  const std::int32_t endTick = barCount * kTicksPerBar;
  std::vector<std::uint8_t> file;
  putText(file, "MThd");
  putBigEndian(file, 6, 4);
  putBigEndian(file, 1, 2);  // several tracks played together
  putBigEndian(file, static_cast<std::uint32_t>(tracks.size() + 1), 2);
  putBigEndian(file, kTicksPerQuarter, 2);

  const auto microsecondsPerQuarter = static_cast<std::uint32_t>(std::lround(60000000.0 / beatsPerMinute));
  std::vector<Event> tempo;
  tempo.push_back(metaEvent(0, 0x51, {static_cast<std::uint8_t>(microsecondsPerQuarter >> 16),
                                      static_cast<std::uint8_t>(microsecondsPerQuarter >> 8),
                                      static_cast<std::uint8_t>(microsecondsPerQuarter)}));
  tempo.push_back(metaEvent(0, 0x58, {4, 2, 24, 8}));  // 4/4
  tempo.push_back(metaEvent(0, 0x59, {static_cast<std::uint8_t>(keySharps), static_cast<std::uint8_t>(minorKey ? 1 : 0)}));
  putTrackChunk(file, title, tempo, endTick);
  for (const Track& track : tracks) putTrackChunk(file, track.name, track.events, endTick);
  return file;
}
}  // namespace midi
