// One request to a leaderboard over HTTP or HTTPS (libcurl, loaded on the first), and the board's texts made safe to
// print. Desktop only: the page in the browser talks to its board itself.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

constexpr long kBoardConnectTimeout = 10000;     // milliseconds to reach the board, TLS included
constexpr long kBoardExchangeTimeout = 30000;    // milliseconds for the whole request and answer
constexpr std::size_t kBoardAnswerMax = 65536;   // bytes of an answer's body; a longer one is no board's
constexpr std::size_t kBoardTextMax = 200;       // characters of a board's text that are printed

struct BoardExchange {
  bool answered = false;   // false when no board answered: `failure` says why
  long status = 0;         // the answer's HTTP status
  std::string body;        // the answer's body
  std::string failure;     // e.g. "the name does not resolve"
};

// POSTs `body` (JSON; may be empty) to `boardUrl` followed by `path` ("/api/scores"). Trusts the
// system's certificates, or only those of the PEM file that SSL_CERT_FILE names, and follows
// redirects to https only. Gives up when `abandon` (may be null) turns true.
void exchangeWithBoard(const char* boardUrl, const char* path, const std::string& body,
                       const std::atomic<bool>* abandon, BoardExchange& exchange);

// Whether the HTTP library can be loaded; when it cannot, `why` says so ("libcurl.so.4 is not
// installed"), and a request fails with the same words.
bool boardClientLoads(std::string& why);

// Whether `text` is valid UTF-8, as a name sent to the board must be.
bool isUtf8(const std::string& text);
// A text from the board as it may reach a terminal: valid UTF-8 without control characters,
// escape sequences or the invisible marks that reorder text, cut at kBoardTextMax characters.
std::string printableText(const std::string& text);
