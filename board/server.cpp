// The API: POST /api/tickets, POST /api/scores, GET /api/scores, GET /api/replays/ID, GET /api/health. Every refusal
// is a 4xx or 5xx status with {"error": "one-line reason"}.
#include "server.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <signal.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>
#include <unordered_map>

#include "game/replay.h"
#include "metrics.h"
#include "submission.h"
#include "ticket.h"
#include "verifier.h"

namespace {

using nlohmann::json;

constexpr std::int32_t kDefaultListLength = 10;
constexpr std::int32_t kReplayMaxAge = 300;  // seconds a cache may keep a replay
constexpr std::int64_t kLatestPlayedAhead = 24 * 60 * 60;  // seconds a replay's date may lie ahead of the board's clock
thread_local std::chrono::steady_clock::time_point gRequestStarted;  // when the request this thread serves began
constexpr const char* kTicketUsedReason = "the ticket was used for another game: each ticket is good for one entry";

// Submissions per client address block (see addressBlock) in the current minute. Only the blocks
// of this minute are kept, in memory: none is ever written anywhere. A full table forgets the
// block it met first, whose count starts again, so that a flood of new addresses costs the
// addresses it pushes out a fresh minute, never a refusal to one the board has not seen.
class SubmissionLimiter {
 public:
  explicit SubmissionLimiter(const BoardLimits& limits) : limits_(limits) {}
  // 0 when the block may submit now; otherwise the seconds until it may again.
  std::int32_t take(const std::string& block, std::int64_t now) {
    const std::int64_t minute = now / 60;
    const std::int32_t retryAfter = static_cast<std::int32_t>(60 - now % 60);
    std::lock_guard<std::mutex> lock(mutex_);
    if (minute != minute_) {
      counts_.clear();
      metOrder_.clear();
      minute_ = minute;
    }
    auto found = counts_.find(block);
    if (found == counts_.end()) {
      if (counts_.size() >= limits_.trackedAddresses) {
        counts_.erase(metOrder_.front());
        metOrder_.pop_front();
      }
      found = counts_.emplace(block, 0).first;
      metOrder_.push_back(block);
    }
    if (found->second >= limits_.submissionsPerMinute) return retryAfter;
    ++found->second;
    return 0;
  }

 private:
  const BoardLimits& limits_;
  std::mutex mutex_;
  std::int64_t minute_ = 0;
  std::unordered_map<std::string, std::int32_t> counts_;
  std::deque<std::string> metOrder_;  // the blocks of counts_, the first met first
};

std::string isoDate(std::int64_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  gmtime_r(&time, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

void answer(httplib::Response& response, int status, const json& body) {
  response.status = status;
  response.set_header("Cache-Control", "no-store");
  response.set_content(body.dump(), "application/json");
}

void refuse(httplib::Response& response, int status, const std::string& reason) {
  answer(response, status, json{{"error", reason}});
}

json entryJson(const StoredScore& entry) {
  return json{{"id", entry.id}, {"rank", entry.rank}, {"name", entry.name}, {"score", entry.score},
              {"date", isoDate(entry.playedAt)}};
}

// Reads a whole number parameter in [least, most]; false when it is there and is not one.
bool numberParameter(const httplib::Request& request, const char* name, std::int64_t least, std::int64_t most,
                     std::int64_t& value) {
  if (!request.has_param(name)) return true;
  const std::string text = request.get_param_value(name);
  if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  value = std::strtoll(text.c_str(), nullptr, 10);
  return value >= least && value <= most;
}

// An address as 16 bytes, IPv4 as IPv6 maps it, so that 127.0.0.1 and ::ffff:127.0.0.1 match.
bool parseAddress(const std::string& text, in6_addr& address) {
  if (inet_pton(AF_INET6, text.c_str(), &address) == 1) return true;
  in_addr v4{};
  if (inet_pton(AF_INET, text.c_str(), &v4) != 1) return false;
  address = in6_addr{};
  address.s6_addr[10] = address.s6_addr[11] = 0xFF;
  std::memcpy(&address.s6_addr[12], &v4, sizeof v4);
  return true;
}

// What the rate limit counts an address by: an IPv4 address whole (mapped into IPv6 or not), as
// its 4 bytes, an IPv6 address by its /64, the least one subscriber is given, as its first 8.
// Either fits a short string's own storage.
std::string addressBlock(const std::string& text) {
  in6_addr address{};
  if (!parseAddress(text, address)) return text;
  const char* bytes = reinterpret_cast<const char*>(address.s6_addr);
  return IN6_IS_ADDR_V4MAPPED(&address) ? std::string(bytes + 12, 4) : std::string(bytes, 8);
}

// The client's address: the connection's own, unless the connection comes from the trusted
// proxy; then the last address of its X-Forwarded-For, which it sets to the address it served.
std::string clientAddress(const httplib::Request& request, const BoardOptions& options) {
  in6_addr peer{};
  in6_addr proxy{};
  if (options.trustedProxy.empty() || !parseAddress(request.remote_addr, peer) ||
      !parseAddress(options.trustedProxy, proxy) || std::memcmp(&peer, &proxy, sizeof peer) != 0) {
    return request.remote_addr;
  }
  const std::size_t headers = request.get_header_value_count("X-Forwarded-For");
  if (headers == 0) return request.remote_addr;
  const std::string forwarded = request.get_header_value("X-Forwarded-For", headers - 1);
  const std::size_t comma = forwarded.rfind(',');
  std::string last = forwarded.substr(comma == std::string::npos ? 0 : comma + 1);
  last.erase(0, last.find_first_not_of(" \t"));
  last.erase(last.find_last_not_of(" \t") + 1);
  in6_addr client{};
  return parseAddress(last, client) ? last : request.remote_addr;
}

bool isJsonType(const std::string& contentType) {
  std::string type = contentType.substr(0, contentType.find(';'));
  type.erase(0, type.find_first_not_of(" \t"));
  type.erase(type.find_last_not_of(" \t") + 1);
  for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return type == "application/json";
}

// A range is served on a file alone, a replay or the site's, as a GET's 200 (or 206). Any other
// answer is sent whole, its range ignored as HTTP allows: the library would cut every answer to
// it, keeping the status. An answer that turns out an error drops it too (see the error handler).
void dropUnservedRanges(httplib::Request& request) {
  const bool file = request.path.rfind("/api/", 0) != 0 || request.path.rfind("/api/replays/", 0) == 0;
  if (request.method != "GET" || !file) request.ranges.clear();
}

struct EarlyRefusal {
  int status = 0;  // 0: the request goes on to be routed and its body read
  std::string reason;
};

// What the board refuses from a request's head alone, before it reads a byte of the body: the
// library would otherwise build any number of ranges in memory and read a chunked body of any
// size, and a browser sends a text/plain POST from any page without asking first.
EarlyRefusal refusalBeforeBody(const httplib::Request& request, const BoardLimits& limits) {
  if (request.ranges.size() > 1) return {416, "at most one range is served"};
  if (request.has_header("Transfer-Encoding")) return {411, "send the body with a Content-Length, not in chunks"};
  const bool post = request.method == "POST";
  if (!request.has_header("Content-Length")) return post ? EarlyRefusal{411, "a POST needs a Content-Length"} : EarlyRefusal{};
  const std::string length = request.get_header_value("Content-Length");
  if (length.empty() || length.size() > 18 || length.find_first_not_of("0123456789") != std::string::npos) {
    return {400, "the Content-Length is not a number"};
  }
  const unsigned long long bytes = std::strtoull(length.c_str(), nullptr, 10);
  if (bytes > limits.bodyMax) return {413, "the body is larger than " + std::to_string(limits.bodyMax) + " bytes"};
  if (post && bytes > 0 && !isJsonType(request.get_header_value("Content-Type"))) {
    return {415, "send the body as application/json"};
  }
  return {};
}

// Answers the refusal and closes the connection, leaving the body unread: the content provider
// writes the whole answer, then fails, which makes the library drop the connection.
// Returns the answer's length.
std::size_t refuseBeforeBody(httplib::Request& request, httplib::Response& response, const EarlyRefusal& refusal) {
  request.ranges.clear();  // the refusal itself is never cut into ranges
  request.headers.erase("Connection");
  request.headers.emplace("Connection", "close");
  const std::string body = json{{"error", refusal.reason}}.dump();
  response.status = refusal.status;
  response.set_header("Cache-Control", "no-store");
  response.set_content_provider(body.size(), "application/json",
                                [body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                  sink.write(body.data() + offset, length);
                                  return false;
                                });
  return body.size();
}

json duplicateJson(const StoredScore& entry) {
  json first = entryJson(entry);
  first["duplicate"] = true;
  return first;
}

void submit(const httplib::Request& request, httplib::Response& response, ScoreStore& store,
            SubmissionLimiter& limiter, const BoardOptions& options) {
  const BoardLimits& limits = options.limits;
  const std::int64_t now = std::time(nullptr);
  if (const std::int32_t wait = limiter.take(addressBlock(request.remote_addr), now)) {
    response.set_header("Retry-After", std::to_string(wait));
    refuse(response, 429, "too many submissions: at most " + std::to_string(limits.submissionsPerMinute) +
                              " a minute from one address; try again in " + std::to_string(wait) + " s");
    return;
  }
  std::string trimmedName;
  std::string replay;
  const std::string unread = readSubmission(request.body, trimmedName, replay);
  if (!unread.empty()) return refuse(response, 400, unread);

  // What the file says the game is, read here before a verifier plays it: a game already stored
  // is answered at once, and a ticket that cannot stand or was used costs no verification.
  Replay game;
  ReplayVerdict verdict{};
  verdict.problem = decodeReplay(reinterpret_cast<const std::uint8_t*>(replay.data()), replay.size(), game);
  if (verdict.problem != ReplayProblem::kNone) {
    verdict.status = 2;
    verdict.rulesVersion = game.rulesVersion;
    return refuse(response, 422, verdictRefusal(verdict));
  }
  NewScore score;
  score.gameId = gameIdentity(game);
  StoredScore entry;
  if (store.findGame(score.gameId, entry)) return answer(response, 200, duplicateJson(entry));
  const std::string ticket(game.ticket.begin(), game.ticket.end());
  if (!ticket.empty()) {
    const std::string refusal = ticketRefusal(options.ticketKey, game, now, options.ticketLifetime);
    if (!refusal.empty()) return refuse(response, 422, refusal);
    score.ticket = ticketSignature(ticket);
    if (store.ticketUsed(score.ticket)) return refuse(response, 409, kTicketUsedReason);
  } else if (!options.acceptUnticketed) {
    return refuse(response, 422, "this board takes only games started on its ticket");
  }

  switch (verifySubmission(replay, verdict)) {
    case VerifyOutcome::kBusy:
      response.set_header("Retry-After", std::to_string(kBusyRetryAfter));
      return refuse(response, 503, "busy, try again in a few seconds");
    case VerifyOutcome::kFailed:
      return refuse(response, 422, "the replay could not be played to its end");
    case VerifyOutcome::kPlayed:
      break;
  }
  const std::string refusal = verdictRefusal(verdict);
  if (!refusal.empty()) return refuse(response, 422, refusal);

  score.name = trimmedName;
  score.score = verdict.score;  // the board's own result, never a client's claim
  score.frames = verdict.frames;
  score.rulesVersion = verdict.rulesVersion;
  score.seed = verdict.seed;
  score.submittedAt = now;
  if (ticket.empty()) {
    score.playedAt = verdict.date > 0 && verdict.date <= now + kLatestPlayedAhead ? verdict.date : now;
  } else {
    // A ticketed game was played between its ticket's issue and now, whatever its file says.
    score.playedAt = std::min(std::max(verdict.date, ticketIssuedAt(ticket)), now);
  }
  score.replayHash = sha256(replay);
  score.replay = std::move(replay);
  switch (store.add(score, entry)) {
    case AddOutcome::kStored:
      return answer(response, 201, entryJson(entry));
    case AddOutcome::kSameGame:
      return answer(response, 200, duplicateJson(entry));
    case AddOutcome::kTicketUsed:
      return refuse(response, 409, kTicketUsedReason);
  }
}

void issue(httplib::Response& response, const BoardOptions& options) {
  const std::int64_t now = std::time(nullptr);
  const std::string ticket = issueTicket(options.ticketKey, now);
  if (ticket.empty()) return refuse(response, 500, "the board failed to answer; try again later");
  countTicket();
  answer(response, 201, json{{"ticket", encodeBase64Url(ticket)}, {"seed", ticketSeedOf(ticket)},
                             {"expires", isoDate(now + options.ticketLifetime)}});
}

// A page's cursor, SCORE.ID as the list's `next` gives it.
bool cursorParameter(const httplib::Request& request, std::int64_t& score, std::int64_t& id) {
  const std::string text = request.get_param_value("after");
  const std::size_t dot = text.find('.');
  const auto whole = [](const std::string& part, std::int64_t most, std::int64_t& value) {
    if (part.empty() || part.size() > 19 || part.find_first_not_of("0123456789") != std::string::npos) return false;
    errno = 0;
    value = std::strtoll(part.c_str(), nullptr, 10);
    return errno == 0 && value <= most;
  };
  return dot != std::string::npos && whole(text.substr(0, dot), INT32_MAX, score) &&
         whole(text.substr(dot + 1), INT64_MAX, id);
}

// A page from the top, from an offset (the first pages only) or after a cursor. One entry more than
// asked tells whether another page follows; `next` is its cursor, null after the last entry.
void list(const httplib::Request& request, httplib::Response& response, ScoreStore& store, const BoardLimits& limits) {
  std::int64_t limit = kDefaultListLength;
  std::int64_t offset = 0;
  if (!numberParameter(request, "limit", 1, limits.listMax, limit)) {
    return refuse(response, 400, "limit must be a whole number from 1 to " + std::to_string(limits.listMax));
  }
  if (!numberParameter(request, "offset", 0, limits.offsetMax, offset)) {
    return refuse(response, 400, "offset must be a whole number from 0 to " + std::to_string(limits.offsetMax) +
                                     "; page further with after, from the list's next");
  }
  std::int64_t afterScore = 0;
  std::int64_t afterId = 0;
  const bool after = request.has_param("after");
  if (after && !cursorParameter(request, afterScore, afterId)) {
    return refuse(response, 400, "after must be SCORE.ID, as the list's next gives it");
  }
  if (after && request.has_param("offset")) return refuse(response, 400, "give offset or after, not both");
  const std::int32_t asked = static_cast<std::int32_t>(limit) + 1;
  std::int64_t total = 0;
  std::vector<StoredScore> entries = after ? store.listAfter(asked, static_cast<std::int32_t>(afterScore), afterId, total)
                                           : store.list(asked, offset, total);
  json next = nullptr;
  if (entries.size() > static_cast<std::size_t>(limit)) {
    entries.pop_back();
    next = std::to_string(entries.back().score) + "." + std::to_string(entries.back().id);
  }
  json scores = json::array();
  for (const StoredScore& entry : entries) scores.push_back(entryJson(entry));
  answer(response, 200, json{{"total", total}, {"scores", scores}, {"next", next}});
}

void replayFile(const httplib::Request& request, httplib::Response& response, ScoreStore& store) {
  const std::int64_t id = std::strtoll(request.matches[1].str().c_str(), nullptr, 10);
  std::string bytes;
  if (!store.replay(id, bytes)) return refuse(response, 404, "no entry " + std::to_string(id));
  // Short enough that a hidden entry's replay leaves the caches within minutes.
  response.set_header("Cache-Control", "public, max-age=" + std::to_string(kReplayMaxAge));
  response.set_header("Content-Disposition", "attachment; filename=\"zellworth-" + std::to_string(id) + ".replay\"");
  response.set_content(bytes, "application/octet-stream");
}

std::string statusReason(int status, const BoardLimits& limits) {
  switch (status) {
    case 400: return "the request is not one this board understands";
    case 404: return "not found";
    case 405: return "method not allowed";
    case 408: return "the request took too long to arrive";
    case 413: return "the body is larger than " + std::to_string(limits.bodyMax) + " bytes";
    case 414: return "the address is too long";
    default: return "the request failed";
  }
}

}  // namespace

int runBoard(const BoardOptions& options, ScoreStore& store) {
  const BoardLimits& limits = options.limits;
  SubmissionLimiter limiter(limits);
  httplib::Server server;
  server.new_task_queue = [&limits] { return new httplib::ThreadPool(static_cast<std::size_t>(limits.connectionThreads)); };
  server.set_payload_max_length(limits.bodyMax);
  server.set_read_timeout(limits.readTimeout, 0);
  server.set_write_timeout(limits.writeTimeout, 0);
  server.set_keep_alive_timeout(limits.keepAlive);

  server.Post("/api/scores", [&](const httplib::Request& request, httplib::Response& response) {
    submit(request, response, store, limiter, options);
  });
  server.Post("/api/tickets", [&](const httplib::Request&, httplib::Response& response) { issue(response, options); });
  server.Get("/api/scores", [&](const httplib::Request& request, httplib::Response& response) {
    list(request, response, store, limits);
  });
  server.Get(R"(/api/replays/(\d{1,15}))", [&](const httplib::Request& request, httplib::Response& response) {
    replayFile(request, response, store);
  });
  server.Get("/api/health", [](const httplib::Request&, httplib::Response& response) {
    const std::int32_t verifiers = runningVerifiers();
    if (verifiers > 0) return answer(response, 200, json{{"status", "ok"}, {"verifiers", verifiers}});
    response.set_header("Retry-After", std::to_string(kBusyRetryAfter));
    answer(response, 503, json{{"status", "degraded"}, {"verifiers", 0},
                               {"error", "no verifier runs: submissions are refused until one starts again"}});
  });
  // The library hands this handler a const view of the request it owns and routes next: the
  // client's address is settled here once, and what the head alone refuses is answered here.
  server.set_pre_routing_handler([&](const httplib::Request& view, httplib::Response& response) {
    httplib::Request& request = const_cast<httplib::Request&>(view);
    gRequestStarted = std::chrono::steady_clock::now();
    request.remote_addr = clientAddress(request, options);
    dropUnservedRanges(request);
    const EarlyRefusal refusal = refusalBeforeBody(request, limits);
    if (refusal.status == 0) return httplib::Server::HandlerResponse::Unhandled;
    refuseBeforeBody(request, response, refusal);
    return httplib::Server::HandlerResponse::Handled;
  });
  // A client that waits for "100 Continue" before its body is answered here instead.
  server.set_expect_100_continue_handler([&](const httplib::Request& view, httplib::Response& response) {
    httplib::Request& request = const_cast<httplib::Request&>(view);
    dropUnservedRanges(request);
    const EarlyRefusal refusal = refusalBeforeBody(request, limits);
    if (refusal.status == 0) return 100;
    // This answer skips the step that gives a routed answer its length.
    response.set_header("Content-Length", std::to_string(refuseBeforeBody(request, response, refusal)));
    return refusal.status;
  });
  server.set_exception_handler([](const httplib::Request&, httplib::Response& response, std::exception_ptr error) {
    std::string what = "unknown";
    try {
      std::rethrow_exception(error);
    } catch (const StorageUnavailable&) {
      // The storage reported it once; the request may be sent again shortly.
      countStorageError();
      response.set_header("Retry-After", std::to_string(kBusyRetryAfter));
      return refuse(response, 503, "the scores cannot be reached for now; try again in a few seconds");
    } catch (const StorageError& exception) {
      countStorageError();
      what = exception.what();
    } catch (const std::exception& exception) {
      what = exception.what();
    } catch (...) {
    }
    std::fprintf(stderr, "zellworth-board: %s\n", what.c_str());
    refuse(response, 500, "the board failed to answer; try again later");
  });
  server.set_error_handler(httplib::Server::HandlerWithResponse(
      [&limits](const httplib::Request& request, httplib::Response& response) {
        // An error is sent whole, even to a GET of a file that asked for a range of it.
        const_cast<httplib::Request&>(request).ranges.clear();
        // An answer of the board's own (it has its type) stands; the library's bare statuses get a reason.
        if (!response.body.empty() || response.has_header("Content-Type")) return httplib::Server::HandlerResponse::Unhandled;
        refuse(response, response.status, statusReason(response.status, limits));
        return httplib::Server::HandlerResponse::Handled;
      }));
  server.set_logger([](const httplib::Request& request, const httplib::Response& response) {
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - gRequestStarted;
    // A request refused before it was routed was answered at once.
    countRequest(request.method, request.path, response.status,
                 gRequestStarted == std::chrono::steady_clock::time_point() ? 0 : took.count());
    gRequestStarted = {};
  });
  if (!options.site.empty()) {
    server.set_file_extension_and_mimetype_mapping("webmanifest", "application/manifest+json");
    server.set_file_extension_and_mimetype_mapping("wasm", "application/wasm");
    server.set_file_extension_and_mimetype_mapping("data", "application/octet-stream");
    if (!server.set_mount_point("/", options.site)) {
      std::fprintf(stderr, "zellworth-board: no site in %s\n", options.site.c_str());
      return 1;
    }
  }

  // The library listens with a backlog of 5, which a burst of new connections overflows (their
  // handshakes are then dropped and retried for seconds): the socket listens again with ours.
  int listening = -1;
  server.set_socket_options([&listening](socket_t socket) {
    const int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    listening = socket;
  });
  if (!server.bind_to_port(options.host, options.port) || listen(listening, limits.listenBacklog) != 0) {
    std::fprintf(stderr, "zellworth-board: cannot listen on %s:%d\n", options.host.c_str(), static_cast<int>(options.port));
    return 1;
  }
  if (options.metricsPort != 0) {
    const std::string error = startMetrics(options.metricsHost, options.metricsPort, store);
    if (!error.empty()) {
      std::fprintf(stderr, "zellworth-board: %s\n", error.c_str());
      return 1;
    }
  }
  // SIGTERM and SIGINT were blocked before any thread started; this one takes them and stops the
  // server, which finishes the requests under way.
  std::thread stopper([&server] {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    int signal = 0;
    sigwait(&signals, &signal);
    server.stop();
  });
  std::printf("zellworth-board: listening on http://%s:%d/\n", options.host.c_str(), static_cast<int>(options.port));
  std::fflush(stdout);
  const bool served = server.listen_after_bind();
  stopMetrics();
  if (stopper.joinable()) {
    // A stop for any other reason leaves the signal thread waiting: it is detached with the process.
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
  }
  return served ? 0 : 1;
}
