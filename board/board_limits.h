// Every limit a client of the leaderboard can reach, with its safe default. Each is a setting of
// the command line (see main.cpp), so that an operator can change it without a new build.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t kDefaultBodyMax = 64 * 1024;          // bytes of a request's body
constexpr std::int32_t kDefaultReadTimeout = 5;            // seconds a client may take to send
constexpr std::int32_t kDefaultWriteTimeout = 5;           // seconds a client may take to receive
constexpr std::int32_t kDefaultKeepAlive = 5;              // seconds an idle connection stays open
constexpr std::int32_t kDefaultConnectionThreads = 96;     // connections served at once, one thread each
constexpr std::int32_t kDefaultListenBacklog = 256;        // new connections waiting to be accepted
constexpr std::int32_t kDefaultVerifiers = 2;              // verifying processes
constexpr std::int32_t kDefaultVerifyQueue = 16;           // submissions waiting for a verifier
constexpr std::int32_t kDefaultVerifyTimeout = 10;         // seconds one verification may take
constexpr std::int32_t kDefaultSubmissionsPerMinute = 6;   // per client address
constexpr std::size_t kDefaultTrackedAddresses = 100000;   // address blocks the rate limit counts at once
constexpr std::int32_t kDefaultListMax = 100;              // entries one list request returns
constexpr std::int64_t kDefaultOffsetMax = 10000;          // places a list request may skip; deeper pages go by cursor
constexpr std::int32_t kNameMaxCharacters = 16;            // code points of a player's name
constexpr std::int32_t kBusyRetryAfter = 5;                // seconds, in a 503's Retry-After
constexpr std::uint64_t kVerifierMemory = 512ull << 20;     // bytes of address space per verifier
constexpr std::uint32_t kVerifierReplayMax = 16u << 20;    // bytes of a replay a verifier reads

struct BoardLimits {
  std::size_t bodyMax = kDefaultBodyMax;
  std::int32_t readTimeout = kDefaultReadTimeout;
  std::int32_t writeTimeout = kDefaultWriteTimeout;
  std::int32_t keepAlive = kDefaultKeepAlive;
  std::int32_t connectionThreads = kDefaultConnectionThreads;
  std::int32_t listenBacklog = kDefaultListenBacklog;
  std::int32_t verifiers = kDefaultVerifiers;
  std::int32_t verifyQueue = kDefaultVerifyQueue;
  std::int32_t verifyTimeout = kDefaultVerifyTimeout;
  std::int32_t submissionsPerMinute = kDefaultSubmissionsPerMinute;
  std::size_t trackedAddresses = kDefaultTrackedAddresses;
  std::int32_t listMax = kDefaultListMax;
  std::int64_t offsetMax = kDefaultOffsetMax;
};
