// The SQLite backend: one file in WAL mode, every write a transaction that takes the lock at once
// and is synced before it is answered, its schema versioned in PRAGMA user_version.
#include <sqlite3.h>

#include <mutex>

#include "storage.h"

namespace {

constexpr std::int32_t kBusyTimeout = 5000;  // milliseconds a statement waits for another writer

// Each entry of this list upgrades the schema by one version; user_version counts those applied.
const char* const kSchemaSteps[] = {
    "CREATE TABLE scores ("
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
    "CREATE INDEX scores_by_rank ON scores (hidden, score DESC, id);",
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
    for (std::int64_t step = current; step < kSchemaVersion; ++step) execute(db, kSchemaSteps[step]);
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

  bool findReplay(const std::string& replayHash, StoredScore& entry) override {
    std::lock_guard<std::mutex> lock(readerMutex_);
    return findIn(reader_, replayHash, entry);
  }

  bool add(const NewScore& score, StoredScore& entry) override {
    std::lock_guard<std::mutex> lock(writerMutex_);
    execute(writer_, "BEGIN IMMEDIATE");
    try {
      bool stored = false;
      if (!findIn(writer_, score.replayHash, entry)) {
        Statement insert(writer_,
                         "INSERT INTO scores (name, score, frames, rules_version, seed, played_at, submitted_at, "
                         "replay_hash, replay) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
        insert.bindText(1, score.name).bind(2, score.score).bind(3, score.frames).bind(4, score.rulesVersion);
        insert.bind(5, score.seed).bind(6, score.playedAt).bind(7, score.submittedAt);
        insert.bindBlob(8, score.replayHash).bindBlob(9, score.replay);
        insert.step();
        entry.id = sqlite3_last_insert_rowid(writer_);
        entry.name = score.name;
        entry.score = score.score;
        entry.playedAt = score.playedAt;
        entry.rank = rankIn(writer_, entry.id);
        stored = true;
      }
      execute(writer_, "COMMIT");
      return stored;
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
  static bool findIn(sqlite3* db, const std::string& replayHash, StoredScore& entry) {
    Statement statement(db, "SELECT id, name, score, played_at FROM scores WHERE replay_hash = ?");
    statement.bindBlob(1, replayHash);
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
