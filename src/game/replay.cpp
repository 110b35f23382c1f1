// Recorded games: the replay file's bytes, recording and verifying.
#include "game/replay.h"

#include <cstdio>

std::vector<std::uint8_t> encodeReplay(const Replay&) { return {}; }

ReplayProblem decodeReplay(const std::uint8_t*, std::size_t, Replay&) { return ReplayProblem::kDamaged; }

const char* replayProblemText(ReplayProblem) { return "not a replay"; }

void verifyReplay(const std::uint8_t*, std::size_t, ReplayVerdict& verdict) {
  verdict = ReplayVerdict{};
  verdict.status = 2;
  verdict.problem = ReplayProblem::kDamaged;
  snprintf(verdict.message, sizeof verdict.message, "%s", "not a replay");
}
