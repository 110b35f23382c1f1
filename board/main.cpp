// zellworth-board: the leaderboard server. Every score it lists was played again by its own
// workers with the game's frame code, from the replay the player sent.
#include <arpa/inet.h>
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "server.h"
#include "storage.h"
#include "ticket.h"
#include "verifier.h"

namespace {

constexpr int kMisuse = 2;
constexpr std::int32_t kCopyBatch = 500;  // entries copied in one transaction

constexpr const char* kUsage =
    "Usage: zellworth-board --db DATABASE [--listen HOST:PORT] [--site DIR] [--trusted-proxy ADDRESS]\n"
    "                       [--metrics HOST:PORT] [TICKETS] [LIMITS]\n"
    "       zellworth-board --db DATABASE --hide ID\n"
    "       zellworth-board --db DATABASE --copy-to DATABASE\n"
    "The Zellworth leaderboard: keeps a score only when its replay, played again here, gives it.\n"
    "\n"
    "  --db DATABASE     a SQLite file (made when missing), or a PostgreSQL database as\n"
    "                    postgresql://USER@HOST:PORT/NAME, which several boards can share\n"
    "  --db-connections N  connections to a PostgreSQL database (4)\n"
    "  --listen H:P      the address and port to serve (default 127.0.0.1:8000)\n"
    "  --site DIR        serve the built browser site from DIR too\n"
    "  --trusted-proxy ADDRESS\n"
    "                    the front before the board: a connection from ADDRESS names its client\n"
    "                    in X-Forwarded-For (its last address), which the rate limit counts\n"
    "  --metrics H:P     serve the operator's counters in Prometheus's text format at\n"
    "                    http://H:P/metrics, a listener of their own (off by default)\n"
    "  --hide ID         take entry ID off the list and leave\n"
    "  --copy-to DATABASE  copy every entry, hidden or not, into another database and leave;\n"
    "                    entries whose game is there already are left out\n"
    "\n"
    "Tickets: every game for the board starts from a seed the board deals, good for one entry.\n"
    "  --ticket-key FILE       the key tickets are signed with, made at the first start\n"
    "                          (default: board.key beside a SQLite file; needed with\n"
    "                          PostgreSQL); boards that share the file accept each\n"
    "                          other's tickets\n"
    "  --ticket-lifetime S     seconds a ticket stays good (86400)\n"
    "  --accept-unticketed     store games played without a ticket too (a private board)\n"
    "  --help, --version\n"
    "\n"
    "Limits (default):\n"
    "  --body-max BYTES               largest request body (65536)\n"
    "  --read-timeout S               seconds a client may take to send (5)\n"
    "  --write-timeout S              seconds a client may take to receive (5)\n"
    "  --keep-alive S                 seconds an idle connection stays open (5)\n"
    "  --connection-threads N         connections served at once (96)\n"
    "  --listen-backlog N             new connections waiting to be accepted (256)\n"
    "  --verifiers N                  replays verified at once, one process each (2)\n"
    "  --verify-queue N               submissions waiting for a verifier before 503 (16)\n"
    "  --verify-timeout S             seconds one verification may take (10)\n"
    "  --submissions-per-minute N     per client address (an IPv6 one by its /64), before 429 (6)\n"
    "  --tracked-addresses N          addresses counted at once; when full, the first met\n"
    "                                 of the minute is forgotten (100000)\n"
    "  --list-max N                   entries one list request may ask for (100)\n"
    "  --offset-max N                 places a list request may skip, at most 10000 (10000);\n"
    "                                 deeper pages follow the list's next cursor\n";

int misuse(const std::string& message) {
  std::fprintf(stderr, "zellworth-board: %s\nTry 'zellworth-board --help' for more information.\n", message.c_str());
  return kMisuse;
}

bool parseWhole(const char* text, long long least, long long most, long long& value) {
  if (text == nullptr || *text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(text, &end, 10);
  return errno == 0 && *end == '\0' && value >= least && value <= most;
}

struct LimitOption {
  const char* name;
  long long least;
  long long most;
  void (*set)(BoardLimits&, long long);
};

const LimitOption kLimitOptions[] = {
    {"--body-max", 1024, 1 << 24, [](BoardLimits& l, long long v) { l.bodyMax = static_cast<std::size_t>(v); }},
    {"--read-timeout", 1, 300, [](BoardLimits& l, long long v) { l.readTimeout = static_cast<std::int32_t>(v); }},
    {"--write-timeout", 1, 300, [](BoardLimits& l, long long v) { l.writeTimeout = static_cast<std::int32_t>(v); }},
    {"--keep-alive", 1, 300, [](BoardLimits& l, long long v) { l.keepAlive = static_cast<std::int32_t>(v); }},
    {"--connection-threads", 4, 4096, [](BoardLimits& l, long long v) { l.connectionThreads = static_cast<std::int32_t>(v); }},
    {"--listen-backlog", 5, 65535, [](BoardLimits& l, long long v) { l.listenBacklog = static_cast<std::int32_t>(v); }},
    {"--verifiers", 1, 256, [](BoardLimits& l, long long v) { l.verifiers = static_cast<std::int32_t>(v); }},
    {"--verify-queue", 0, 100000, [](BoardLimits& l, long long v) { l.verifyQueue = static_cast<std::int32_t>(v); }},
    {"--verify-timeout", 1, 3600, [](BoardLimits& l, long long v) { l.verifyTimeout = static_cast<std::int32_t>(v); }},
    {"--submissions-per-minute", 1, 1000000,
     [](BoardLimits& l, long long v) { l.submissionsPerMinute = static_cast<std::int32_t>(v); }},
    {"--tracked-addresses", 1, 10000000,
     [](BoardLimits& l, long long v) { l.trackedAddresses = static_cast<std::size_t>(v); }},
    {"--list-max", 1, 10000, [](BoardLimits& l, long long v) { l.listMax = static_cast<std::int32_t>(v); }},
    {"--offset-max", 0, kDefaultOffsetMax, [](BoardLimits& l, long long v) { l.offsetMax = v; }},
};

bool parseHostPort(const char* text, std::string& host, std::int32_t& port) {
  const std::string whole = text == nullptr ? "" : text;
  const std::size_t colon = whole.rfind(':');
  long long number = 0;
  if (colon == std::string::npos || colon == 0 || !parseWhole(whole.c_str() + colon + 1, 1, 65535, number)) return false;
  host = whole.substr(0, colon);
  port = static_cast<std::int32_t>(number);
  return true;
}

// Copies every entry of `from` into `to`, a batch at a time, and says what it did.
int copyBoard(ScoreStore& from, ScoreStore& to) {
  std::int64_t after = 0;
  std::int64_t read = 0;
  std::int64_t copied = 0;
  for (;;) {
    const std::vector<EntryRecord> batch = from.entries(after, kCopyBatch);
    if (batch.empty()) break;
    copied += to.copyIn(batch);
    read += static_cast<std::int64_t>(batch.size());
    after = batch.back().id;
  }
  std::printf("%lld entries read, %lld copied, %lld there already\n", static_cast<long long>(read),
              static_cast<long long>(copied), static_cast<long long>(read - copied));
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc == 2 && std::strcmp(argv[1], "--verifier") == 0) return runVerifier();

  BoardOptions options;
  options.ticketLifetime = kDefaultTicketLifetime;
  long long hideId = 0;
  long long connections = kDefaultDatabaseConnections;
  std::string copyTo;
  for (int index = 1; index < argc; ++index) {
    const std::string argument = argv[index];
    const char* value = index + 1 < argc ? argv[index + 1] : nullptr;
    if (argument == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (argument == "--version") {
      std::printf("zellworth-board %s (rules version %u)\n", ZELLWORTH_VERSION, static_cast<unsigned>(kRulesVersion));
      return 0;
    }
    const LimitOption* limit = nullptr;
    for (const LimitOption& candidate : kLimitOptions) {
      if (argument == candidate.name) limit = &candidate;
    }
    if (limit != nullptr) {
      long long number = 0;
      if (!parseWhole(value, limit->least, limit->most, number)) {
        return misuse(argument + " needs a whole number from " + std::to_string(limit->least) + " to " +
                      std::to_string(limit->most));
      }
      limit->set(options.limits, number);
    } else if (argument == "--listen") {
      if (!parseHostPort(value, options.host, options.port)) return misuse("--listen needs HOST:PORT");
    } else if (argument == "--metrics") {
      if (!parseHostPort(value, options.metricsHost, options.metricsPort)) return misuse("--metrics needs HOST:PORT");
    } else if (argument == "--db" && value != nullptr) {
      options.database = value;
    } else if (argument == "--db-connections") {
      if (!parseWhole(value, 1, 256, connections)) return misuse("--db-connections needs a whole number from 1 to 256");
    } else if (argument == "--copy-to" && value != nullptr) {
      copyTo = value;
    } else if (argument == "--site" && value != nullptr) {
      options.site = value;
    } else if (argument == "--trusted-proxy") {
      unsigned char address[16];
      if (value == nullptr || (inet_pton(AF_INET, value, address) != 1 && inet_pton(AF_INET6, value, address) != 1)) {
        return misuse("--trusted-proxy needs an IP address, such as 127.0.0.1");
      }
      options.trustedProxy = value;
    } else if (argument == "--ticket-key" && value != nullptr) {
      options.ticketKeyFile = value;
    } else if (argument == "--ticket-lifetime") {
      long long seconds = 0;
      if (!parseWhole(value, 1, 365LL * 24 * 60 * 60, seconds)) {
        return misuse("--ticket-lifetime needs a whole number of seconds from 1 to 31536000");
      }
      options.ticketLifetime = seconds;
    } else if (argument == "--accept-unticketed") {
      options.acceptUnticketed = true;
      continue;
    } else if (argument == "--hide") {
      if (!parseWhole(value, 1, 999999999999999LL, hideId)) return misuse("--hide needs an entry's id");
    } else {
      return misuse("unknown option or missing value: " + argument);
    }
    ++index;
  }
  if (options.database.empty()) return misuse("--db DATABASE is needed");
  const bool serving = hideId == 0 && copyTo.empty();
  if (serving && options.ticketKeyFile.empty() && isPostgresUrl(options.database)) {
    return misuse("--ticket-key FILE is needed with a PostgreSQL database");
  }

  // The signals that stop the server are taken by one thread of its own (see runBoard); every
  // thread started from here on inherits the block.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  std::unique_ptr<ScoreStore> store;
  try {
    store = openStore(options.database, static_cast<std::int32_t>(connections));
    if (!copyTo.empty()) return copyBoard(*store, *openStore(copyTo, static_cast<std::int32_t>(connections)));
    if (hideId != 0) {
      const bool hidden = store->hide(hideId);
      std::printf(hidden ? "entry %lld is hidden\n" : "no listed entry %lld\n", hideId);
      return hidden ? 0 : 1;
    }
  } catch (const StorageError& error) {
    std::fprintf(stderr, "zellworth-board: %s\n", error.what());
    return 1;
  }
  if (options.ticketKeyFile.empty()) {
    const std::size_t slash = options.database.rfind('/');
    options.ticketKeyFile = (slash == std::string::npos ? std::string() : options.database.substr(0, slash + 1)) + "board.key";
  }
  std::string error = loadTicketKey(options.ticketKeyFile, options.ticketKey);
  if (!error.empty()) {
    std::fprintf(stderr, "zellworth-board: %s\n", error.c_str());
    return 1;
  }
  if (!startVerifiers(options.limits, argv[0], error)) {
    std::fprintf(stderr, "zellworth-board: %s\n", error.c_str());
    stopVerifiers();
    return 1;
  }
  const int status = runBoard(options, *store);
  stopVerifiers();
  return status;
}
