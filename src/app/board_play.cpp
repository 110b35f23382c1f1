// The board thread: the only thread of the game's own besides the game's, touching nothing of the
// game but the held ticket and the board mailbox.
#include "app/board_play.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "app/board_http.h"
#include "app/board_mailbox.h"
#include "app/submit.h"
#include "app/ticket.h"

namespace {

std::thread gBoardThread;
std::atomic<bool> gBoardStopping{false};
std::string gBoardUrl;
std::string gBoardName;
// When the held ticket is replaced: at nine tenths of its lifetime, as the page does.
std::chrono::steady_clock::time_point gTicketRenewal = std::chrono::steady_clock::time_point::max();
constexpr double kTicketRenewal = 0.9;

void printLine(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

// Seconds since 1970 of a board's date ("2026-12-08T13:09:28Z"); 0 when it is not one.
std::int64_t parseBoardDate(const std::string& text) {
  std::tm parts{};
  char zone = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &parts.tm_year, &parts.tm_mon, &parts.tm_mday,
                  &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &zone) != 7 || zone != 'Z') {
    return 0;
  }
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  return static_cast<std::int64_t>(timegm(&parts));
}

// The ticket's lifetime by the board's own clock: from its issue, written in the ticket, to the
// answer's "expires".
void scheduleRenewal(const std::vector<std::uint8_t>& ticket, const nlohmann::json& answer) {
  const auto expires = answer.find("expires");
  if (expires == answer.end() || !expires->is_string()) return;
  const std::int64_t lifetime = parseBoardDate(expires->get<std::string>()) - ticketIssuedAt(ticket);
  if (lifetime <= 0) return;
  gTicketRenewal = std::chrono::steady_clock::now() +
                   std::chrono::milliseconds(static_cast<std::int64_t>(static_cast<double>(lifetime) * kTicketRenewal * 1000));
}

void askForTicket() {
  BoardExchange exchange;
  exchangeWithBoard(gBoardUrl.c_str(), "/api/tickets", "", &gBoardStopping, exchange);
  if (gBoardStopping) return;
  const std::string board = printableText(gBoardUrl);
  if (!exchange.answered) {
    printLine("No leaderboard answered at " + board + ": " + exchange.failure + ".");
    return;
  }
  const nlohmann::json answer = nlohmann::json::parse(exchange.body, nullptr, false);
  const auto ticket = answer.is_object() ? answer.find("ticket") : answer.end();
  const auto seed = answer.is_object() ? answer.find("seed") : answer.end();
  std::vector<std::uint8_t> bytes;
  if (exchange.status == 201 && ticket != answer.end() && ticket->is_string() && seed != answer.end() &&
      seed->is_number_unsigned() && decodeBase64Url(ticket->get<std::string>(), bytes) && bytes.size() == kTicketSize &&
      ticketSeed(bytes) == seed->get<std::uint64_t>()) {
    holdBoardTicket(bytes.data(), bytes.size());
    scheduleRenewal(bytes, answer);
    return;
  }
  const auto error = answer.is_object() ? answer.find("error") : answer.end();
  if (exchange.status >= 400 && error != answer.end() && error->is_string()) {
    printLine("The board gave no ticket: " + printableText(error->get<std::string>()) + ".");
  } else {
    printLine("The address " + board + " answered " + std::to_string(exchange.status) + ", not as a leaderboard does.");
  }
}

void sendGame(const BoardJob& job) {
  if (job.replay.empty()) return;  // a game too long to keep its replay
  if (!job.onTicket) {
    printLine("Not sent to the board: the game started without its ticket.");
    postBoardLine(job.game, "On the board: no ticket, not sent");
    return;
  }
  BoardExchange exchange;
  exchangeWithBoard(gBoardUrl.c_str(), "/api/scores", scoreSubmission(gBoardName.c_str(), job.replay), nullptr,
                    exchange);
  std::string line;
  std::string screenLine;
  readScoreAnswer(gBoardUrl.c_str(), exchange, line, screenLine);
  printLine(line);
  postBoardLine(job.game, screenLine);
}

void runBoardThread() {
  BoardJob job;
  while (takeBoardJob(job, gTicketRenewal)) {
    if (job.ticket) {
      gTicketRenewal = std::chrono::steady_clock::time_point::max();
      askForTicket();
    } else {
      sendGame(job);
    }
  }
}

}  // namespace

void startBoardPlay(const char* boardUrl, const char* name) {
  std::string why;
  if (!boardClientLoads(why)) {  // said once; the game plays on as it does without a board
    printLine("The leaderboard is off, " + why + ": the game plays offline.");
    return;
  }
  gBoardUrl = boardUrl;
  gBoardName = name != nullptr ? name : "";
  gBoardStopping = false;
  openBoardMailbox(name != nullptr);
  gBoardThread = std::thread(runBoardThread);
}

void stopBoardPlay() {
  if (!gBoardThread.joinable()) return;
  gBoardStopping = true;
  closeBoardMailbox();
  gBoardThread.join();
}
