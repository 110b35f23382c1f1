// Fuzz target: any bytes as a replay file, verified as --verify does, in a process that never set
// SDL up. Input: one byte whose lowest bit asks for the file's CRC-32 to be made right first, then
// the file. A file that reads whole must be written back byte for byte.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::vector<std::uint8_t> bytes(data + 1, data + size);
  fuzz_support::verifyChecked(bytes, (data[0] & 1) != 0);
  Replay replay;
  if (decodeReplay(bytes.data(), bytes.size(), replay) == ReplayProblem::kNone && encodeReplay(replay) != bytes) {
    fuzz_support::fail("a whole replay is not written back as it was");
  }
  return 0;
}
