// The fourteen sound effects snd00.wav to snd13.wav, synthesised from oscillators and noise.
#include <cstdio>
#include <string>

#include "media.h"
#include "wav_synth.h"

namespace {

using wav::Signal;
using wav::Voice;
using wav::Wave;

// The game plays its effects at volume 30 of 128, the title menu's blip at the full 128:
// the blip is mastered quieter so that both sit at a similar loudness.
constexpr double kGamePeakDecibels = -3.0;
constexpr double kShotPeakDecibels = -8.0;  // the shot repeats many times at once: keep it soft
constexpr double kMenuPeakDecibels = -12.0;
constexpr double kFadeInSeconds = 0.003;
constexpr double kFadeOutSeconds = 0.006;

Voice tone(Wave wave, double start, double length, double fromHz, double toHz) {
  Voice voice;
  voice.wave = wave;
  voice.startSeconds = start;
  voice.lengthSeconds = length;
  voice.startHz = fromHz;
  voice.endHz = toHz;
  return voice;
}

Voice percussive(Voice voice, double decaySeconds, double releaseSeconds) {
  voice.attackSeconds = 0.002;
  voice.decaySeconds = decaySeconds;
  voice.sustainLevel = 0.0;
  voice.releaseSeconds = releaseSeconds;
  return voice;
}

Voice held(Voice voice, double sustainLevel, double releaseSeconds) {
  voice.attackSeconds = 0.004;
  voice.decaySeconds = voice.lengthSeconds * 0.5;
  voice.sustainLevel = sustainLevel;
  voice.releaseSeconds = releaseSeconds;
  return voice;
}

Voice withLevel(Voice voice, double level) {
  voice.level = level;
  return voice;
}

Voice filtered(Voice voice, double lowPassHz) {
  voice.lowPassHz = lowPassHz;
  return voice;
}

Voice seeded(Voice voice, std::uint32_t seed) {
  voice.noiseSeed = seed;
  return voice;
}

// snd00: a butterfly bursts: a bright noise pop over a quick falling chirp.
Signal butterflyBurst() {
  Signal signal;
  wav::addVoice(signal, seeded(filtered(percussive(tone(Wave::Noise, 0.0, 0.18, 9000.0, 1500.0), 0.16, 0.04), 7000.0), 11));
  wav::addVoice(signal, withLevel(percussive(tone(Wave::Square, 0.0, 0.12, 1400.0, 300.0), 0.11, 0.03), 0.45));
  wav::addVoice(signal, withLevel(percussive(tone(Wave::Triangle, 0.01, 0.15, 700.0, 120.0), 0.14, 0.04), 0.6));
  return signal;
}

// snd01: a shot: a very short, soft falling "pew".
Signal shot() {
  Signal signal;
  Voice pew = percussive(tone(Wave::Square, 0.0, 0.055, 1800.0, 700.0), 0.05, 0.015);
  pew.duty = 0.25;
  wav::addVoice(signal, filtered(pew, 5000.0));
  wav::addVoice(signal, withLevel(percussive(tone(Wave::Triangle, 0.0, 0.05, 900.0, 400.0), 0.05, 0.015), 0.5));
  return signal;
}

// snd02: a pick-up: two rising square notes.
Signal pickUp() {
  Signal signal;
  wav::addVoice(signal, filtered(held(tone(Wave::Square, 0.0, 0.07, 987.8, 987.8), 0.7, 0.01), 6000.0));
  wav::addVoice(signal, filtered(held(tone(Wave::Square, 0.07, 0.16, 1318.5, 1318.5), 0.5, 0.08), 6000.0));
  return signal;
}

// snd03: a power-up: a rising arpeggio with vibrato.
Signal powerUp() {
  Signal signal;
  const double notes[] = {523.3, 659.3, 784.0, 1046.5, 1318.5};
  for (int step = 0; step < 5; ++step) {
    Voice note = held(tone(Wave::Square, 0.07 * step, 0.09, notes[step], notes[step] * 1.03), 0.6, 0.05);
    note.duty = 0.3;
    note.vibratoHz = 12.0;
    note.vibratoDepth = 0.01;
    wav::addVoice(signal, filtered(withLevel(note, 0.7), 5000.0));
  }
  wav::addVoice(signal, withLevel(held(tone(Wave::Triangle, 0.0, 0.42, 261.6, 523.3), 0.8, 0.1), 0.5));
  return signal;
}

// snd04: an explosion: a long rumble of noise that darkens as it fades.
Signal explosion() {
  Signal signal;
  Voice rumble = percussive(tone(Wave::Noise, 0.0, 0.7, 3000.0, 200.0), 0.65, 0.1);
  rumble.noiseSeed = 404;
  wav::addVoice(signal, filtered(rumble, 2500.0));
  wav::addVoice(signal, withLevel(percussive(tone(Wave::Sine, 0.0, 0.4, 120.0, 40.0), 0.38, 0.08), 0.8));
  wav::addVoice(signal, withLevel(seeded(percussive(tone(Wave::Noise, 0.0, 0.08, 12000.0, 6000.0), 0.07, 0.02), 17), 0.5));
  return signal;
}

// snd05: a laser: a fast falling narrow square with a buzz.
Signal laser() {
  Signal signal;
  Voice beam = held(tone(Wave::Square, 0.0, 0.2, 2400.0, 300.0), 0.5, 0.05);
  beam.duty = 0.15;
  beam.vibratoHz = 40.0;
  beam.vibratoDepth = 0.04;
  wav::addVoice(signal, filtered(beam, 6000.0));
  wav::addVoice(signal, withLevel(held(tone(Wave::Saw, 0.0, 0.2, 1200.0, 150.0), 0.5, 0.05), 0.3));
  return signal;
}

// snd06: the bird is hit: a heavy thud under a short crunch, sweeping down.
Signal birdHit() {
  Signal signal;
  wav::addVoice(signal, percussive(tone(Wave::Sine, 0.0, 0.3, 220.0, 45.0), 0.28, 0.06));
  wav::addVoice(signal, withLevel(percussive(tone(Wave::Square, 0.0, 0.2, 300.0, 60.0), 0.18, 0.05), 0.5));
  wav::addVoice(signal, withLevel(seeded(filtered(percussive(tone(Wave::Noise, 0.0, 0.14, 2500.0, 400.0), 0.13, 0.04), 3000.0), 66), 0.9));
  return signal;
}

// snd07: a jump: a rising square sweep.
Signal jump() {
  Signal signal;
  Voice rise = held(tone(Wave::Square, 0.0, 0.16, 260.0, 780.0), 0.6, 0.04);
  rise.duty = 0.4;
  wav::addVoice(signal, filtered(rise, 4000.0));
  return signal;
}

// snd08: an alarm: two tones taking turns.
Signal alarm() {
  Signal signal;
  for (int step = 0; step < 6; ++step) {
    const double pitch = step % 2 == 0 ? 880.0 : 660.0;
    Voice beep = held(tone(Wave::Square, 0.085 * step, 0.075, pitch, pitch), 0.8, 0.008);
    wav::addVoice(signal, filtered(withLevel(beep, 0.8), 3500.0));
  }
  return signal;
}

// snd09: a warp: a wobbling triangle that climbs and shimmers.
Signal warp() {
  Signal signal;
  Voice climb = held(tone(Wave::Triangle, 0.0, 0.55, 200.0, 1600.0), 0.7, 0.1);
  climb.vibratoHz = 18.0;
  climb.vibratoDepth = 0.08;
  wav::addVoice(signal, climb);
  Voice shimmer = held(tone(Wave::Square, 0.05, 0.5, 400.0, 3200.0), 0.5, 0.1);
  shimmer.duty = 0.12;
  shimmer.vibratoHz = 23.0;
  shimmer.vibratoDepth = 0.05;
  wav::addVoice(signal, filtered(withLevel(shimmer, 0.3), 5000.0));
  return signal;
}

// snd10: a bonus chime: a major chord struck note by note, ringing out.
Signal bonusChime() {
  Signal signal;
  const double notes[] = {1046.5, 1318.5, 1568.0, 2093.0};
  for (int step = 0; step < 4; ++step) {
    Voice bell = percussive(tone(Wave::Triangle, 0.06 * step, 0.55, notes[step], notes[step]), 0.5, 0.1);
    wav::addVoice(signal, withLevel(bell, 0.6));
    Voice overtone = percussive(tone(Wave::Sine, 0.06 * step, 0.3, notes[step] * 2.0, notes[step] * 2.0), 0.25, 0.05);
    wav::addVoice(signal, withLevel(overtone, 0.2));
  }
  return signal;
}

// snd11: a bounce: a springy sine that wobbles down.
Signal bounce() {
  Signal signal;
  Voice spring = percussive(tone(Wave::Sine, 0.0, 0.3, 500.0, 160.0), 0.28, 0.05);
  spring.vibratoHz = 16.0;
  spring.vibratoDepth = 0.15;
  wav::addVoice(signal, spring);
  wav::addVoice(signal, withLevel(percussive(tone(Wave::Triangle, 0.0, 0.1, 900.0, 500.0), 0.09, 0.02), 0.3));
  return signal;
}

// snd12: a refusal: two low buzzing notes, the second lower.
Signal refusal() {
  Signal signal;
  wav::addVoice(signal, filtered(held(tone(Wave::Square, 0.0, 0.1, 220.0, 220.0), 0.8, 0.01), 2500.0));
  wav::addVoice(signal, filtered(held(tone(Wave::Square, 0.12, 0.18, 164.8, 155.6), 0.7, 0.05), 2500.0));
  wav::addVoice(signal, withLevel(filtered(held(tone(Wave::Saw, 0.12, 0.18, 82.4, 77.8), 0.7, 0.05), 1500.0), 0.4));
  return signal;
}

// snd13: the title menu's blip: short, round and bright.
Signal menuBlip() {
  Signal signal;
  wav::addVoice(signal, percussive(tone(Wave::Triangle, 0.0, 0.08, 1320.0, 1760.0), 0.075, 0.02));
  Voice edge = percussive(tone(Wave::Square, 0.0, 0.03, 1320.0, 1760.0), 0.028, 0.01);
  edge.duty = 0.25;
  wav::addVoice(signal, filtered(withLevel(edge, 0.25), 4000.0));
  return signal;
}

bool saveSound(const std::string& directory, int number, Signal signal, double peakDecibels) {
  wav::trimSilentEnd(signal, -60.0);
  wav::normalise(signal, peakDecibels);
  wav::fadeEdges(signal, kFadeInSeconds, kFadeOutSeconds);
  char name[16];
  std::snprintf(name, sizeof name, "snd%02d.wav", number);
  return wav::writeWav(directory + "/" + name, signal);
}

}  // namespace

bool writeSounds(const std::string& directory) {
  bool written = true;
  written = saveSound(directory, 0, butterflyBurst(), kGamePeakDecibels) && written;
  written = saveSound(directory, 1, shot(), kShotPeakDecibels) && written;
  written = saveSound(directory, 2, pickUp(), kGamePeakDecibels) && written;
  written = saveSound(directory, 3, powerUp(), kGamePeakDecibels) && written;
  written = saveSound(directory, 4, explosion(), kGamePeakDecibels) && written;
  written = saveSound(directory, 5, laser(), kGamePeakDecibels) && written;
  written = saveSound(directory, 6, birdHit(), kGamePeakDecibels) && written;
  written = saveSound(directory, 7, jump(), kGamePeakDecibels) && written;
  written = saveSound(directory, 8, alarm(), kGamePeakDecibels) && written;
  written = saveSound(directory, 9, warp(), kGamePeakDecibels) && written;
  written = saveSound(directory, 10, bonusChime(), kGamePeakDecibels) && written;
  written = saveSound(directory, 11, bounce(), kGamePeakDecibels) && written;
  written = saveSound(directory, 12, refusal(), kGamePeakDecibels) && written;
  written = saveSound(directory, 13, menuBlip(), kMenuPeakDecibels) && written;
  return written;
}
