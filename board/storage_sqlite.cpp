// The SQLite backend: one file in WAL mode, every write a transaction that takes the lock at once
// and is synced before it is answered, its schema versioned in PRAGMA user_version.
#include <sqlite3.h>

#include <mutex>

#include "storage_sql.h"

namespace {

constexpr std::int32_t kBusyTimeout = 5000;  // milliseconds a statement waits for another writer

// Version 3's counts of listed entries, kept as entries come, are hidden or are deleted.
void countListedEntries(SqlConnection& connection) {
  connection.script(
      "CREATE TRIGGER scores_listed_insert AFTER INSERT ON scores WHEN NEW.hidden = 0 BEGIN"
      "  UPDATE listed_total SET listed = listed + 1;"
      "  INSERT INTO listed_by_score (score, listed) VALUES (NEW.score, 1)"
      "    ON CONFLICT (score) DO UPDATE SET listed = listed + 1;"
      "END;"
      "CREATE TRIGGER scores_listed_update AFTER UPDATE OF hidden, score ON scores BEGIN"
      "  UPDATE listed_total SET listed = listed + (NEW.hidden = 0) - (OLD.hidden = 0);"
      "  UPDATE listed_by_score SET listed = listed - (OLD.hidden = 0) WHERE score = OLD.score;"
      "  INSERT INTO listed_by_score (score, listed) VALUES (NEW.score, NEW.hidden = 0)"
      "    ON CONFLICT (score) DO UPDATE SET listed = listed + excluded.listed;"
      "END;"
      "CREATE TRIGGER scores_listed_delete AFTER DELETE ON scores WHEN OLD.hidden = 0 BEGIN"
      "  UPDATE listed_total SET listed = listed - 1;"
      "  UPDATE listed_by_score SET listed = listed - 1 WHERE score = OLD.score;"
      "END;");
}

// Version 4's places of listed entries, kept as entries come, are hidden or are deleted.
void placeListedEntries(SqlConnection& connection) {
  connection.script(
      "CREATE TRIGGER scores_placed_insert AFTER INSERT ON scores WHEN NEW.hidden = 0 BEGIN"
      "  UPDATE scores SET place = place + 1 WHERE hidden = 0 AND score = NEW.score AND id > NEW.id;"
      "  UPDATE scores SET place = 1 + coalesce((SELECT place FROM scores WHERE hidden = 0 AND score = NEW.score"
      "    AND id < NEW.id ORDER BY id DESC LIMIT 1), 0) WHERE id = NEW.id;"
      "END;"
      "CREATE TRIGGER scores_placed_update AFTER UPDATE OF hidden, score ON scores BEGIN"
      "  UPDATE scores SET place = place - 1 WHERE OLD.hidden = 0 AND hidden = 0 AND score = OLD.score AND id > OLD.id;"
      "  UPDATE scores SET place = place + 1 WHERE NEW.hidden = 0 AND hidden = 0 AND score = NEW.score AND id > NEW.id;"
      "  UPDATE scores SET place = 1 + coalesce((SELECT place FROM scores WHERE hidden = 0 AND score = NEW.score"
      "    AND id < NEW.id ORDER BY id DESC LIMIT 1), 0) WHERE NEW.hidden = 0 AND id = NEW.id;"
      "END;"
      "CREATE TRIGGER scores_placed_delete AFTER DELETE ON scores WHEN OLD.hidden = 0 BEGIN"
      "  UPDATE scores SET place = place - 1 WHERE hidden = 0 AND score = OLD.score AND id > OLD.id;"
      "END;");
}

// Each entry upgrades the schema by one version; user_version counts those applied.
const SchemaStep kSchemaSteps[kSchemaVersion] = {
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
     "CREATE INDEX scores_by_rank ON scores (hidden, score DESC, id);",
     nullptr},
    {"ALTER TABLE scores ADD COLUMN game_id BLOB;"
     "ALTER TABLE scores ADD COLUMN ticket BLOB;",
     identifyStoredGames},
    {kCountListedSql, countListedEntries},
    {kPlaceListedSql, placeListedEntries},
};

class SqliteConnection : public SqlConnection {
 public:
  explicit SqliteConnection(const std::string& path) {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
      const std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      throw StorageError("cannot open the database " + path + ": " + message);
    }
    sqlite3_busy_timeout(db_, kBusyTimeout);
    sqlite3_extended_result_codes(db_, 1);
    try {
      // synchronous=FULL: a commit is on disk before it returns, so an answered submission
      // outlives a kill or a power cut.
      script("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL; PRAGMA foreign_keys = ON;");
    } catch (...) {
      sqlite3_close(db_);
      throw;
    }
  }
  ~SqliteConnection() override { sqlite3_close(db_); }
  SqliteConnection(const SqliteConnection&) = delete;
  SqliteConnection& operator=(const SqliteConnection&) = delete;

  SqlRows run(const char* sql, const SqlValues& values) override {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK) fail(sqlite3_errcode(db_), sqlite3_errmsg(db_));
    SqlRows rows;
    int result = SQLITE_OK;
    for (std::size_t index = 0; index < values.size() && result == SQLITE_OK; ++index) {
      const SqlValue& value = values[index];
      const int position = static_cast<int>(index) + 1;
      const int size = static_cast<int>(value.bytes.size());
      switch (value.kind) {
        case SqlValue::Kind::kNull: result = sqlite3_bind_null(statement, position); break;
        case SqlValue::Kind::kInteger: result = sqlite3_bind_int64(statement, position, value.integer); break;
        case SqlValue::Kind::kText: result = sqlite3_bind_text(statement, position, value.bytes.data(), size, SQLITE_STATIC); break;
        case SqlValue::Kind::kBytes: result = sqlite3_bind_blob(statement, position, value.bytes.data(), size, SQLITE_STATIC); break;
      }
    }
    while (result == SQLITE_OK && (result = sqlite3_step(statement)) == SQLITE_ROW) {
      result = SQLITE_OK;
      SqlValues& row = rows.emplace_back();
      for (int column = 0; column < sqlite3_column_count(statement); ++column) {
        SqlValue& value = row.emplace_back();
        const int type = sqlite3_column_type(statement, column);
        if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
          value.kind = SqlValue::Kind::kInteger;
          value.integer = sqlite3_column_int64(statement, column);
        } else if (type != SQLITE_NULL) {
          value.kind = SqlValue::Kind::kBytes;
          const void* data = sqlite3_column_blob(statement, column);
          value.bytes.assign(static_cast<const char*>(data), static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
        }
      }
    }
    const std::string message = result == SQLITE_DONE ? std::string() : sqlite3_errmsg(db_);
    sqlite3_finalize(statement);
    if (result != SQLITE_DONE) fail(result, message);
    return rows;
  }

  void script(const char* sql) override {
    char* message = nullptr;
    const int result = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
    const std::string text = message != nullptr ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    if (result != SQLITE_OK) fail(result, text);
  }

  void begin() override { script("BEGIN IMMEDIATE"); }

 private:
  // A lock held past the busy timeout is a database that cannot be reached for now.
  [[noreturn]] static void fail(int result, const std::string& message) {
    if ((result & 0xff) == SQLITE_BUSY || (result & 0xff) == SQLITE_LOCKED) throw StorageUnavailable("database: " + message);
    throw StorageError("database: " + message);
  }

  sqlite3* db_ = nullptr;
};

class SqliteStore : public SqlStore {
 public:
  explicit SqliteStore(const std::string& path) : writer_(path) {
    // The schema is made or brought up to this build's version in one transaction.
    inTransaction(writer_, [&] {
      applySchemaSteps(writer_, kSchemaSteps, writer_.run("PRAGMA user_version", {}).at(0).at(0).integer, path);
      writer_.script(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
    });
    reader_ = std::make_unique<SqliteConnection>(path);
  }

 protected:
  // One connection writes and one reads, each used by one thread at a time; in WAL mode the
  // reader is never held up by a write under way.
  void use(bool write, const std::function<void(SqlConnection&)>& work) override {
    std::lock_guard<std::mutex> lock(write ? writerMutex_ : readerMutex_);
    work(write ? static_cast<SqlConnection&>(writer_) : *reader_);
  }

 private:
  SqliteConnection writer_;
  std::unique_ptr<SqliteConnection> reader_;
  std::mutex writerMutex_;
  std::mutex readerMutex_;
};

}  // namespace

std::unique_ptr<ScoreStore> openSqliteStore(const std::string& path) { return std::make_unique<SqliteStore>(path); }
