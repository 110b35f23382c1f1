// zellworth-board-load: a bounded load run against a board on this machine. CLIENTS threads for
// SECONDS each mix list requests with submissions of valid, forged and damaged replays (from
// DIR/valid and DIR/forged, each sent once), then every answered submission is looked up in the
// list, and no forged one may be there. With ANSWERED, the ids of the answered valid submissions
// are written there as they come (for runs in which the board is killed), and the list is not read.
// PORT is the board's on 127.0.0.1, a connection for each request; an https://HOST:PORT address
// instead goes through a front, each client keeping its connection, trusting the certificates
// of SSL_CERT_FILE when it is set.
//   zellworth-board-load PORT|URL DIR [CLIENTS] [SECONDS] [ANSWERED]
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "board/submission.h"

namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr std::int32_t kMostClients = 64;
constexpr std::int32_t kMostSeconds = 600;

std::string readFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

std::vector<std::string> replaysIn(const std::filesystem::path& folder) {
  std::vector<std::string> replays;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) replays.push_back(readFile(entry.path()));
  return replays;
}

struct Tally {
  std::mutex mutex;
  std::vector<double> listMilliseconds;
  std::set<std::int64_t> answeredValid;       // ids answered 201 or 200
  std::int64_t statuses[600] = {};           // by HTTP status, for submissions
  std::int64_t forgedAccepted = 0;
  std::int64_t played = 0;                   // valid and forged games played through by a verifier
  std::int64_t damaged = 0;                  // damaged files refused by a verifier before a frame
  std::int64_t unanswered = 0;
};

constexpr auto kPauseAfterFailure = std::chrono::milliseconds(50);  // a client's wait after a failed connection
constexpr std::int64_t kFailuresShown = 5;

// Counts a request without an answer; the first few are shown. The tally's lock is held.
void noteUnanswered(Tally& tally, const char* what, const std::string& why) {
  if (tally.unanswered++ < kFailuresShown) std::fprintf(stderr, "%s was not answered: %s\n", what, why.c_str());
}

double percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<std::size_t>(share * static_cast<double>(values.size())))];
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: zellworth-board-load PORT|URL DIR [CLIENTS] [SECONDS] [ANSWERED]\n");
    return 2;
  }
  const std::string address = std::isdigit(static_cast<unsigned char>(argv[1][0])) ? std::string("http://127.0.0.1:") + argv[1] : argv[1];
  const char* trusted = std::getenv("SSL_CERT_FILE");
  auto connect = [&address, trusted] {
    auto http = std::make_unique<httplib::Client>(address);
    if (trusted != nullptr) http->set_ca_cert_path(trusted);
    // As a browser: each part of a request sent at once, and its connection to a front kept.
    http->set_tcp_nodelay(true);
    http->set_keep_alive(address.compare(0, 8, "https://") == 0);
    return http;
  };
  const std::int32_t clients = std::clamp(argc > 3 ? std::atoi(argv[3]) : 20, 1, kMostClients);
  const std::int32_t seconds = std::clamp(argc > 4 ? std::atoi(argv[4]) : 60, 1, kMostSeconds);
  const std::vector<std::string> valid = replaysIn(std::filesystem::path(argv[2]) / "valid");
  const std::vector<std::string> forged = replaysIn(std::filesystem::path(argv[2]) / "forged");
  // Each run starts at a place of its own in the lists and goes round them once, so that runs on
  // one board send new games.
  std::random_device entropy;
  const std::size_t validStart = entropy();
  const std::size_t forgedStart = entropy();
  std::atomic<std::size_t> nextValid{0};
  std::atomic<std::size_t> nextForged{0};
  Tally tally;
  std::FILE* answeredFile = argc > 5 ? std::fopen(argv[5], "a") : nullptr;
  const auto end = Clock::now() + std::chrono::seconds(seconds);

  auto client = [&](std::int32_t number) {
    auto connection = connect();
    httplib::Client& http = *connection;
    http.set_read_timeout(30, 0);
    std::mt19937 random(static_cast<std::uint32_t>(number));
    while (Clock::now() < end) {
      const std::uint32_t kind = random() % 10;  // 4 in 10 list, 3 valid, 2 forged, 1 damaged
      if (kind < 4) {
        const auto started = Clock::now();
        auto result = http.Get("/api/scores?limit=10");
        const double took = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
        if (!result) std::this_thread::sleep_for(kPauseAfterFailure);
        std::lock_guard<std::mutex> lock(tally.mutex);
        if (result && result->status == 200) {
          tally.listMilliseconds.push_back(took);
        } else {
          noteUnanswered(tally, "a list request", result ? std::to_string(result->status) : httplib::to_string(result.error()));
        }
        continue;
      }
      std::string replay;
      bool isForged = false;
      bool isDamaged = false;
      if (kind < 7) {
        const std::size_t index = nextValid++;
        if (index >= valid.size()) continue;  // every valid game was sent
        replay = valid[(validStart + index) % valid.size()];
      } else if (kind < 9) {
        const std::size_t index = nextForged++;
        if (index >= forged.size()) continue;
        replay = forged[(forgedStart + index) % forged.size()];
        isForged = true;
      } else {
        replay = valid[random() % valid.size()];
        replay.resize(1 + random() % (replay.size() - 1));  // cut short: damaged
        isForged = true;
        isDamaged = true;
      }
      const std::string name = (isForged ? "F" : "V") + std::to_string(number);
      auto result = http.Post("/api/scores", json{{"name", name}, {"replay", encodeBase64(replay)}}.dump(), "application/json");
      if (!result) std::this_thread::sleep_for(kPauseAfterFailure);
      std::lock_guard<std::mutex> lock(tally.mutex);
      if (!result) {
        noteUnanswered(tally, "a submission", httplib::to_string(result.error()));
        continue;
      }
      ++tally.statuses[std::clamp(result->status, 0, 599)];
      const json answer = json::parse(result->body, nullptr, false);
      if (result->status == 201 || result->status == 200) {
        if (isForged) ++tally.forgedAccepted;
        if (!isForged) tally.answeredValid.insert(answer.value("id", std::int64_t{0}));
        if (!isForged && answeredFile != nullptr) {
          std::fprintf(answeredFile, "%lld\n", static_cast<long long>(answer.value("id", std::int64_t{0})));
          std::fflush(answeredFile);
        }
        if (result->status == 201) ++tally.played;
      } else if (result->status == 422) {
        ++(isDamaged ? tally.damaged : tally.played);
      }
    }
  };
  const auto started = Clock::now();
  std::vector<std::thread> threads;
  for (std::int32_t number = 0; number < clients; ++number) threads.emplace_back(client, number);
  for (std::thread& thread : threads) thread.join();
  const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();

  std::int64_t submissions = 0;
  for (std::int64_t count : tally.statuses) submissions += count;
  const auto printStatuses = [&] {
    std::printf("submissions answered: %lld (%.1f a second):", static_cast<long long>(submissions),
                static_cast<double>(submissions) / elapsed);
    for (int status = 0; status < 600; ++status) {
      if (tally.statuses[status] != 0) std::printf(" %d x%lld", status, static_cast<long long>(tally.statuses[status]));
    }
    std::printf("\n");
  };
  if (answeredFile != nullptr) {
    std::fclose(answeredFile);
    printStatuses();
    std::printf("answered valid submissions: %zu, unanswered requests: %lld\n", tally.answeredValid.size(),
                static_cast<long long>(tally.unanswered));
    return 0;
  }

  // Afterwards: every answered submission is listed, and no forged one.
  auto connection = connect();
  httplib::Client& http = *connection;
  std::set<std::int64_t> listed;
  std::int64_t forgedListed = 0;
  for (std::string path = "/api/scores?limit=100";;) {
    auto result = http.Get(path.c_str());
    if (!result || result->status != 200) break;
    const json page = json::parse(result->body);
    for (const json& entry : page["scores"]) {
      listed.insert(entry["id"].get<std::int64_t>());
      if (entry["name"].get<std::string>()[0] == 'F') ++forgedListed;
    }
    if (!page["next"].is_string()) break;
    path = "/api/scores?limit=100&after=" + page["next"].get<std::string>();
  }
  std::int64_t missing = 0;
  for (std::int64_t id : tally.answeredValid) missing += listed.count(id) == 0;

  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  std::printf("%d clients for %.1f s\n", clients, elapsed);
  printStatuses();
  std::printf("games verified (valid and forged, played through): %lld, %.1f a second per core (%u cores)\n",
              static_cast<long long>(tally.played), static_cast<double>(tally.played) / elapsed / cores, cores);
  std::printf("damaged files refused by a verifier: %lld\n", static_cast<long long>(tally.damaged));
  std::printf("list requests: %zu, median %.2f ms, 99th percentile %.2f ms\n", tally.listMilliseconds.size(),
              percentile(tally.listMilliseconds, 0.5), percentile(tally.listMilliseconds, 0.99));
  std::printf("unanswered requests: %lld\n", static_cast<long long>(tally.unanswered));
  std::printf("answered valid submissions: %zu, missing from the list afterwards: %lld\n", tally.answeredValid.size(),
              static_cast<long long>(missing));
  std::printf("forged or damaged accepted: %lld, listed: %lld\n", static_cast<long long>(tally.forgedAccepted),
              static_cast<long long>(forgedListed));
  return missing == 0 && tally.forgedAccepted == 0 && forgedListed == 0 ? 0 : 1;
}
