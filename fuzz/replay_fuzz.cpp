// Fuzz target: any bytes as a replay file, verified as --verify and a server do, in a process
// that never set SDL up. Input: one byte whose lowest bit asks for the file's CRC-32 to be made
// right first (so that the fuzzer reaches past it), then the file. The verdict must be one of
// the three with one line of message; a file that reads whole must be written back byte for
// byte; a verified replay must have played to the score it claims.
#include <SDL.h>

#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "game/replay.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::vector<std::uint8_t> bytes(data + 1, data + size);
  if ((data[0] & 1) != 0 && bytes.size() >= 4) {
    const std::uint32_t crc = SDL_crc32(0, bytes.data(), bytes.size() - 4);
    for (std::size_t i = 0; i < 4; ++i) bytes[bytes.size() - 4 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
  }

  ReplayVerdict verdict;
  verifyReplay(bytes.data(), bytes.size(), verdict);
  const std::size_t length = strnlen(verdict.message, sizeof verdict.message);
  if (length == 0 || length == sizeof verdict.message || std::strchr(verdict.message, '\n') != nullptr) {
    fuzz_support::fail("the verdict is not one line");
  }
  if (verdict.status != 0 && verdict.status != 2 && verdict.status != 3) fuzz_support::fail("an unknown status");
  if ((verdict.status == 2) != (verdict.problem != ReplayProblem::kNone)) fuzz_support::fail("status and problem differ");
  if (verdict.status == 0 && verdict.score != verdict.recordedScore) fuzz_support::fail("verified another score");

  Replay replay;
  if (decodeReplay(bytes.data(), bytes.size(), replay) == ReplayProblem::kNone && encodeReplay(replay) != bytes) {
    fuzz_support::fail("a whole replay is not written back as it was");
  }
  return 0;
}
