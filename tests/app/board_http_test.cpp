// The board's texts as they reach a terminal: escape sequences of each kind removed whole, controls
// and invisible marks dropped, bytes that are not UTF-8 replaced, and the cut at kBoardTextMax;
// tickets' text; what a refusal's status means, and which game's answer the game-over screen shows.
#include "app/board_http.h"
#include "app/board_mailbox.h"
#include "app/board_play.h"
#include "app/submit.h"
#include "app/ticket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <csignal>
#include <ctime>
#include <thread>

#include "support/harness.h"

namespace {

TEST(PrintableText, KeepsUtf8AndDropsEscapesControlsAndMarksUpToItsLimit) {
  const std::string bad = "\xef\xbf\xbd", atLimit(kBoardTextMax - 1, 'a');
  const std::pair<std::string, std::string> cases[] = {
      {"\x1b[1;31mred\x1b[0m", "red"},
      {"\x1b[?25lhidden cursor", "hidden cursor"},
      {"\xc2\x9b" "2Jcleared", "cleared"},                  // the one-character CSI
      {"\x1b]0;title\x07kept", "kept"},                      // OSC to BEL
      {"\x1b]8;;http://x\x1b\\link\x1b]8;;\x1b\\", "link"},  // OSC to ESC backslash
      {"\xc2\x9d" "0;title\xc2\x9ckept", "kept"},            // OSC to the one-character ST
      {"\x1bPq#0;2;0;0;0\x1b\\sixel", "sixel"},              // DCS
      {"\x1b(Bcharset", "charset"},
      {"end\x1b", "end"},
      {"a\tb\r\nc", "a b  c"},
      {"bell\x07 del\x7f nel\xc2\x85", "bell del nel"},
      {"\xe2\x80\xaereversed\xe2\x81\xa6", "reversed"},      // U+202E, U+2066
      {"Zo\xc3\xab \xe6\xbc\xa2 \xf0\x9f\x90\xa6", "Zo\xc3\xab \xe6\xbc\xa2 \xf0\x9f\x90\xa6"},
      {"a\xff" "b", "a" + bad + "b"},
      {"\xc0\xaf", bad + bad},              // an overlong '/'
      {"\xed\xa0\x80", bad + bad + bad},    // a surrogate
      {"cut \xe6\xbc", "cut " + bad + bad},
      {atLimit + "\xc3\xab", atLimit + "\xc3\xab"},
      {atLimit + "\xc3\xab" + "b", atLimit + "\xc3\xab" + "\xe2\x80\xa6"},
      {"\x1b[0m" + atLimit + "b", atLimit + "b"}};  // removed characters do not count
  for (const auto& [text, printed] : cases) EXPECT_EQ(printableText(text), printed) << printed;
  EXPECT_TRUE(isUtf8("Zo\xc3\xab"));
  EXPECT_FALSE(isUtf8("Zo\xeb"));
}

}  // namespace

// A ticket's text is base64url of whole bytes: leftover bits are fewer than a character's and zero.
TEST(TicketText, IsBase64UrlOfWholeBytes) {
  const std::pair<const char*, bool> cases[] = {{"QUJD", true}, {"QUI", true}, {"QQ", true}, {"", true},
                                                {"A", false}, {"QUJDA", false}, {"QR", false}, {"QUJ+", false}};
  for (const auto& [text, whole] : cases) {
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(decodeBase64Url(text, bytes), whole) << text;
  }
}

// A front answers 5xx for a board that is down (but 503, as a busy board does), with its own reason.
TEST(BoardAnswer, ARefusalsStatusTellsRefusedBusyOrUnreachable) {
  const std::pair<long, std::int32_t> cases[] = {{400, kSubmitRefused}, {429, kSubmitTryLater}, {499, kSubmitRefused},
                                                 {500, kSubmitUnreachable}, {502, kSubmitUnreachable},
                                                 {503, kSubmitTryLater}, {504, kSubmitUnreachable}};
  for (const auto& [status, meaning] : cases) {
    std::string line, screenLine;
    EXPECT_EQ(readScoreAnswer("http://b", {true, status, R"({"error": "no"})", ""}, line, screenLine), meaning) << status;
  }
}

// The line of a game answered after the next one ended is never shown under the next one.
TEST(BoardAnswer, TheScreenShowsOnlyTheLastEndedGamesLine) {
  openBoardMailbox(true);
  handGameToBoard({}, false);
  handGameToBoard({}, false);
  postBoardLine(1, "On the board: rank 9");
  EXPECT_STREQ(boardLine(), "");
  postBoardLine(2, "On the board: rank 3");
  EXPECT_STREQ(boardLine(), "On the board: rank 3");
  closeBoardMailbox();
}

// A listening socket on a free port of 127.0.0.1, and its "127.0.0.1:PORT".
int listenOnFreePort(std::string& host) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(listener, reinterpret_cast<sockaddr*>(&address), length);
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  listen(listener, 4);
  host = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  return listener;
}

// A ticket request answered by a server that deals a ticket of some size, with the seed it holds or
// another: only a whole ticket whose seed is the one said is held, and anything else is told.
TEST(BoardPlay, HoldsOnlyAWholeTicketOfTheSeedSaid) {
  const struct { std::string ticket; int seed; bool held; } cases[] = {
      {std::string(44, 'A') + "AAAAAAAAAAAAAAA", 0, true}, {std::string(58, 'A'), 0, false},  // 44 and 43 bytes
      {std::string(60, 'A'), 0, false}, {std::string(44, 'A') + "AAAAAAAAAAAAAAA", 1, false}};
  for (const auto& c : cases) {
    std::string host;
    const int listener = listenOnFreePort(host);
    std::thread server([&] {
      const int client = accept(listener, nullptr, nullptr);
      char request[4096];
      (void)!read(client, request, sizeof request);
      const std::string body = R"({"ticket": ")" + c.ticket + R"(", "seed": )" + std::to_string(c.seed) + "}";
      const std::string answer = "HTTP/1.1 201 Created\r\nContent-Type: application/json\r\nConnection: close\r\n"
                                 "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
      (void)!write(client, answer.data(), answer.size());
      close(client);
    });
    // What the board thread prints, read as it comes: it has answered once a ticket is held or a
    // line is printed.
    int printing[2];
    ASSERT_EQ(pipe2(printing, O_NONBLOCK), 0);
    std::fflush(stdout);
    const int terminal = dup(STDOUT_FILENO);
    dup2(printing[1], STDOUT_FILENO);
    startBoardPlay(("http://" + host).c_str(), nullptr);
    server.join();
    std::vector<std::uint8_t> ticket;
    std::string printed;
    bool held = false;
    for (int tries = 0; tries < 200 && !held && printed.find('\n') == std::string::npos; ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
      char bytes[256];
      const ssize_t count = read(printing[0], bytes, sizeof bytes);
      if (count > 0) printed.append(bytes, static_cast<std::size_t>(count));
      held = takeBoardTicket(ticket);
    }
    stopBoardPlay();
    dup2(terminal, STDOUT_FILENO);
    for (const int end : {terminal, printing[0], printing[1], listener}) close(end);
    EXPECT_EQ(held, c.held) << c.ticket.size();
    EXPECT_EQ(printed, c.held ? "" : "The address http://" + host + " answered 201, not as a leaderboard does.\n");
  }
}

#ifdef ZELLWORTH_BOARD_BINARY
// A ticket held unplayed is replaced before it expires, by the board's clock: a real board deals
// tickets good for 2 s, and the one held after 3.5 s was dealt after the first second.
TEST(BoardPlay, ReplacesAHeldTicketBeforeItExpires) {
  testing_support::enterFreshRunDirectory();
  std::string host;
  close(listenOnFreePort(host));
  const std::string url = "http://" + host;
  const char* argv[] = {ZELLWORTH_BOARD_BINARY, "--listen", host.c_str(), "--db", "board.db", "--ticket-lifetime", "2", nullptr};
  pid_t board = 0;
  ASSERT_EQ(posix_spawn(&board, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ), 0);
  BoardExchange exchange;
  for (int tries = 0; tries < 100 && !exchange.answered; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    exchangeWithBoard(url.c_str(), "/api/health", "", nullptr, exchange);
  }
  const std::int64_t start = std::time(nullptr);
  startBoardPlay(url.c_str(), nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(3500));
  std::vector<std::uint8_t> ticket;
  EXPECT_TRUE(takeBoardTicket(ticket));
  EXPECT_GE(ticketIssuedAt(ticket), start + 1);
  stopBoardPlay();
  kill(board, SIGTERM);
  waitpid(board, nullptr, 0);
}
#endif
