// The held ticket, behind a lock: the desktop's board requests run on a thread of their own.
#include "app/ticket.h"

#include <mutex>

namespace {

std::mutex gTicketMutex;
std::vector<std::uint8_t> gHeldTicket;  // empty while none is held

}  // namespace

void holdBoardTicket(const std::uint8_t* ticket, std::size_t size) {
  if (ticket == nullptr || size != kTicketSize) return;
  std::lock_guard<std::mutex> lock(gTicketMutex);
  gHeldTicket.assign(ticket, ticket + size);
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
