// The SQLite backend: one file in WAL mode, every write a transaction that takes the lock at once
// and is synced before it is answered, its schema versioned in PRAGMA user_version.
#include <sqlite3.h>

#include <mutex>

#include "game/replay.h"
#include "storage.h"
#include "submission.h"

namespace {

constexpr std::int32_t kBusyTimeout = 5000;  // milliseconds a statement waits for another writer

void identifyStoredGames(sqlite3* db);

// Each entry of this list upgrades the schema by one version, its statements first and then its
// work on the rows; user_version counts those applied.
struct SchemaStep {
  const char* sql;
  void (*rows)(sqlite3* db);
};
const SchemaStep kSchemaSteps[] = {
    {"CREATE TABLE scores ("
    "  id INTEGER PRIMARY KEY,"
    "  name TEXT NOT NULL,"
    "  score INTEGER NOT NULL,"
    "  frames INTEGER NOT NULL,"
    "  rules_version INTEGER NOT NULL,"
    "  seed INTEGER NOT NULL,"
    "  played_at INTEGER NOT NULL,"
    "  submitted_at INTEGER NOT NULL,"
    "  replay_hash BLOB NOT NULL UNIQUE,"
    "  replay BLOB NOT NULL,"
    "  hidden INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX scores_by_rank ON scores (hidden, score DESC, id);", nullptr},
    // Entries are one per game, and one per ticket: the identity of the games stored before is
    // computed from their replays.
    {"ALTER TABLE scores ADD COLUMN game_id BLOB;"
     "ALTER TABLE scores ADD COLUMN ticket BLOB;", identifyStoredGames},
};
constexpr std::int32_t kSchemaVersion = sizeof kSchemaSteps / sizeof kSchemaSteps[0];

const char* const kRankOf =
    "SELECT 1 + (SELECT count(*) FROM scores WHERE hidden = 0 AND (score > s.score OR (score = s.score AND id < s.id)))"
    " FROM scores AS s WHERE s.id = ?";

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) fail();
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& bind(int index, std::int64_t value) {
    if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK) fail();
    return *this;
  }
  Statement& bindText(int index, const std::string& text) {
    if (sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) != SQLITE_OK) fail();
    return *this;
  }
  Statement& bindNull(int index) {
    if (sqlite3_bind_null(statement_, index) != SQLITE_OK) fail();
    return *this;
  }
  Statement& bindBlob(int index, const std::string& bytes) {
    if (sqlite3_bind_blob(statement_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT) != SQLITE_OK) fail();
    return *this;
  }
  // True while there is a row.
  bool step() {
    const int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW) return true;
    if (result != SQLITE_DONE) fail();
    return false;
  }
  std::int64_t integer(int column) { return sqlite3_column_int64(statement_, column); }
  std::string text(int column) {
    const void* data = sqlite3_column_blob(statement_, column);
    return data == nullptr ? std::string() : std::string(static_cast<const char*>(data), sqlite3_column_bytes(statement_, column));
  }

 private:
  [[noreturn]] void fail() { throw StorageError(std::string("database: ") + sqlite3_errmsg(db_)); }
  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
};

void execute(sqlite3* db, const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string text = message != nullptr ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    throw StorageError("database: " + text);
  }
}

// Gives every stored entry its game's identity. A game stored more than once under different
// bytes (a copy with another date, say) keeps its first entry; the later copies are hidden and
// left without an identity, so the identity can be unique.
void identifyStoredGames(sqlite3* db) {
  std::vector<std::pair<std::int64_t, std::string>> identities;
  {
    Statement rows(db, "SELECT id, replay FROM scores ORDER BY id");
    while (rows.step()) {
      const std::string bytes = rows.text(1);
      Replay replay;
      const ReplayProblem problem =
          decodeReplay(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), replay);
      // A stored replay was verified when it came; one of older rules is still that game.
      if (problem != ReplayProblem::kNone && problem != ReplayProblem::kUnknownRules) {
        throw StorageError("database: entry " + std::to_string(rows.integer(0)) + " holds a damaged replay");
      }
      identities.emplace_back(rows.integer(0), gameIdentity(replay));
    }
  }
  for (const auto& [id, gameId] : identities) {
    Statement first(db, "SELECT 1 FROM scores WHERE game_id = ?");
    first.bindBlob(1, gameId);
    if (first.step()) {
      Statement copy(db, "UPDATE scores SET hidden = 1 WHERE id = ?");
      copy.bind(1, id).step();
    } else {
      Statement identify(db, "UPDATE scores SET game_id = ? WHERE id = ?");
      identify.bindBlob(1, gameId).bind(2, id).step();
    }
  }
  execute(db,
          "CREATE UNIQUE INDEX scores_by_game ON scores (game_id);"
          "CREATE UNIQUE INDEX scores_by_ticket ON scores (ticket);");
}

sqlite3* openConnection(const std::string& path) {
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    const std::string message = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    throw StorageError("cannot open the database " + path + ": " + message);
  }
  sqlite3_busy_timeout(db, kBusyTimeout);
  sqlite3_extended_result_codes(db, 1);
  try {
    // synchronous=FULL: a commit is on disk before it returns, so an answered submission outlives
    // a kill or a power cut.
    execute(db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL; PRAGMA foreign_keys = ON;");
  } catch (...) {
    sqlite3_close(db);
    throw;
  }
  return db;
}

// Creates the schema or brings it up to this build's version, in one transaction.
void upgradeSchema(sqlite3* db, const std::string& path) {
  execute(db, "BEGIN IMMEDIATE");
  try {
    Statement version(db, "PRAGMA user_version");
    version.step();
    const std::int64_t current = version.integer(0);
    if (current > kSchemaVersion) {
      throw StorageError(path + " was written by a newer board (schema version " + std::to_string(current) +
                         ", this board knows up to " + std::to_string(kSchemaVersion) + ")");
    }
    for (std::int64_t step = current; step < kSchemaVersion; ++step) {
      execute(db, kSchemaSteps[step].sql);
      if (kSchemaSteps[step].rows != nullptr) kSchemaSteps[step].rows(db);
    }
    execute(db, ("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
    execute(db, "COMMIT");
  } catch (...) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

class SqliteStore : public ScoreStore {
 public:
  explicit SqliteStore(const std::string& path) {
    writer_ = openConnection(path);
    try {
      upgradeSchema(writer_, path);
      reader_ = openConnection(path);
    } catch (...) {
      sqlite3_close(writer_);
      throw;
    }
  }
  ~SqliteStore() override {
    sqlite3_close(reader_);
    sqlite3_close(writer_);
  }

  bool findGame(const std::string& gameId, StoredScore& entry) override {
    std::lock_guard<std::mutex> lock(readerMutex_);
    return findIn(reader_, gameId, entry);
  }

  AddOutcome add(const NewScore& score, StoredScore& entry) override {
    std::lock_guard<std::mutex> lock(writerMutex_);
    execute(writer_, "BEGIN IMMEDIATE");
    try {
      AddOutcome outcome = AddOutcome::kStored;
      if (findIn(writer_, score.gameId, entry)) {
        outcome = AddOutcome::kSameGame;
      } else if (!score.ticket.empty() && ticketUsed(score.ticket)) {
        outcome = AddOutcome::kTicketUsed;
      } else {
        Statement insert(writer_,
                         "INSERT INTO scores (name, score, frames, rules_version, seed, played_at, submitted_at, "
                         "replay_hash, replay, game_id, ticket) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        insert.bindText(1, score.name).bind(2, score.score).bind(3, score.frames).bind(4, score.rulesVersion);
        insert.bind(5, score.seed).bind(6, score.playedAt).bind(7, score.submittedAt);
        insert.bindBlob(8, score.replayHash).bindBlob(9, score.replay).bindBlob(10, score.gameId);
        if (score.ticket.empty()) {
          insert.bindNull(11);
        } else {
          insert.bindBlob(11, score.ticket);
        }
        insert.step();
        entry.id = sqlite3_last_insert_rowid(writer_);
        entry.name = score.name;
        entry.score = score.score;
        entry.playedAt = score.playedAt;
        entry.rank = rankIn(writer_, entry.id);
      }
      execute(writer_, "COMMIT");
      return outcome;
    } catch (...) {
      sqlite3_exec(writer_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  std::int64_t count() override {
    std::lock_guard<std::mutex> lock(readerMutex_);
    Statement statement(reader_, "SELECT count(*) FROM scores WHERE hidden = 0");
    statement.step();
    return statement.integer(0);
  }

  std::vector<StoredScore> list(std::int32_t limit, std::int64_t offset) override {
    std::lock_guard<std::mutex> lock(readerMutex_);
    Statement statement(reader_,
                        "SELECT id, name, score, played_at FROM scores WHERE hidden = 0 "
                        "ORDER BY score DESC, id LIMIT ? OFFSET ?");
    statement.bind(1, limit).bind(2, offset);
    std::vector<StoredScore> entries;
    while (statement.step()) {
      StoredScore entry;
      entry.id = statement.integer(0);
      entry.name = statement.text(1);
      entry.score = static_cast<std::int32_t>(statement.integer(2));
      entry.playedAt = statement.integer(3);
      entry.rank = offset + static_cast<std::int64_t>(entries.size()) + 1;
      entries.push_back(entry);
    }
    return entries;
  }

  bool replay(std::int64_t id, std::string& bytes) override {
    std::lock_guard<std::mutex> lock(readerMutex_);
    Statement statement(reader_, "SELECT replay FROM scores WHERE id = ? AND hidden = 0");
    statement.bind(1, id);
    if (!statement.step()) return false;
    bytes = statement.text(0);
    return true;
  }

  bool hide(std::int64_t id) override {
    std::lock_guard<std::mutex> lock(writerMutex_);
    execute(writer_, "BEGIN IMMEDIATE");
    try {
      Statement statement(writer_, "UPDATE scores SET hidden = 1 WHERE id = ? AND hidden = 0");
      statement.bind(1, id).step();
      const bool changed = sqlite3_changes(writer_) > 0;
      execute(writer_, "COMMIT");
      return changed;
    } catch (...) {
      sqlite3_exec(writer_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

 private:
  bool ticketUsed(const std::string& ticket) {
    Statement statement(writer_, "SELECT 1 FROM scores WHERE ticket = ?");
    statement.bindBlob(1, ticket);
    return statement.step();
  }

  static bool findIn(sqlite3* db, const std::string& gameId, StoredScore& entry) {
    Statement statement(db, "SELECT id, name, score, played_at FROM scores WHERE game_id = ?");
    statement.bindBlob(1, gameId);
    if (!statement.step()) return false;
    entry.id = statement.integer(0);
    entry.name = statement.text(1);
    entry.score = static_cast<std::int32_t>(statement.integer(2));
    entry.playedAt = statement.integer(3);
    entry.rank = rankIn(db, entry.id);
    return true;
  }

  static std::int64_t rankIn(sqlite3* db, std::int64_t id) {
    Statement statement(db, kRankOf);
    statement.bind(1, id);
    return statement.step() ? statement.integer(0) : 0;
  }

  // One connection writes and one reads, each used by one thread at a time; in WAL mode the
  // reader is never held up by a write under way.
  sqlite3* writer_ = nullptr;
  sqlite3* reader_ = nullptr;
  std::mutex writerMutex_;
  std::mutex readerMutex_;
};

}  // namespace

std::unique_ptr<ScoreStore> openSqliteStore(const std::string& path) { return std::make_unique<SqliteStore>(path); }
