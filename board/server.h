// The board's HTTP side: the JSON API, the submission limits and, when asked, the browser site.
#pragma once

#include <cstdint>
#include <string>

#include "board_limits.h"
#include "storage.h"

struct BoardOptions {
  std::string host = "127.0.0.1";
  std::int32_t port = 8000;
  std::string database;
  std::string site;  // a built browser site to serve beside the API; empty for none
  // The front's address: only a connection from it names the client, in X-Forwarded-For.
  std::string trustedProxy;
  std::string metricsHost;       // where --metrics serves the operator's counters
  std::int32_t metricsPort = 0;  // 0: not served
  std::string ticketKeyFile;        // where the key tickets are signed with is kept (see ticket.h)
  std::string ticketKey;            // the key itself, once read
  std::int64_t ticketLifetime = 0;  // seconds
  bool acceptUnticketed = false;    // games played without a ticket are stored too
  BoardLimits limits;
};

// Serves until SIGTERM or SIGINT. The verifiers must have been started. Returns the exit status.
int runBoard(const BoardOptions& options, ScoreStore& store);
