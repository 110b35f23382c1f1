// What the fuzz targets share: the test harness's run directory and libraries, a software renderer
// on a canvas fenced by guard rows, a reader of the fuzzer's bytes and the checks of a verdict.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "game/replay.h"
#include "support/harness.h"

namespace fuzz_support {

// Once: the dummy drivers, a scratch run directory, the libraries, the fenced renderer and the
// media; then the bindings, glyph size and event queue as at start-up.
void setUpOnce();
void clearCanvas();
void checkCanvasGuards();  // fails when a drawing call wrote into the guard rows
[[noreturn]] void fail(const std::string& what);  // stops the process naming the broken property
// Verifies a replay file as --verify and the board do, its CRC-32 made right first when asked (so
// that the fuzzer reaches past it): the verdict must be one of the three with one line of
// message, and a verified replay must have played to the score it claims.
ReplayVerdict verifyChecked(std::vector<std::uint8_t>& bytes, bool sealCrc);

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
  std::string rest() {  // the bytes not taken yet
    const std::size_t from = std::exchange(used_, size_);
    return std::string(reinterpret_cast<const char*>(data_ + from), size_ - from);
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t used_ = 0;
};

}  // namespace fuzz_support

// The entry point, run by libFuzzer or, in ordinary builds, by replay_main.cpp.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
