// Fuzz target: any bytes as the body of a submission to the leaderboard, read and verified as
// zellworth-board does. Input: one byte whose lowest bit asks for the decoded replay's CRC-32 to
// be made right first, then the body. An accepted body must give an allowed name and a replay
// whose base64 reads back the same; a verdict must stand exactly when it refuses nothing.
#include <string>

#include "board/submission.h"
#include "fuzz_support.h"

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

  std::vector<std::uint8_t> bytes(replay.begin(), replay.end());
  const ReplayVerdict verdict = fuzz_support::verifyChecked(bytes, (data[0] & 1) != 0);
  const std::string refusal = verdictRefusal(verdict);
  if (refusal.empty() != (verdict.status == 0)) fuzz_support::fail("a verdict's refusal and its status differ");
  if (refusal.find('\n') != std::string::npos) fuzz_support::fail("a refusal is not one line");
  return 0;
}
