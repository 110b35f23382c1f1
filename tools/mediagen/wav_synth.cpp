// The sound effects' synthesiser: oscillators, envelopes, filters and the WAV writer.
#include "wav_synth.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "file_output.h"

namespace wav {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kOversampling = 8;  // tone points computed per output frame

// A xorshift generator: the same noise on every run and every machine.
class NoiseGenerator {
 public:
  explicit NoiseGenerator(std::uint32_t seed) : state_(seed == 0 ? 0x9E3779B9u : seed) {}
  // A value between -1 and 1.
  double next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<double>(state_) / 2147483647.5 - 1.0;
  }

 private:
  std::uint32_t state_;
};

// The envelope level at a time after the voice began.
double envelopeAt(const Voice& voice, double time) {
  if (time < 0.0) return 0.0;
  if (time < voice.attackSeconds) return voice.level * time / voice.attackSeconds;
  double level = voice.sustainLevel;
  const double sinceAttack = time - voice.attackSeconds;
  if (sinceAttack < voice.decaySeconds) {
    level = 1.0 - (1.0 - voice.sustainLevel) * sinceAttack / voice.decaySeconds;
  }
  if (time < voice.lengthSeconds) return voice.level * level;
  // The release starts from wherever the decay had got to when the voice's length ran out.
  const double heldTime = voice.lengthSeconds - voice.attackSeconds;
  double heldLevel = voice.sustainLevel;
  if (heldTime < voice.decaySeconds) {
    heldLevel = 1.0 - (1.0 - voice.sustainLevel) * std::max(heldTime, 0.0) / voice.decaySeconds;
  }
  const double sinceRelease = time - voice.lengthSeconds;
  if (sinceRelease >= voice.releaseSeconds) return 0.0;
  return voice.level * heldLevel * (1.0 - sinceRelease / voice.releaseSeconds);
}

double waveAt(Wave wave, double phase, double duty, NoiseGenerator& noise) {
  switch (wave) {
    case Wave::Sine:
      return std::sin(2.0 * kPi * phase);
    case Wave::Triangle:
      return phase < 0.5 ? 4.0 * phase - 1.0 : 3.0 - 4.0 * phase;
    case Wave::Square:
      return phase < duty ? 1.0 : -1.0;
    case Wave::Saw:
      return 2.0 * phase - 1.0;
    case Wave::Noise:
      return noise.next();
  }
  return 0.0;
}

double lowPassFactor(double cutoffHz) {
  return 1.0 - std::exp(-2.0 * kPi * cutoffHz / kSampleRate);
}

void putLittleEndian(std::vector<std::uint8_t>& bytes, std::uint32_t value, int byteCount) {
  for (int index = 0; index < byteCount; ++index) {
    bytes.push_back(static_cast<std::uint8_t>((value >> (8 * index)) & 0xFFu));
  }
}

void putText(std::vector<std::uint8_t>& bytes, const char* text) {
  for (const char* character = text; *character != '\0'; ++character) {
    bytes.push_back(static_cast<std::uint8_t>(*character));
  }
}

}  // namespace

Signal silence(double seconds) {
  return Signal(static_cast<std::size_t>(std::lround(seconds * kSampleRate)), 0.0);
}

void addVoice(Signal& signal, const Voice& voice) {
  const auto first = static_cast<std::size_t>(std::lround(voice.startSeconds * kSampleRate));
  const double totalSeconds = voice.lengthSeconds + voice.releaseSeconds;
  const auto count = static_cast<std::size_t>(std::lround(totalSeconds * kSampleRate));
  if (signal.size() < first + count) signal.resize(first + count, 0.0);

  NoiseGenerator noise(voice.noiseSeed);
  const double filter = voice.lowPassHz > 0.0 ? lowPassFactor(voice.lowPassHz) : 1.0;
  double filtered = 0.0;
  double phase = 0.0;
  double heldNoise = noise.next();
  for (std::size_t index = 0; index < count; ++index) {
    const double time = static_cast<double>(index) / kSampleRate;
    const double progress = std::min(time / voice.lengthSeconds, 1.0);
    double frequency = voice.startHz * std::pow(voice.endHz / voice.startHz, progress);
    if (voice.vibratoDepth > 0.0) {
      frequency *= 1.0 + voice.vibratoDepth * std::sin(2.0 * kPi * voice.vibratoHz * time);
    }
    // Tones are computed at several points per frame and averaged, which tames the aliasing
    // of the sharp square and saw edges; noise is held for one period of the voice's pitch.
    double value = 0.0;
    if (voice.wave == Wave::Noise) {
      value = heldNoise;
      phase += frequency / kSampleRate;
      if (phase >= 1.0) {
        phase -= std::floor(phase);
        heldNoise = noise.next();
      }
    } else {
      for (int point = 0; point < kOversampling; ++point) {
        value += waveAt(voice.wave, phase, voice.duty, noise);
        phase += frequency / (kSampleRate * kOversampling);
        phase -= std::floor(phase);
      }
      value /= kOversampling;
    }
    filtered += filter * (value - filtered);
    signal[first + index] += filtered * envelopeAt(voice, time);
  }
}

void lowPass(Signal& signal, double cutoffHz) {
  const double filter = lowPassFactor(cutoffHz);
  double filtered = 0.0;
  for (double& value : signal) {
    filtered += filter * (value - filtered);
    value = filtered;
  }
}

void highPass(Signal& signal, double cutoffHz) {
  const double filter = lowPassFactor(cutoffHz);
  double slow = 0.0;
  for (double& value : signal) {
    slow += filter * (value - slow);
    value -= slow;
  }
}

void normalise(Signal& signal, double peakDecibels) {
  double peak = 0.0;
  for (double value : signal) peak = std::max(peak, std::fabs(value));
  if (peak <= 0.0) return;
  const double scale = std::pow(10.0, peakDecibels / 20.0) / peak;
  for (double& value : signal) value *= scale;
}

void trimSilentEnd(Signal& signal, double belowPeakDecibels) {
  double peak = 0.0;
  for (double value : signal) peak = std::max(peak, std::fabs(value));
  const double threshold = peak * std::pow(10.0, belowPeakDecibels / 20.0);
  std::size_t end = signal.size();
  while (end > 0 && std::fabs(signal[end - 1]) < threshold) --end;
  signal.resize(std::min(signal.size(), end + static_cast<std::size_t>(0.002 * kSampleRate)));
}

void fadeEdges(Signal& signal, double fadeInSeconds, double fadeOutSeconds) {
  const auto size = signal.size();
  const auto fadeIn = std::min(size, static_cast<std::size_t>(fadeInSeconds * kSampleRate));
  const auto fadeOut = std::min(size, static_cast<std::size_t>(fadeOutSeconds * kSampleRate));
  for (std::size_t index = 0; index < fadeIn; ++index) {
    signal[index] *= static_cast<double>(index) / static_cast<double>(fadeIn);
  }
  for (std::size_t index = 0; index < fadeOut; ++index) {
    signal[size - 1 - index] *= static_cast<double>(index) / static_cast<double>(fadeOut);
  }
}

bool writeWav(const std::string& path, const Signal& signal) {
  constexpr std::uint32_t kChannels = 1;
  constexpr std::uint32_t kBitsPerSample = 16;
  constexpr std::uint32_t kBlockAlign = kChannels * kBitsPerSample / 8;
  const auto dataBytes = static_cast<std::uint32_t>(signal.size() * kBlockAlign);

  std::vector<std::uint8_t> bytes;
  bytes.reserve(44 + dataBytes);
  putText(bytes, "RIFF");
  putLittleEndian(bytes, 36 + dataBytes, 4);
  putText(bytes, "WAVE");
  putText(bytes, "fmt ");
  putLittleEndian(bytes, 16, 4);
  putLittleEndian(bytes, 1, 2);  // integer PCM
  putLittleEndian(bytes, kChannels, 2);
  putLittleEndian(bytes, kSampleRate, 4);
  putLittleEndian(bytes, kSampleRate * kBlockAlign, 4);
  putLittleEndian(bytes, kBlockAlign, 2);
  putLittleEndian(bytes, kBitsPerSample, 2);
  putText(bytes, "data");
  putLittleEndian(bytes, dataBytes, 4);
  for (double value : signal) {
    const double clamped = std::clamp(value, -1.0, 1.0);
    const auto sample = static_cast<std::int16_t>(std::lround(clamped * 32767.0));
    putLittleEndian(bytes, static_cast<std::uint16_t>(sample), 2);
  }

  return writeBytes(path, bytes);
}

}  // namespace wav
