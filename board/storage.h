// The board's storage: verified scores with their replays, behind one narrow interface, so that
// a backend for a board that outgrows one machine can follow the SQLite one.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct StoredScore {
  std::int64_t id = 0;
  std::string name;
  std::int32_t score = 0;
  std::int64_t rank = 0;      // place among the listed entries, 1 for the best
  std::int64_t playedAt = 0;  // seconds since 1970 UTC
};

struct NewScore {
  std::string name;
  std::int32_t score = 0;            // as the board's own frames gave it
  std::uint32_t frames = 0;
  std::uint32_t rulesVersion = 0;
  std::uint32_t seed = 0;
  std::int64_t playedAt = 0;         // seconds since 1970 UTC
  std::int64_t submittedAt = 0;      // seconds since 1970 UTC
  std::string replayHash;            // SHA-256 of the replay's bytes
  std::string gameId;                // SHA-256 of what the game is (see gameIdentity): one entry per game
  std::string ticket;                // the signature of the board's ticket it was played on; "" for none
  std::string replay;                // the replay file's bytes
};

enum class AddOutcome : std::int32_t {
  kStored,      // a new entry
  kSameGame,    // the game is stored already: `entry` is the first one, nothing new is stored
  kTicketUsed,  // another game was stored on the same ticket: nothing is stored
};

// An entry as a whole, hidden or not, as it moves from one board's storage to another's.
struct EntryRecord {
  std::int64_t id = 0;
  bool hidden = false;
  NewScore score;  // gameId is "" for a later copy of a game that a schema upgrade hid
};

// Thrown when the storage itself fails (a full disk, a broken file); the request then fails with 500.
struct StorageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// Thrown while the database cannot be reached (a server down, a lock held too long): the request
// fails with 503 and Retry-After, and the storage tries again at the next request.
struct StorageUnavailable : StorageError {
  using StorageError::StorageError;
};

// Every method may be called from any thread at any time.
class ScoreStore {
 public:
  virtual ~ScoreStore() = default;
  // The entry stored for the game with this identity, hidden or not, if any.
  virtual bool findGame(const std::string& gameId, StoredScore& entry) = 0;
  // Whether an entry, hidden or not, was stored on the ticket with this signature.
  virtual bool ticketUsed(const std::string& ticket) = 0;
  // Stores a score durably before it returns, unless its game is stored already or its ticket
  // was used by another game. The identity and the ticket are unique in the database itself, so
  // two submissions at once (to two boards, say) cannot both store.
  virtual AddOutcome add(const NewScore& score, StoredScore& entry) = 0;
  // Entries that are not hidden, best first (an earlier entry before a later equal one), from
  // place offset + 1, with how many are listed in all, read at once.
  virtual std::vector<StoredScore> list(std::int32_t limit, std::int64_t offset, std::int64_t& total) = 0;
  // The same, from the first entry listed after the one with this score and id (which need not be
  // listed itself), in time that does not grow with the entries before it.
  virtual std::vector<StoredScore> listAfter(std::int32_t limit, std::int32_t score, std::int64_t id, std::int64_t& total) = 0;
  std::int64_t count() {
    std::int64_t total = 0;
    list(1, 0, total);
    return total;
  }
  // The replay of an entry that is not hidden.
  virtual bool replay(std::int64_t id, std::string& bytes) = 0;
  // Leaves the entry stored but takes it off the list. Returns whether there was one to hide.
  virtual bool hide(std::int64_t id) = 0;

  // Moving a board: up to `most` entries, hidden or not, with ids above `afterId`, by id.
  virtual std::vector<EntryRecord> entries(std::int64_t afterId, std::int32_t most) = 0;
  // Stores entries read from another board in one transaction, each under its own id when that
  // id is free here. An entry whose game (or replay) is stored already is left out, so a copy
  // run twice copies nothing twice. Returns how many were stored.
  virtual std::int64_t copyIn(const std::vector<EntryRecord>& entries) = 0;
};

constexpr std::int32_t kDefaultDatabaseConnections = 4;  // a PostgreSQL board's connections

// True for a PostgreSQL connection URL (postgresql:// or postgres://); anything else is a file.
bool isPostgresUrl(const std::string& where);
// Opens (creating or upgrading) the SQLite database at `path`. Throws StorageError.
std::unique_ptr<ScoreStore> openSqliteStore(const std::string& path);
// Opens the PostgreSQL database at `url` with at most `connections` connections, creating or
// upgrading its schema. A server that cannot be reached yet is not an error: every call throws
// StorageUnavailable until it answers. Throws StorageError for anything else.
std::unique_ptr<ScoreStore> openPostgresStore(const std::string& url, std::int32_t connections);
// Either, as `where` names it.
std::unique_ptr<ScoreStore> openStore(const std::string& where, std::int32_t connections);
