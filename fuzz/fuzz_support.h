// Shared ground of the fuzz targets: dummy drivers, a scratch run directory with the media, a
// software renderer whose canvas is fenced by guard rows, and a reader for the fuzzer's bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz_support {

// Sets SDL's dummy drivers, makes a scratch run directory with ../Common/ links to the media,
// opens the libraries and a software renderer on the fenced canvas, loads every texture and
// sound, and sets the glyph size as the start-up does. Runs once; later calls do nothing.
void setUpOnce();

// Empties SDL's event queue; pushes a close request.
void drainEvents();
void pushQuit();

// Clears the canvas to black through the renderer.
void clearCanvas();

// Stops the process when any byte of the guard rows above or below the canvas has changed,
// that is when a drawing call wrote outside the window's pixels.
void checkCanvasGuards();

// Writes `size` bytes as ../Common/Settings.bin of the run directory.
void writeSettingsFile(const std::uint8_t* data, std::size_t size);

// Puts the eight default bindings back.
void restoreDefaultBindings();

// Stops the process with a message naming the broken property.
[[noreturn]] void fail(const std::string& what);

// Takes the fuzzer's bytes from the front; once they are used up every value reads as 0.
class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t takeByte() { return used_ < size_ ? data_[used_++] : 0; }
  std::int32_t takeInt32() {
    std::uint32_t bits = 0;
    for (std::int32_t byte = 0; byte < 4; ++byte) bits |= static_cast<std::uint32_t>(takeByte()) << (8 * byte);
    return static_cast<std::int32_t>(bits);
  }
  bool empty() const { return used_ >= size_; }
  // The bytes not taken yet.
  std::string rest() {
    std::string bytes(reinterpret_cast<const char*>(data_ + used_), size_ - used_);
    used_ = size_;
    return bytes;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t used_ = 0;
};

}  // namespace fuzz_support

// The fuzz entry points, run by libFuzzer or, in ordinary builds, by replay_main.cpp.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
