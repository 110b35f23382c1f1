// A small deterministic synthesiser for the sound effects, and the WAV writer they are saved with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wav {

constexpr std::int32_t kSampleRate = 44100;  // frames per second of every sound effect

// A mono signal in the range -1 to 1, one value per frame.
using Signal = std::vector<double>;

// The wave shapes of an oscillator.
enum class Wave { Sine, Triangle, Square, Saw, Noise };

// One oscillator voice: a wave whose pitch glides exponentially from startHz to endHz
// over the whole voice, shaped by an attack-decay-sustain-release envelope.
struct Voice {
  Wave wave = Wave::Square;
  double startSeconds = 0.0;   // when the voice begins within the sound
  double lengthSeconds = 0.1;  // attack, decay and sustain together; the release follows
  double startHz = 440.0;
  double endHz = 440.0;
  double duty = 0.5;           // high share of a square wave's period
  double attackSeconds = 0.002;
  double decaySeconds = 0.05;
  double sustainLevel = 0.6;   // 0 to 1, held from the end of the decay to the release
  double releaseSeconds = 0.03;
  double level = 1.0;          // peak of the envelope
  double vibratoHz = 0.0;      // pitch wobble rate
  double vibratoDepth = 0.0;   // pitch wobble depth as a share of the frequency
  double lowPassHz = 0.0;      // one-pole low-pass on the voice, 0 for none
  std::uint32_t noiseSeed = 1; // seed of the noise wave's own generator
};

// An empty signal of the given length.
Signal silence(double seconds);
// Adds the voice to the signal, growing it when the voice reaches past its end.
void addVoice(Signal& signal, const Voice& voice);
// One-pole low-pass over the whole signal.
void lowPass(Signal& signal, double cutoffHz);
// Removes the constant offset with a gentle high-pass.
void highPass(Signal& signal, double cutoffHz);
// Scales the signal so that its largest magnitude is the given level in dBFS.
void normalise(Signal& signal, double peakDecibels);
// Cuts the tail once the signal stays this far under its peak (2 ms are kept beyond it).
void trimSilentEnd(Signal& signal, double belowPeakDecibels);
// Linear fades over the first and last milliseconds, so the sound starts and ends at zero.
void fadeEdges(Signal& signal, double fadeInSeconds, double fadeOutSeconds);

// Writes the signal as a 44100 Hz, 16-bit, mono PCM WAV file. False after printing what failed.
bool writeWav(const std::string& path, const Signal& signal);

}  // namespace wav
