// The operator's view of a board: counters of its requests, verifications, tickets and storage,
// served in Prometheus's text format on a listener of their own (--metrics HOST:PORT), never
// beside the API. No label carries a player's name or a client's address.
#pragma once

#include <cstdint>
#include <string>

class ScoreStore;

// An answered request, by its method, its route (the path reduced to the board's few routes) and
// status, and the seconds from its head's arrival to its answer's end.
void countRequest(const std::string& method, const std::string& path, int status, double seconds);
// A replay played by a verifier: its verdict stands (`verified`), refuses it, or never came
// (the worker died or overran its time). `seconds` is the worker's time, the queue not included.
enum class VerificationResult : std::int32_t { kVerified, kRefused, kFailed };
void countVerification(VerificationResult result, double seconds);
void countTicket();
// A request that failed in the storage (the database unreachable, a full disk).
void countStorageError();

// The scrape's text: every count, the verifiers and the queue as they stand, and whether the
// storage answers a question now.
std::string metricsText(ScoreStore& store);

// Serves GET /metrics on host:port from threads of its own. Returns "" or why it cannot listen.
std::string startMetrics(const std::string& host, std::int32_t port, ScoreStore& store);
void stopMetrics();
