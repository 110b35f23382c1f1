// The board's counters and their scrape, written in Prometheus's text format (version 0.0.4) by
// hand: a few lines per metric.
#include "metrics.h"

#include <httplib.h>

#include <atomic>
#include <cstdio>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>

#include "game/replay.h"
#include "storage.h"
#include "verifier.h"

namespace {

constexpr std::int32_t kMetricsThreads = 2;  // scrapes served at once
constexpr std::int32_t kMetricsTimeout = 5;  // seconds a scraper may take to send or receive
// Upper bounds of the histograms' buckets, in seconds: a list or a refusal takes milliseconds, a
// verification up to its timeout.
constexpr double kRequestBounds[] = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10};
constexpr double kVerificationBounds[] = {0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10, 30};
constexpr const char* kVerificationResults[] = {"verified", "refused", "failed"};

template <std::size_t N>
struct Histogram {
  std::uint64_t buckets[N] = {};  // each counts the observations at or under its bound
  std::uint64_t count = 0;
  double sum = 0;

  void observe(const double (&bounds)[N], double value) {
    for (std::size_t index = 0; index < N; ++index) buckets[index] += value <= bounds[index] ? 1 : 0;
    ++count;
    sum += value;
  }
};

using RequestKey = std::tuple<std::string, std::string, int>;  // method, route, status
using RouteKey = std::pair<std::string, std::string>;           // method, route

std::mutex gMutex;  // guards the maps and histograms below
std::map<RequestKey, std::uint64_t> gRequests;
std::map<RouteKey, Histogram<std::size(kRequestBounds)>> gRequestTimes;
std::uint64_t gVerifications[std::size(kVerificationResults)] = {};
Histogram<std::size(kVerificationBounds)> gVerificationTimes;
std::atomic<std::uint64_t> gTickets{0};
std::atomic<std::uint64_t> gStorageErrors{0};

std::unique_ptr<httplib::Server> gServer;
std::thread gServing;

// A fixed set, whatever the path, so that no label grows with what clients send.
const char* routeOf(const std::string& path) {
  for (const char* route : {"/api/scores", "/api/tickets", "/api/health"}) {
    if (path == route) return route;
  }
  if (path.rfind("/api/replays/", 0) == 0) return "/api/replays/ID";
  if (path.rfind("/api/", 0) == 0) return "/api/other";
  return "site";
}

const char* methodOf(const std::string& method) {
  for (const char* known : {"GET", "POST", "HEAD"}) {
    if (method == known) return known;
  }
  return "other";
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.12g", value);
  return text;
}

void describe(std::string& text, const char* name, const char* type, const char* help) {
  text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

// One histogram's lines; `labels` is "" or `name="value",...` without the braces.
template <std::size_t N>
void writeHistogram(std::string& text, const char* name, const std::string& labels, const double (&bounds)[N],
                    const Histogram<N>& histogram) {
  const std::string before = labels.empty() ? "{" : "{" + labels + ",";
  for (std::size_t index = 0; index < N; ++index) {
    text += std::string(name) + "_bucket" + before + "le=\"" + number(bounds[index]) + "\"} " +
            std::to_string(histogram.buckets[index]) + "\n";
  }
  text += std::string(name) + "_bucket" + before + "le=\"+Inf\"} " + std::to_string(histogram.count) + "\n";
  const std::string braced = labels.empty() ? "" : "{" + labels + "}";
  text += std::string(name) + "_sum" + braced + " " + number(histogram.sum) + "\n";
  text += std::string(name) + "_count" + braced + " " + std::to_string(histogram.count) + "\n";
}

// The smallest question the storage answers: the replay of entry 0, which no entry is.
bool storageAnswers(ScoreStore& store) {
  try {
    std::string bytes;
    store.replay(0, bytes);
    return true;
  } catch (const StorageError&) {
    return false;
  }
}

}  // namespace

void countRequest(const std::string& method, const std::string& path, int status, double seconds) {
  const char* route = routeOf(path);
  const char* verb = methodOf(method);
  std::lock_guard<std::mutex> lock(gMutex);
  ++gRequests[RequestKey(verb, route, status)];
  gRequestTimes[RouteKey(verb, route)].observe(kRequestBounds, seconds);
}

void countVerification(VerificationResult result, double seconds) {
  std::lock_guard<std::mutex> lock(gMutex);
  ++gVerifications[static_cast<std::size_t>(result)];
  gVerificationTimes.observe(kVerificationBounds, seconds);
}

void countTicket() { ++gTickets; }

void countStorageError() { ++gStorageErrors; }

std::string metricsText(ScoreStore& store) {
  const bool storageUp = storageAnswers(store);
  std::string text;
  describe(text, "zellworth_board_build_info", "gauge", "The board's version and the rules version it plays, as labels.");
  text += "zellworth_board_build_info{version=\"" ZELLWORTH_VERSION "\",rules_version=\"" + std::to_string(kRulesVersion) + "\"} 1\n";
  std::lock_guard<std::mutex> lock(gMutex);
  describe(text, "zellworth_board_requests_total", "counter", "Requests answered, by method, route and status.");
  for (const auto& [key, count] : gRequests) {
    text += "zellworth_board_requests_total{method=\"" + std::get<0>(key) + "\",route=\"" + std::get<1>(key) +
            "\",status=\"" + std::to_string(std::get<2>(key)) + "\"} " + std::to_string(count) + "\n";
  }
  describe(text, "zellworth_board_request_duration_seconds", "histogram",
           "Time from a request's head to the end of its answer, by method and route.");
  for (const auto& [key, histogram] : gRequestTimes) {
    writeHistogram(text, "zellworth_board_request_duration_seconds",
                   "method=\"" + key.first + "\",route=\"" + key.second + "\"", kRequestBounds, histogram);
  }
  describe(text, "zellworth_board_verifications_total", "counter",
           "Replays played by a verifier, by result: verified, refused by its verdict, or failed (killed).");
  for (std::size_t index = 0; index < std::size(kVerificationResults); ++index) {
    text += std::string("zellworth_board_verifications_total{result=\"") + kVerificationResults[index] + "\"} " +
            std::to_string(gVerifications[index]) + "\n";
  }
  describe(text, "zellworth_board_verification_duration_seconds", "histogram",
           "A verifier's time on one replay, the wait for a free one not included.");
  writeHistogram(text, "zellworth_board_verification_duration_seconds", "", kVerificationBounds, gVerificationTimes);
  describe(text, "zellworth_board_verify_queue_length", "gauge", "Submissions waiting for a free verifier.");
  text += "zellworth_board_verify_queue_length " + std::to_string(queuedSubmissions()) + "\n";
  describe(text, "zellworth_board_verifiers_running", "gauge", "Verifier processes running.");
  text += "zellworth_board_verifiers_running " + std::to_string(runningVerifiers()) + "\n";
  describe(text, "zellworth_board_tickets_issued_total", "counter", "Tickets dealt.");
  text += "zellworth_board_tickets_issued_total " + std::to_string(gTickets.load()) + "\n";
  describe(text, "zellworth_board_storage_errors_total", "counter", "Requests that failed in the storage.");
  text += "zellworth_board_storage_errors_total " + std::to_string(gStorageErrors.load()) + "\n";
  describe(text, "zellworth_board_database_up", "gauge", "1 when the database answered at this scrape, 0 when not.");
  text += std::string("zellworth_board_database_up ") + (storageUp ? "1" : "0") + "\n";
  return text;
}

std::string startMetrics(const std::string& host, std::int32_t port, ScoreStore& store) {
  gServer = std::make_unique<httplib::Server>();
  gServer->new_task_queue = [] { return new httplib::ThreadPool(kMetricsThreads); };
  gServer->set_read_timeout(kMetricsTimeout, 0);
  gServer->set_write_timeout(kMetricsTimeout, 0);
  gServer->Get("/metrics", [&store](const httplib::Request&, httplib::Response& response) {
    response.set_header("Cache-Control", "no-store");
    response.set_content(metricsText(store), "text/plain; version=0.0.4; charset=utf-8");
  });
  if (!gServer->bind_to_port(host, port)) return "cannot listen on " + host + ":" + std::to_string(port) + " for --metrics";
  gServing = std::thread([] { gServer->listen_after_bind(); });
  return "";
}

void stopMetrics() {
  if (gServer == nullptr) return;
  gServer->stop();
  if (gServing.joinable()) gServing.join();
  gServer.reset();
}
