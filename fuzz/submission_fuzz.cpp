// Fuzz target: any bytes as the body of a submission to the leaderboard, read and verified as
// zellworth-board does. Input: one byte whose lowest bit asks for the decoded replay's CRC-32 to
// be made right first (so that the fuzzer reaches the frames), then the body. An accepted body
// must give an allowed name and a replay whose base64 reads back the same; a verdict must stand
// exactly when it refuses nothing, and then at the score the file claims.
#include <SDL.h>

#include <string>

#include "board/submission.h"
#include "fuzz_support.h"
#include "game/replay.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string name;
  std::string replay;
  if (!readSubmission(body, name, replay).empty()) return 0;
  std::string again;
  if (!checkName(name, again).empty() || again != name) fuzz_support::fail("an accepted name is not allowed");
  std::string decoded;
  if (!decodeBase64(encodeBase64(replay), decoded) || decoded != replay) fuzz_support::fail("base64 does not read back");
  if (sha256(replay).size() != 32) fuzz_support::fail("the hash is not 32 bytes");

  if ((data[0] & 1) != 0 && replay.size() >= 4) {
    const std::uint32_t crc = SDL_crc32(0, replay.data(), replay.size() - 4);
    for (std::size_t i = 0; i < 4; ++i) replay[replay.size() - 4 + i] = static_cast<char>(crc >> (8 * i));
  }
  ReplayVerdict verdict;
  verifyReplay(reinterpret_cast<const std::uint8_t*>(replay.data()), replay.size(), verdict);
  const std::string refusal = verdictRefusal(verdict);
  if (refusal.empty() != (verdict.status == 0)) fuzz_support::fail("a verdict's refusal and its status differ");
  if (refusal.find('\n') != std::string::npos) fuzz_support::fail("a refusal is not one line");
  if (verdict.status == 0 && verdict.score != verdict.recordedScore) fuzz_support::fail("verified another score");
  return 0;
}
