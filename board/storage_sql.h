// The storage both backends run: every query, transaction and schema step that SQLite and
// PostgreSQL take alike is here, written once ($N parameters, each first used in the order of N,
// which SQLite numbers as PostgreSQL does). A backend brings its connections, the parts of its
// schema steps in its own dialect (tables, triggers) and the place it keeps its schema version.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "storage.h"

// 1: the scores; 2: a game's identity and its ticket, each unique; 3: the listed entries counted
// per score and in all, kept by triggers, so that a list request counts no rows and a rank sums
// the counts of the scores above it; 4: each listed entry's place among those of its score, kept by
// triggers, so that a rank counts no rows of a score shared by many.
constexpr std::int32_t kSchemaVersion = 4;

// A statement's parameter or a column of its result.
struct SqlValue {
  enum class Kind { kNull, kInteger, kText, kBytes } kind = Kind::kNull;
  std::int64_t integer = 0;
  std::string bytes;
};
using SqlValues = std::vector<SqlValue>;
using SqlRows = std::vector<SqlValues>;
SqlValue sqlInteger(std::int64_t value);
SqlValue sqlText(const std::string& text);
SqlValue sqlBytes(const std::string& bytes);  // NULL for ""

// One connection to either database, used by one thread at a time. Throws StorageError, or
// StorageUnavailable while the database cannot be reached.
class SqlConnection {
 public:
  virtual ~SqlConnection() = default;
  // One statement with its parameters bound, never written into its text.
  virtual SqlRows run(const char* sql, const SqlValues& values = {}) = 0;
  // Statements without parameters, such as a schema step's.
  virtual void script(const char* sql) = 0;
  // Starts a transaction that writes.
  virtual void begin() = 0;
};

// Runs `work` in a write transaction of its own, rolled back when it throws.
template <typename Work>
void inTransaction(SqlConnection& connection, Work work) {
  connection.begin();
  try {
    work();
    connection.run("COMMIT");
  } catch (...) {
    try {
      connection.script("ROLLBACK");
    } catch (const StorageError&) {  // a lost connection rolled it back already
    }
    throw;
  }
}

struct SchemaStep {
  const char* sql;
  void (*rows)(SqlConnection& connection);  // then the work on the rows, if any
};
// Version 2's work on the rows: every stored game gets its identity (a later copy of one is
// hidden instead), then the identity and the ticket become unique.
void identifyStoredGames(SqlConnection& connection);
// Version 3's tables, the same on both. Each backend adds the triggers that keep the counts in
// the transaction of each insert, hide or deletion: always the total first and then a score's
// row, so that writers at once never wait for each other in a circle.
inline constexpr const char* kCountListedSql =
    "CREATE TABLE listed_by_score (score INTEGER PRIMARY KEY, listed BIGINT NOT NULL);"
    "INSERT INTO listed_by_score (score, listed) SELECT score, count(*) FROM scores WHERE hidden = 0 GROUP BY score;"
    "CREATE TABLE listed_total (one INTEGER PRIMARY KEY CHECK (one = 1), listed BIGINT NOT NULL);"
    "INSERT INTO listed_total (one, listed) SELECT 1, count(*) FROM scores WHERE hidden = 0;";
// Version 4's column, the same on both. Each backend adds the triggers that keep it: an entry
// listed takes the place after the listed entry of its score before it, and the later ones of
// its score move down one; an entry that leaves the list moves them up one.
inline constexpr const char* kPlaceListedSql =
    "ALTER TABLE scores ADD COLUMN place BIGINT;"
    "UPDATE scores SET place = ranked.place FROM (SELECT id, row_number() OVER (PARTITION BY score ORDER BY id) AS place"
    "  FROM scores WHERE hidden = 0) AS ranked WHERE scores.id = ranked.id;";
// Applies the steps after `from` up to kSchemaVersion; `path` names the database in a refusal.
// The caller holds the transaction.
void applySchemaSteps(SqlConnection& connection, const SchemaStep* steps, std::int64_t from, const std::string& path);

class SqlStore : public ScoreStore {
 public:
  bool findGame(const std::string& gameId, StoredScore& entry) override;
  bool ticketUsed(const std::string& ticket) override;
  AddOutcome add(const NewScore& score, StoredScore& entry) override;
  std::vector<StoredScore> list(std::int32_t limit, std::int64_t offset, std::int64_t& total) override;
  std::vector<StoredScore> listAfter(std::int32_t limit, std::int32_t score, std::int64_t id, std::int64_t& total) override;
  bool replay(std::int64_t id, std::string& bytes) override;
  bool hide(std::int64_t id) override;
  std::vector<EntryRecord> entries(std::int64_t afterId, std::int32_t most) override;
  std::int64_t copyIn(const std::vector<EntryRecord>& entries) override;

 protected:
  // Runs `work` on a connection held for it alone, one that may write when `write`. The work may
  // be run again from its start after its connection was lost, unless a commit went unanswered.
  virtual void use(bool write, const std::function<void(SqlConnection&)>& work) = 0;
  // Before entries are copied in under their own ids, up to `highest`: whatever the backend needs
  // so that entries stored meanwhile, here or by another board, take ids above them.
  virtual void idsTaken(SqlConnection&, std::int64_t /*highest*/) {}
};
