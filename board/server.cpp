// The API: POST /api/tickets, POST /api/scores, GET /api/scores, GET /api/replays/ID, GET /api/health. Every refusal
// is a 4xx or 5xx status with {"error": "one-line reason"}.
#include "server.h"

#include <httplib.h>
#include <signal.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <ctime>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>
#include <unordered_map>

#include "game/replay.h"
#include "submission.h"
#include "ticket.h"
#include "verifier.h"

namespace {

using nlohmann::json;

constexpr std::int32_t kDefaultListLength = 10;
constexpr std::int64_t kLargestOffset = 1000000000;
constexpr std::int64_t kLatestPlayedAhead = 24 * 60 * 60;  // seconds a replay's date may lie ahead of the board's clock

// Submissions per client address in the current minute. Only the addresses of this minute are
// kept, in memory: none is ever written anywhere.
class SubmissionLimiter {
 public:
  explicit SubmissionLimiter(const BoardLimits& limits) : limits_(limits) {}
  // 0 when the address may submit now; otherwise the seconds until it may again.
  std::int32_t take(const std::string& address, std::int64_t now) {
    const std::int64_t minute = now / 60;
    const std::int32_t retryAfter = static_cast<std::int32_t>(60 - now % 60);
    std::lock_guard<std::mutex> lock(mutex_);
    if (minute != minute_) {
      counts_.clear();
      minute_ = minute;
    }
    auto found = counts_.find(address);
    if (found == counts_.end()) {
      if (counts_.size() >= limits_.trackedAddresses) return retryAfter;
      found = counts_.emplace(address, 0).first;
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

json duplicateJson(const StoredScore& entry) {
  json first = entryJson(entry);
  first["duplicate"] = true;
  return first;
}

void submit(const httplib::Request& request, httplib::Response& response, ScoreStore& store,
            SubmissionLimiter& limiter, const BoardOptions& options) {
  const BoardLimits& limits = options.limits;
  const std::int64_t now = std::time(nullptr);
  if (const std::int32_t wait = limiter.take(request.remote_addr, now)) {
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
  // is answered at once, and a ticket that cannot stand costs no verification.
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
  if (!game.ticket.empty()) {
    const std::string refusal = ticketRefusal(options.ticketKey, game, now, options.ticketLifetime);
    if (!refusal.empty()) return refuse(response, 422, refusal);
    score.ticket = ticketSignature(std::string(game.ticket.begin(), game.ticket.end()));
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
  if (score.ticket.empty()) {
    score.playedAt = verdict.date > 0 && verdict.date <= now + kLatestPlayedAhead ? verdict.date : now;
  } else {
    // A ticketed game was played between its ticket's issue and now, whatever its file says.
    const std::int64_t issued = ticketIssuedAt(std::string(game.ticket.begin(), game.ticket.end()));
    score.playedAt = std::min(std::max(verdict.date, issued), now);
  }
  score.replayHash = sha256(replay);
  score.replay = std::move(replay);
  switch (store.add(score, entry)) {
    case AddOutcome::kStored:
      return answer(response, 201, entryJson(entry));
    case AddOutcome::kSameGame:
      return answer(response, 200, duplicateJson(entry));
    case AddOutcome::kTicketUsed:
      return refuse(response, 409, "the ticket was used for another game: each ticket is good for one entry");
  }
}

void issue(httplib::Response& response, const BoardOptions& options) {
  const std::int64_t now = std::time(nullptr);
  const std::string ticket = issueTicket(options.ticketKey, now);
  if (ticket.empty()) return refuse(response, 500, "the board failed to answer; try again later");
  answer(response, 201, json{{"ticket", encodeBase64Url(ticket)}, {"seed", ticketSeedOf(ticket)},
                             {"expires", isoDate(now + options.ticketLifetime)}});
}

void list(const httplib::Request& request, httplib::Response& response, ScoreStore& store, const BoardLimits& limits) {
  std::int64_t limit = kDefaultListLength;
  std::int64_t offset = 0;
  if (!numberParameter(request, "limit", 1, limits.listMax, limit)) {
    return refuse(response, 400, "limit must be a whole number from 1 to " + std::to_string(limits.listMax));
  }
  if (!numberParameter(request, "offset", 0, kLargestOffset, offset)) {
    return refuse(response, 400, "offset must be a whole number from 0 to " + std::to_string(kLargestOffset));
  }
  json scores = json::array();
  for (const StoredScore& entry : store.list(static_cast<std::int32_t>(limit), offset)) scores.push_back(entryJson(entry));
  answer(response, 200, json{{"total", store.count()}, {"scores", scores}});
}

void replayFile(const httplib::Request& request, httplib::Response& response, ScoreStore& store) {
  const std::int64_t id = std::strtoll(request.matches[1].str().c_str(), nullptr, 10);
  std::string bytes;
  if (!store.replay(id, bytes)) return refuse(response, 404, "no entry " + std::to_string(id));
  response.set_header("Cache-Control", "public, max-age=86400");
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
    answer(response, 200, json{{"status", "ok"}});
  });
  server.set_exception_handler([](const httplib::Request&, httplib::Response& response, std::exception_ptr error) {
    std::string what = "unknown";
    try {
      std::rethrow_exception(error);
    } catch (const StorageUnavailable&) {
      // The storage reported it once; the request may be sent again shortly.
      response.set_header("Retry-After", std::to_string(kBusyRetryAfter));
      return refuse(response, 503, "the scores cannot be reached for now; try again in a few seconds");
    } catch (const std::exception& exception) {
      what = exception.what();
    } catch (...) {
    }
    std::fprintf(stderr, "zellworth-board: %s\n", what.c_str());
    refuse(response, 500, "the board failed to answer; try again later");
  });
  server.set_error_handler(httplib::Server::HandlerWithResponse(
      [&limits](const httplib::Request& request, httplib::Response& response) {
        if (!response.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        // The HTTP library caps form bodies far below the limit: the API takes JSON.
        const bool form = request.get_header_value("Content-Type").find("form-urlencoded") != std::string::npos;
        refuse(response, response.status,
               response.status == 413 && form ? "send the body as application/json: a form body is limited to 8192 bytes"
                                              : statusReason(response.status, limits));
        return httplib::Server::HandlerResponse::Handled;
      }));
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
  if (stopper.joinable()) {
    // A stop for any other reason leaves the signal thread waiting: it is detached with the process.
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
  }
  return served ? 0 : 1;
}
