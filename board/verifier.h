// Verification of submitted replays in worker processes. The game's state is global, so each
// worker plays one replay at a time; a worker that crashes or overruns its time is killed and
// replaced, and the submission that did it is refused.
#pragma once

#include <cstdint>
#include <string>

#include "game/replay.h"
#include "board_limits.h"

enum class VerifyOutcome : std::int32_t {
  kPlayed,  // the verdict is filled in
  kBusy,    // every worker is busy and the queue is full
  kFailed,  // the worker died or overran its time on this replay
};

// Starts the workers (this program run again with --verifier) and the thread that starts them
// again when they die. Returns false (with a message) when one cannot start.
bool startVerifiers(const BoardLimits& limits, const char* program, std::string& error);
// Workers running now; 0 while none could be started again.
std::int32_t runningVerifiers();
// Submissions waiting for a free worker now.
std::int32_t queuedSubmissions();
// Plays `replay` in a free worker, waiting in the queue for one when all are busy.
VerifyOutcome verifySubmission(const std::string& replay, ReplayVerdict& verdict);
void stopVerifiers();

// A worker's own loop: reads replays from standard input, writes verdicts to standard output,
// until its input ends. Returns the exit status.
int runVerifier();
