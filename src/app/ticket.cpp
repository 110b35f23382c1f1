// The held ticket, behind a lock: the desktop's board requests run on a thread of their own.
#include "app/ticket.h"

#include <mutex>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

namespace {

std::mutex gTicketMutex;
std::vector<std::uint8_t> gHeldTicket;  // empty while none is held

}  // namespace

void holdBoardTicket(const std::uint8_t* ticket, std::size_t size) {
  if (ticket == nullptr || size != kTicketSize) return;
  std::lock_guard<std::mutex> lock(gTicketMutex);
  gHeldTicket.assign(ticket, ticket + size);
}

bool decodeBase64Url(const std::string& text, std::vector<std::uint8_t>& bytes) {
  static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::uint32_t bits = 0;
  std::int32_t bitCount = 0;
  bytes.clear();
  for (const char character : text) {
    const std::size_t value = kAlphabet.find(character);
    if (value == std::string::npos) return false;
    bits = (bits << 6 | static_cast<std::uint32_t>(value)) & 0xFFFFFF;
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      bytes.push_back(static_cast<std::uint8_t>(bits >> bitCount));
    }
  }
  return bitCount < 6 && (bits & ((1u << bitCount) - 1)) == 0;
}

bool takeBoardTicket(std::vector<std::uint8_t>& ticket) {
  std::lock_guard<std::mutex> lock(gTicketMutex);
  if (gHeldTicket.empty()) return false;
  ticket.swap(gHeldTicket);
  gHeldTicket.clear();
  return true;
}

std::uint32_t ticketSeed(const std::vector<std::uint8_t>& ticket) {
  if (ticket.size() < 4) return 0;
  return static_cast<std::uint32_t>(ticket[0]) | static_cast<std::uint32_t>(ticket[1]) << 8 |
         static_cast<std::uint32_t>(ticket[2]) << 16 | static_cast<std::uint32_t>(ticket[3]) << 24;
}

std::int64_t ticketIssuedAt(const std::vector<std::uint8_t>& ticket) {
  if (ticket.size() != kTicketSize) return 0;
  std::uint64_t issued = 0;
  for (std::size_t index = 12; index-- > 4;) issued = issued << 8 | ticket[index];
  return static_cast<std::int64_t>(issued);
}

#ifdef __EMSCRIPTEN__
namespace {
// The page asks the board (web/leaderboard.js) and hands the ticket back below.
EM_JS(void, tellPageGameOver, (int ticketed), {
  if (Module['onGameOver']) Module['onGameOver'](ticketed !== 0);
});
}  // namespace

void reportGameOverToPage(bool ticketed) { tellPageGameOver(ticketed ? 1 : 0); }

// The ticket the page got from the board, for the next game: `size` bytes at `ticket`.
extern "C" void holdBoardTicketFromPage(const std::uint8_t* ticket, std::int32_t size) {
  if (size > 0) holdBoardTicket(ticket, static_cast<std::size_t>(size));
}
#else
void reportGameOverToPage(bool) {}
#endif
