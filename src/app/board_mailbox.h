// The hand-over between the game and the desktop's board thread (--board): each game that ends,
// to be sent, and the board's answer for the game-over screen. While no board thread has opened
// it, nothing is queued and the screen's line stays empty.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct BoardJob {
  bool ticket;                       // ask for a ticket for the next game; otherwise send `replay`
  std::uint32_t game;                // which ended game `replay` is, counted from 1
  std::vector<std::uint8_t> replay;  // the ended game's replay file; empty when none was kept
  bool onTicket;                     // the ended game was played on the board's ticket
};

// The game's side. Hands the game that just ended (its replay file, empty when none was kept;
// whether it was played on a ticket) to the board thread, with a request for the next game's
// ticket.
void handGameToBoard(const std::vector<std::uint8_t>& replay, bool onTicket);
// The board's answer for the game that ended last, such as "On the board: rank 12"; empty until
// it arrives.
const char* boardLine();

// The board thread's side. Opens the mailbox with a ticket request queued; `sendGames` queues
// each ended game too (--name).
void openBoardMailbox(bool sendGames);
// Waits for the next job, or until `renewal`, which brings a ticket request of its own (the held
// ticket is replaced before it expires). False once the mailbox is closed and no game is left to
// send.
bool takeBoardJob(BoardJob& job, std::chrono::steady_clock::time_point renewal =
                                     std::chrono::steady_clock::time_point::max());
// The line for `game`; kept only while no later game has ended.
void postBoardLine(std::uint32_t game, const std::string& line);
// Drops the ticket requests still queued (a game still queued is sent) and empties the line.
void closeBoardMailbox();
