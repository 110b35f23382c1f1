// Measures a raw audio capture (signed 16-bit little-endian, 44100 Hz, stereo) for the
// end-to-end sound test.
//
// Usage (times in seconds, fractions allowed):
//   audio_probe similarity FILE START_A START_B LENGTH
//       prints the cosine similarity (0..1) of the two windows' average spectra, measured in
//       semitone-wide bands; the same music gives values near 1, different music lower ones
//   audio_probe onsets FILE START LENGTH
//       prints how many 10 ms blocks are at least 6 dB louder than the block before them:
//       sound effects stand out from the music as such sudden rises
//   audio_probe volume FILE START LENGTH EFFECT.wav
//       finds where in the window the effect (16-bit mono 44100 Hz) plays and prints the volume of
//       its quietest playing, in the mixer's steps of 1/128 of the file's level
//   audio_probe first FILE
//       prints when the capture's first sound begins
//   audio_probe again FILE AT FROM
//       prints where, at or after FROM, the capture repeats sample for sample the 50 ms that begin
//       at AT: a piece of music played from its start again, which the mixer renders the same
//       each time
// Both read a capture still being written, and exit 1 when it holds no such moment yet.
// Errors exit 2.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr double kRate = 44100.0;     // frames per second
constexpr std::size_t kChannels = 2;
constexpr std::size_t kFftSize = 4096;  // frames per spectrum
constexpr std::size_t kHop = 2048;
constexpr int kLowestNote = 36;   // MIDI note numbers: about 65 Hz ...
constexpr int kHighestNote = 108;  // ... to about 4186 Hz

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "audio_probe: %s\n", message.c_str());
  std::exit(2);
}

double toSeconds(const char* text) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || value < 0) fail(std::string("not a time: ") + text);
  return value;
}

// Reads the frames of [start, start + length) seconds, mixed to mono and scaled to -1..1.
struct Window {
  std::vector<double> mono;
  std::vector<std::int16_t> samples;
};

Window readWindow(const char* path, double start, double length) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) fail(std::string("cannot open ") + path);
  const auto first = static_cast<long>(start * kRate);
  const auto count = static_cast<std::size_t>(length * kRate);
  if (std::fseek(file, first * static_cast<long>(kChannels * 2), SEEK_SET) != 0) {
    fail("cannot seek");
  }
  Window window;
  window.samples.resize(count * kChannels);
  const std::size_t got = std::fread(window.samples.data(), 2, window.samples.size(), file);
  std::fclose(file);
  if (got < window.samples.size()) {
    fail("the capture ends before " + std::to_string(start + length) + " s");
  }
  window.mono.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    // The capture is little-endian; so is every machine this runs on.
    window.mono[i] = (window.samples[2 * i] + window.samples[2 * i + 1]) / 65536.0;
  }
  return window;
}

void fft(std::vector<std::complex<double>>& data) {
  const std::size_t n = data.size();
  for (std::size_t i = 1, j = 0; i < n; ++i) {
    std::size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(data[i], data[j]);
  }
  for (std::size_t length = 2; length <= n; length <<= 1) {
    const double angle = -2 * M_PI / static_cast<double>(length);
    const std::complex<double> step(std::cos(angle), std::sin(angle));
    for (std::size_t i = 0; i < n; i += length) {
      std::complex<double> w(1);
      for (std::size_t k = 0; k < length / 2; ++k) {
        const auto u = data[i + k];
        const auto v = data[i + k + length / 2] * w;
        data[i + k] = u + v;
        data[i + k + length / 2] = u - v;
        w *= step;
      }
    }
  }
}

// Average power per semitone band over the window, compressed with a square root so that a few
// loud notes do not hide the rest.
std::vector<double> bandProfile(const std::vector<double>& mono) {
  std::vector<double> bands(kHighestNote - kLowestNote + 1, 0.0);
  std::vector<std::complex<double>> frame(kFftSize);
  for (std::size_t start = 0; start + kFftSize <= mono.size(); start += kHop) {
    for (std::size_t i = 0; i < kFftSize; ++i) {
      const double hann = 0.5 - 0.5 * std::cos(2 * M_PI * i / (kFftSize - 1));
      frame[i] = mono[start + i] * hann;
    }
    fft(frame);
    for (std::size_t bin = 1; bin < kFftSize / 2; ++bin) {
      const double frequency = bin * kRate / kFftSize;
      const int note = static_cast<int>(std::lround(69 + 12 * std::log2(frequency / 440.0)));
      if (note < kLowestNote || note > kHighestNote) continue;
      bands[note - kLowestNote] += std::norm(frame[bin]);
    }
  }
  for (double& band : bands) band = std::sqrt(band);
  return bands;
}

int similarity(const char* path, double startA, double startB, double length) {
  const auto a = bandProfile(readWindow(path, startA, length).mono);
  const auto b = bandProfile(readWindow(path, startB, length).mono);
  double dot = 0, normA = 0, normB = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    dot += a[i] * b[i];
    normA += a[i] * a[i];
    normB += b[i] * b[i];
  }
  if (normA == 0 || normB == 0) fail("a window is silent");
  std::printf("%.3f\n", dot / std::sqrt(normA * normB));
  return 0;
}

int onsets(const char* path, double start, double length) {
  const Window window = readWindow(path, start, length);
  const std::size_t block = static_cast<std::size_t>(kRate / 100);
  double previous = -1;
  int count = 0;
  for (std::size_t first = 0; first + block <= window.mono.size(); first += block) {
    double sum = 0;
    for (std::size_t i = first; i < first + block; ++i) sum += window.mono[i] * window.mono[i];
    const double energy = sum / block;
    if (previous >= 0 && energy > 4 * previous && energy > 1e-7) ++count;
    previous = energy;
  }
  std::printf("%d\n", count);
  return 0;
}

// The samples of a 16-bit mono 44100 Hz WAV file, scaled to -1..1 as the capture's are.
std::vector<double> readEffect(const char* path) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) fail(std::string("cannot open ") + path);
  std::vector<unsigned char> bytes;
  unsigned char buffer[4096];
  std::size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + count);
  std::fclose(file);
  auto word = [&](std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int byte = size - 1; byte >= 0; --byte) value = value << 8 | bytes[at + byte];
    return value;
  };
  bool monoPcm = false;
  for (std::size_t at = 12; at + 8 <= bytes.size(); at += 8 + word(at + 4, 4) + (word(at + 4, 4) & 1)) {
    const std::string id(bytes.begin() + at, bytes.begin() + at + 4);
    const std::size_t size = word(at + 4, 4);
    if (at + 8 + size > bytes.size()) break;
    if (id == "fmt ") {
      monoPcm = word(at + 8, 2) == 1 && word(at + 10, 2) == 1 && word(at + 12, 4) == 44100 && word(at + 22, 2) == 16;
    } else if (id == "data" && monoPcm) {
      std::vector<double> samples(size / 2);
      for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(word(at + 8 + 2 * i, 2)) / 32768.0;
      }
      return samples;
    }
  }
  fail(std::string("not a 16-bit mono 44100 Hz WAV file: ") + path);
}

// Cross-correlation through the FFT: the effect against the window at every offset; then the
// offset where their shapes agree best, and there the least-squares gain of the effect.
int volume(const char* path, double start, double length, const char* effectPath) {
  const std::vector<double> capture = readWindow(path, start, length).mono;
  const std::vector<double> effect = readEffect(effectPath);
  if (effect.empty() || effect.size() > capture.size()) fail("the effect is longer than the window");
  std::size_t size = 1;
  while (size < capture.size() + effect.size()) size <<= 1;
  std::vector<std::complex<double>> a(size), b(size);
  for (std::size_t i = 0; i < capture.size(); ++i) a[i] = capture[i];
  for (std::size_t i = 0; i < effect.size(); ++i) b[i] = effect[i];
  fft(a);
  fft(b);
  for (std::size_t i = 0; i < size; ++i) a[i] = std::conj(a[i] * std::conj(b[i]));
  fft(a);  // the inverse, by conjugation, still to be divided by size
  double effectEnergy = 0;
  for (double sample : effect) effectEnergy += sample * sample;
  double windowEnergy = 0;
  for (std::size_t i = 0; i < effect.size(); ++i) windowEnergy += capture[i] * capture[i];
  // Each stretch of offsets where the window looks like the effect (cosine 0.8 and more) is one
  // playing; its gain is read at the stretch's best match. The same effect started twice in one
  // frame plays at twice the gain, so the quietest playing is the one volume.
  double quietest = -1, stretchScore = -1, stretchGain = 0;
  auto endStretch = [&] {
    if (stretchScore > 0 && (quietest < 0 || stretchGain < quietest)) quietest = stretchGain;
    stretchScore = -1;
  };
  for (std::size_t offset = 0; offset + effect.size() <= capture.size(); ++offset) {
    if (offset > 0) {
      windowEnergy += capture[offset + effect.size() - 1] * capture[offset + effect.size() - 1] -
                      capture[offset - 1] * capture[offset - 1];
    }
    const double correlation = a[offset].real() / static_cast<double>(size);
    const double cosine = windowEnergy > 1e-12 ? correlation / std::sqrt(windowEnergy * effectEnergy) : 0;
    if (cosine < 0.8) {
      endStretch();
    } else if (cosine > stretchScore) {
      stretchScore = cosine;
      stretchGain = correlation / effectEnergy;
    }
  }
  endStretch();
  if (quietest < 0) fail("the effect is not in the window");
  std::printf("%.1f\n", quietest * 128);
  return 0;
}

// The whole frames captured so far, as 32-bit words (a frame is two 16-bit samples).
std::vector<std::uint32_t> readFrames(const char* path) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) fail(std::string("cannot open ") + path);
  std::vector<std::uint32_t> frames;
  std::uint32_t buffer[4096];
  std::size_t count = 0;
  while ((count = std::fread(buffer, sizeof buffer[0], 4096, file)) > 0) frames.insert(frames.end(), buffer, buffer + count);
  std::fclose(file);
  return frames;
}

int first(const char* path) {
  const std::vector<std::uint32_t> frames = readFrames(path);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    if (frames[i] != 0) {
      std::printf("%.4f\n", static_cast<double>(i) / kRate);
      return 0;
    }
  }
  return 1;
}

int again(const char* path, double at, double from) {
  const std::vector<std::uint32_t> frames = readFrames(path);
  const auto begin = static_cast<std::size_t>(std::lround(at * kRate));
  const auto length = static_cast<std::size_t>(kRate / 20);
  if (begin + length > frames.size()) fail("the capture ends before " + std::to_string(at + 0.05) + " s");
  for (auto i = std::max(static_cast<std::size_t>(from * kRate), begin + 1); i + length <= frames.size(); ++i) {
    if (std::equal(frames.begin() + begin, frames.begin() + begin + length, frames.begin() + i)) {
      std::printf("%.4f\n", static_cast<double>(i) / kRate);
      return 0;
    }
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "similarity" && argc == 6) {
    return similarity(argv[2], toSeconds(argv[3]), toSeconds(argv[4]), toSeconds(argv[5]));
  }
  if (command == "onsets" && argc == 5) {
    return onsets(argv[2], toSeconds(argv[3]), toSeconds(argv[4]));
  }
  if (command == "volume" && argc == 6) {
    return volume(argv[2], toSeconds(argv[3]), toSeconds(argv[4]), argv[5]);
  }
  if (command == "first" && argc == 3) return first(argv[2]);
  if (command == "again" && argc == 5) return again(argv[2], toSeconds(argv[3]), toSeconds(argv[4]));
  fail("usage: audio_probe similarity|onsets|volume|first|again FILE ...");
}
