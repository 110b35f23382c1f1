// The board thread: the only thread of the game's own besides the game's, touching nothing of the
// game but the held ticket and the board mailbox.
#include "app/board_play.h"

#include <atomic>
#include <cstdio>
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

void printLine(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
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
  while (takeBoardJob(job)) {
    if (job.ticket) {
      askForTicket();
    } else {
      sendGame(job);
    }
  }
}

}  // namespace

void startBoardPlay(const char* boardUrl, const char* name) {
  gBoardUrl = boardUrl;
  gBoardName = name != nullptr ? name : "";
  openBoardMailbox(name != nullptr);
  gBoardThread = std::thread(runBoardThread);
}

void stopBoardPlay() {
  if (!gBoardThread.joinable()) return;
  gBoardStopping = true;
  closeBoardMailbox();
  gBoardThread.join();
}
