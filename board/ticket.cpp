// Tickets: the key file, issuing and checking.
#include "ticket.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "app/ticket.h"
#include "game/replay.h"
#include "submission.h"

namespace {

constexpr std::size_t kSignedSize = 12;  // the seed and the time of issue
constexpr std::int32_t kFramesPerSecond = 40;
static_assert(kSignedSize + 32 == kTicketSize, "a ticket is its fields and their HMAC-SHA256");

bool randomBytes(void* data, std::size_t size) {
  char* bytes = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t got = getrandom(bytes, size, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    bytes += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

std::string signatureOf(const std::string& key, const std::string& fields) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(fields.data()),
       fields.size(), digest, &size);
  return std::string(reinterpret_cast<const char*>(digest), size);
}

std::string readKey(int file) {
  std::string key(kTicketKeySize + 1, '\0');
  std::size_t got = 0;
  while (got < key.size()) {
    const ssize_t read = ::read(file, &key[got], key.size() - got);
    if (read < 0 && errno == EINTR) continue;
    if (read <= 0) break;
    got += static_cast<std::size_t>(read);
  }
  key.resize(got);
  return key;
}

}  // namespace

std::string loadTicketKey(const std::string& path, std::string& key) {
  int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0 && errno == ENOENT) {
    // Written whole under another name and then linked into place, so that a board starting at
    // the same moment reads either no key or the whole of one.
    std::string made(kTicketKeySize, '\0');
    if (!randomBytes(&made[0], made.size())) return "no random bytes for the ticket key: " + std::string(std::strerror(errno));
    const std::string draft = path + ".new-" + std::to_string(getpid());
    const int out = open(draft.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) return "cannot make the ticket key " + draft + ": " + std::strerror(errno);
    const bool written = write(out, made.data(), made.size()) == static_cast<ssize_t>(made.size()) && fsync(out) == 0;
    close(out);
    const bool linked = written && (link(draft.c_str(), path.c_str()) == 0 || errno == EEXIST);
    const int linkError = errno;
    unlink(draft.c_str());
    if (!linked) return "cannot make the ticket key " + path + ": " + std::strerror(written ? linkError : EIO);
    file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  }
  if (file < 0) return "cannot read the ticket key " + path + ": " + std::strerror(errno);
  key = readKey(file);
  close(file);
  if (key.size() != kTicketKeySize) {
    return "the ticket key " + path + " is not " + std::to_string(kTicketKeySize) + " bytes long";
  }
  return "";
}

std::string issueTicket(const std::string& key, std::int64_t now) {
  std::uint32_t seed = 0;
  if (!randomBytes(&seed, sizeof seed)) return "";
  std::string fields;
  for (std::int32_t shift = 0; shift < 32; shift += 8) fields += static_cast<char>(seed >> shift);
  for (std::int32_t shift = 0; shift < 64; shift += 8) fields += static_cast<char>(static_cast<std::uint64_t>(now) >> shift);
  return fields + signatureOf(key, fields);
}

std::uint32_t ticketSeedOf(const std::string& ticket) {
  return ticketSeed(std::vector<std::uint8_t>(ticket.begin(), ticket.end()));
}

std::int64_t ticketIssuedAt(const std::string& ticket) {
  std::uint64_t issued = 0;
  for (std::size_t at = 0; at < 8 && 4 + at < ticket.size(); ++at) {
    issued |= static_cast<std::uint64_t>(static_cast<std::uint8_t>(ticket[4 + at])) << (8 * at);
  }
  return static_cast<std::int64_t>(issued);
}

std::string ticketSignature(const std::string& ticket) { return ticket.size() < kSignedSize ? "" : ticket.substr(kSignedSize); }

std::string ticketRefusal(const std::string& key, const Replay& replay, std::int64_t now, std::int64_t lifetime) {
  const std::string ticket(replay.ticket.begin(), replay.ticket.end());
  if (ticket.size() != kTicketSize) return "the ticket is damaged";
  const std::string expected = signatureOf(key, ticket.substr(0, kSignedSize));
  if (CRYPTO_memcmp(expected.data(), ticket.data() + kSignedSize, expected.size()) != 0) {
    return "the ticket was not issued by this board";
  }
  const std::int64_t age = now - ticketIssuedAt(ticket);
  if (age > lifetime) {
    return "the ticket has expired: a ticket is good for " + std::to_string(lifetime) + " s after it is issued";
  }
  // A game takes its frames at 40 a second; a clock tick either side and a frame clock that runs
  // a little fast make the margin.
  const std::int64_t playTime = static_cast<std::int64_t>(replay.actions.size()) / kFramesPerSecond;
  if (age < playTime - kTicketPlayMargin - playTime / 20) {
    return "the game arrived " + std::to_string(age) + " s after its ticket, sooner than its " +
           std::to_string(replay.actions.size()) + " frames can be played (" + std::to_string(playTime) + " s)";
  }
  return "";
}

std::string encodeBase64Url(const std::string& bytes) {
  std::string text = encodeBase64(bytes);
  while (!text.empty() && text.back() == '=') text.pop_back();
  for (char& c : text) {
    if (c == '+') c = '-';
    if (c == '/') c = '_';
  }
  return text;
}
