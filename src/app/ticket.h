// The leaderboard's ticket for the next game: handed in by whatever talks to the board (a request
// in the background on the desktop, the page in the browser), taken by the game as one starts.
// A ticket is kTicketSize bytes, as the board deals them:
//   offset  size
//        0     4  seed the game's random sequence starts from (little-endian)
//        4     8  when the board issued it (signed, seconds since 1970-01-01 UTC, little-endian)
//       12    32  the board's HMAC-SHA256 of the 12 bytes before it
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr std::size_t kTicketSize = 44;  // bytes

// Holds `ticket` for the next game, in place of any held before; a ticket of another size is
// not held. Safe from any thread.
void holdBoardTicket(const std::uint8_t* ticket, std::size_t size);
// Moves the held ticket, if any, into `ticket`: each ticket is played once. Safe from any thread.
bool takeBoardTicket(std::vector<std::uint8_t>& ticket);
// Reads text in base64url without padding, as the board writes a ticket in JSON, into `bytes`;
// false for any other character, or for bits left over that no whole byte takes.
bool decodeBase64Url(const std::string& text, std::vector<std::uint8_t>& bytes);
// The seed a ticket deals.
std::uint32_t ticketSeed(const std::vector<std::uint8_t>& ticket);
// When the board issued it, in seconds since 1970 UTC; 0 for a ticket of another size.
std::int64_t ticketIssuedAt(const std::vector<std::uint8_t>& ticket);
// Tells the page that a game is over (as its game-over screen opens), and whether it was played
// on a ticket, so that it asks the board for the next game's; nothing on the desktop.
void reportGameOverToPage(bool ticketed);
