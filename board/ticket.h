// The board's tickets: a fresh seed for every game, signed by the board, good for one entry. A
// ticket is the 44 bytes of src/app/ticket.h; clients carry it as base64url.
#pragma once

#include <cstdint>
#include <string>

struct Replay;

constexpr std::int64_t kDefaultTicketLifetime = 24 * 60 * 60;  // seconds a ticket stays good
constexpr std::size_t kTicketKeySize = 32;                     // bytes of the board's key
constexpr std::int64_t kTicketPlayMargin = 2;                  // seconds a game may seem to be early by

// Reads the key at `path` into `key`, first making it (random bytes readable by its owner alone)
// when there is none. Boards that share the file share the key. Returns "" or the reason it failed.
std::string loadTicketKey(const std::string& path, std::string& key);
// A new ticket, issued `now`, with a seed from the system's random source.
std::string issueTicket(const std::string& key, std::int64_t now);
std::uint32_t ticketSeedOf(const std::string& ticket);
std::int64_t ticketIssuedAt(const std::string& ticket);
// The reason the game `replay` cannot be stored on its ticket `now`, in one line; "" when it can.
// `replay` is as decodeReplay read it, which refuses a file whose seed or draws are not its ticket's.
std::string ticketRefusal(const std::string& key, const Replay& replay, std::int64_t now, std::int64_t lifetime);
// The ticket's own part that no other ticket shares: its signature.
std::string ticketSignature(const std::string& ticket);
// Base64url without padding, as tickets travel in JSON.
std::string encodeBase64Url(const std::string& bytes);
