#include "storage_sql.h"

#include <algorithm>
#include <unordered_set>

#include "game/replay.h"
#include "submission.h"

namespace {

constexpr std::int32_t kUpgradeBatch = 500;  // entries read at once by an upgrade

// The place of the entry with score $1 and id $2 among the listed ones, hidden or not itself. Only
// a hidden one's is counted row by row.
constexpr const char* kRankSql =
    "SELECT CAST(1 + (SELECT coalesce(sum(listed), 0) FROM listed_by_score WHERE score > $1)"
    " + coalesce((SELECT place - 1 FROM scores WHERE id = $2 AND hidden = 0),"
    "            (SELECT count(*) FROM scores WHERE hidden = 0 AND score = $1 AND id < $2)) AS BIGINT)";

// How many are listed, with a page of them: $1 from the top, or $2 from place $1 + 1 (one row of
// the count alone when the page is empty). The counts per score find the score that place holds,
// so only that score's entries before it are skipped row by row.
constexpr const char* kListTopSql =
    "WITH page AS (SELECT id, name, score, played_at FROM scores WHERE hidden = 0 ORDER BY score DESC, id LIMIT $1)"
    " SELECT total.listed, page.id, page.name, page.score, page.played_at FROM listed_total AS total"
    " LEFT JOIN page ON 1 = 1 ORDER BY page.score DESC, page.id";
constexpr const char* kListFromSql =
    "WITH boundary AS (SELECT score, above FROM ("
    "    SELECT score, listed, CAST(sum(listed) OVER (ORDER BY score DESC) AS BIGINT) - listed AS above"
    "    FROM listed_by_score) AS running"
    "  WHERE above + listed > $1 ORDER BY score DESC LIMIT 1),"
    " page AS (SELECT id, name, score, played_at FROM scores WHERE hidden = 0 AND score <= (SELECT score FROM boundary)"
    "  ORDER BY score DESC, id LIMIT $2 OFFSET coalesce($1 - (SELECT above FROM boundary), 0))"
    " SELECT total.listed, page.id, page.name, page.score, page.played_at FROM listed_total AS total"
    " LEFT JOIN page ON 1 = 1 ORDER BY page.score DESC, page.id";

// How many are listed, the rank of the page's first entry, and up to $3 entries after the one with
// score $1 and id $2: the rest of its score and the scores below, each read from where the index
// of the order puts it (one row of the counts alone when the page is empty).
constexpr const char* kListAfterSql =
    "WITH page AS ("
    "  SELECT * FROM (SELECT id, name, score, played_at, place FROM scores WHERE hidden = 0 AND score = $1 AND id > $2"
    "    ORDER BY id LIMIT $3) AS same_score"
    "  UNION ALL"
    "  SELECT * FROM (SELECT id, name, score, played_at, place FROM scores WHERE hidden = 0 AND score < $1"
    "    ORDER BY score DESC, id LIMIT $3) AS lower_scores),"
    " first AS (SELECT score, place FROM page ORDER BY score DESC, id LIMIT 1)"
    " SELECT total.listed,"
    "  CAST((SELECT coalesce(sum(listed), 0) FROM listed_by_score WHERE score > (SELECT score FROM first))"
    "   + (SELECT place FROM first) AS BIGINT),"
    "  page.id, page.name, page.score, page.played_at FROM listed_total AS total"
    " LEFT JOIN page ON 1 = 1 ORDER BY page.score DESC, page.id LIMIT $3";

// $1 to $11 as scoreValues gives them. No row when the game, the replay or the ticket is stored
// already: which one it was is read afterwards.
constexpr const char* kInsertSql =
    "INSERT INTO scores (name, score, frames, rules_version, seed, played_at, submitted_at, replay_hash, replay, game_id,"
    " ticket) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11) ON CONFLICT DO NOTHING RETURNING id";
// A copied entry: scoreValues, whether it is hidden, and ($13) its id.
constexpr const char* kCopyWithIdSql =
    "INSERT INTO scores (name, score, frames, rules_version, seed, played_at, submitted_at, replay_hash, replay, game_id,"
    " ticket, hidden, id) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13) ON CONFLICT DO NOTHING RETURNING id";
constexpr const char* kCopySql =
    "INSERT INTO scores (name, score, frames, rules_version, seed, played_at, submitted_at, replay_hash, replay, game_id,"
    " ticket, hidden) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12) ON CONFLICT DO NOTHING RETURNING id";
constexpr const char* kStoredAlreadySql = "SELECT 1 FROM scores WHERE game_id = $1 OR replay_hash = $2";
constexpr const char* kTicketUsedSql = "SELECT 1 FROM scores WHERE ticket = $1";
constexpr const char* kFindGameSql = "SELECT id, name, score, played_at FROM scores WHERE game_id = $1";
constexpr const char* kReplaySql = "SELECT replay FROM scores WHERE id = $1 AND hidden = 0";
constexpr const char* kHideSql = "UPDATE scores SET hidden = 1 WHERE id = $1 AND hidden = 0 RETURNING id";
constexpr const char* kEntriesSql =
    "SELECT id, hidden, name, score, frames, rules_version, seed, played_at, submitted_at, replay_hash, replay, game_id,"
    " ticket FROM scores WHERE id > $1 ORDER BY id LIMIT $2";

SqlValues scoreValues(const NewScore& score) {
  return {sqlText(score.name),         sqlInteger(score.score),       sqlInteger(score.frames),
          sqlInteger(score.rulesVersion), sqlInteger(score.seed),     sqlInteger(score.playedAt),
          sqlInteger(score.submittedAt),  sqlBytes(score.replayHash), sqlBytes(score.replay),
          sqlBytes(score.gameId),         sqlBytes(score.ticket)};
}

std::int64_t rankOf(SqlConnection& connection, std::int32_t score, std::int64_t id) {
  return connection.run(kRankSql, {sqlInteger(score), sqlInteger(id)}).at(0).at(0).integer;
}

// id, name, score, played_at
StoredScore storedScore(const SqlValues& row) {
  StoredScore entry;
  entry.id = row.at(0).integer;
  entry.name = row.at(1).bytes;
  entry.score = static_cast<std::int32_t>(row.at(2).integer);
  entry.playedAt = row.at(3).integer;
  return entry;
}

// Gives stored games their identity, entry by entry in the order stored: a game stored more than
// once under different bytes (a copy with another date, say) keeps its first entry.
class StoredGameIdentifier {
 public:
  // The identity of entry `id`'s game, or "" for a later copy of a game seen before.
  std::string identify(std::int64_t id, const std::string& bytes) {
    Replay replay;
    const ReplayProblem problem = decodeReplay(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), replay);
    // A stored replay was verified when it came; one of older rules is still that game.
    if (problem != ReplayProblem::kNone && problem != ReplayProblem::kUnknownRules) {
      throw StorageError("database: entry " + std::to_string(id) + " holds a damaged replay");
    }
    std::string gameId = gameIdentity(replay);
    return seen_.insert(gameId).second ? gameId : std::string();
  }

 private:
  std::unordered_set<std::string> seen_;
};

}  // namespace

SqlValue sqlInteger(std::int64_t value) {
  SqlValue result;
  result.kind = SqlValue::Kind::kInteger;
  result.integer = value;
  return result;
}

SqlValue sqlText(const std::string& text) {
  SqlValue result;
  result.kind = SqlValue::Kind::kText;
  result.bytes = text;
  return result;
}

SqlValue sqlBytes(const std::string& bytes) {
  SqlValue result;
  if (bytes.empty()) return result;
  result.kind = SqlValue::Kind::kBytes;
  result.bytes = bytes;
  return result;
}

void identifyStoredGames(SqlConnection& connection) {
  StoredGameIdentifier identifier;
  std::int64_t after = 0;
  for (;;) {
    const SqlRows rows = connection.run("SELECT id, replay FROM scores WHERE id > $1 ORDER BY id LIMIT $2",
                                        {sqlInteger(after), sqlInteger(kUpgradeBatch)});
    for (const SqlValues& row : rows) {
      after = row.at(0).integer;
      const std::string gameId = identifier.identify(after, row.at(1).bytes);
      if (gameId.empty()) {
        connection.run("UPDATE scores SET hidden = 1 WHERE id = $1", {sqlInteger(after)});
      } else {
        connection.run("UPDATE scores SET game_id = $1 WHERE id = $2", {sqlBytes(gameId), sqlInteger(after)});
      }
    }
    if (rows.size() < static_cast<std::size_t>(kUpgradeBatch)) break;
  }
  connection.script(
      "CREATE UNIQUE INDEX scores_by_game ON scores (game_id);"
      "CREATE UNIQUE INDEX scores_by_ticket ON scores (ticket);");
}

void applySchemaSteps(SqlConnection& connection, const SchemaStep* steps, std::int64_t from, const std::string& path) {
  if (from > kSchemaVersion) {
    throw StorageError(path + " was written by a newer board (schema version " + std::to_string(from) +
                       ", this board knows up to " + std::to_string(kSchemaVersion) + ")");
  }
  for (std::int64_t step = from; step < kSchemaVersion; ++step) {
    connection.script(steps[step].sql);
    if (steps[step].rows != nullptr) steps[step].rows(connection);
  }
}

bool SqlStore::findGame(const std::string& gameId, StoredScore& entry) {
  bool found = false;
  use(false, [&](SqlConnection& connection) {
    const SqlRows rows = connection.run(kFindGameSql, {sqlBytes(gameId)});
    found = !rows.empty();
    if (!found) return;
    entry = storedScore(rows[0]);
    entry.rank = rankOf(connection, entry.score, entry.id);
  });
  return found;
}

bool SqlStore::ticketUsed(const std::string& ticket) {
  bool used = false;
  use(false, [&](SqlConnection& connection) { used = !connection.run(kTicketUsedSql, {sqlBytes(ticket)}).empty(); });
  return used;
}

AddOutcome SqlStore::add(const NewScore& score, StoredScore& entry) {
  AddOutcome outcome = AddOutcome::kStored;
  use(true, [&](SqlConnection& connection) {
    // One statement, committed on its own. Nothing inserted: another entry holds the game or the
    // ticket. A copy that took an id the database would have given next is the third cause, and
    // the next try takes another.
    SqlRows inserted;
    for (std::int32_t attempt = 0; attempt < 3; ++attempt) {
      inserted = connection.run(kInsertSql, scoreValues(score));
      if (!inserted.empty()) break;
      const SqlRows first = connection.run(kFindGameSql, {sqlBytes(score.gameId)});
      if (!first.empty()) {
        outcome = AddOutcome::kSameGame;
        entry = storedScore(first[0]);
        entry.rank = rankOf(connection, entry.score, entry.id);
        return;
      }
      if (!score.ticket.empty() && !connection.run(kTicketUsedSql, {sqlBytes(score.ticket)}).empty()) {
        outcome = AddOutcome::kTicketUsed;
        return;
      }
    }
    if (inserted.empty()) throw StorageError("database: an entry could not be stored");
    outcome = AddOutcome::kStored;
    entry.id = inserted[0].at(0).integer;
    entry.name = score.name;
    entry.score = score.score;
    entry.playedAt = score.playedAt;
    entry.rank = rankOf(connection, entry.score, entry.id);
  });
  return outcome;
}

std::vector<StoredScore> SqlStore::list(std::int32_t limit, std::int64_t offset, std::int64_t& total) {
  std::vector<StoredScore> entries;
  use(false, [&](SqlConnection& connection) {
    const SqlRows rows = offset == 0 ? connection.run(kListTopSql, {sqlInteger(limit)})
                                     : connection.run(kListFromSql, {sqlInteger(offset), sqlInteger(limit)});
    entries.clear();
    for (const SqlValues& row : rows) {
      total = row.at(0).integer;
      if (row.at(1).kind == SqlValue::Kind::kNull) continue;
      entries.push_back(storedScore(SqlValues(row.begin() + 1, row.end())));
      entries.back().rank = offset + static_cast<std::int64_t>(entries.size());
    }
  });
  return entries;
}

std::vector<StoredScore> SqlStore::listAfter(std::int32_t limit, std::int32_t score, std::int64_t id, std::int64_t& total) {
  std::vector<StoredScore> entries;
  use(false, [&](SqlConnection& connection) {
    const SqlRows rows = connection.run(kListAfterSql, {sqlInteger(score), sqlInteger(id), sqlInteger(limit)});
    entries.clear();
    for (const SqlValues& row : rows) {
      total = row.at(0).integer;
      if (row.at(2).kind == SqlValue::Kind::kNull) continue;
      entries.push_back(storedScore(SqlValues(row.begin() + 2, row.end())));
      entries.back().rank = row.at(1).integer + static_cast<std::int64_t>(entries.size()) - 1;
    }
  });
  return entries;
}

bool SqlStore::replay(std::int64_t id, std::string& bytes) {
  bool found = false;
  use(false, [&](SqlConnection& connection) {
    const SqlRows rows = connection.run(kReplaySql, {sqlInteger(id)});
    found = !rows.empty();
    if (found) bytes = rows[0].at(0).bytes;
  });
  return found;
}

bool SqlStore::hide(std::int64_t id) {
  bool hidden = false;
  use(true, [&](SqlConnection& connection) { hidden = !connection.run(kHideSql, {sqlInteger(id)}).empty(); });
  return hidden;
}

std::vector<EntryRecord> SqlStore::entries(std::int64_t afterId, std::int32_t most) {
  std::vector<EntryRecord> entries;
  use(false, [&](SqlConnection& connection) {
    entries.clear();
    for (const SqlValues& row : connection.run(kEntriesSql, {sqlInteger(afterId), sqlInteger(most)})) {
      EntryRecord entry;
      entry.id = row.at(0).integer;
      entry.hidden = row.at(1).integer != 0;
      NewScore& score = entry.score;
      score.name = row.at(2).bytes;
      score.score = static_cast<std::int32_t>(row.at(3).integer);
      score.frames = static_cast<std::uint32_t>(row.at(4).integer);
      score.rulesVersion = static_cast<std::uint32_t>(row.at(5).integer);
      score.seed = static_cast<std::uint32_t>(row.at(6).integer);
      score.playedAt = row.at(7).integer;
      score.submittedAt = row.at(8).integer;
      score.replayHash = row.at(9).bytes;
      score.replay = row.at(10).bytes;
      score.gameId = row.at(11).bytes;
      score.ticket = row.at(12).bytes;
      entries.push_back(std::move(entry));
    }
  });
  return entries;
}

std::int64_t SqlStore::copyIn(const std::vector<EntryRecord>& entries) {
  std::int64_t stored = 0;
  use(true, [&](SqlConnection& connection) {
    inTransaction(connection, [&] {
      stored = 0;
      std::int64_t highest = 0;
      for (const EntryRecord& entry : entries) highest = std::max(highest, entry.id);
      idsTaken(connection, highest);
      for (const EntryRecord& entry : entries) {
        SqlValues values = scoreValues(entry.score);
        values.push_back(sqlInteger(entry.hidden ? 1 : 0));
        values.push_back(sqlInteger(entry.id));
        if (connection.run(kCopyWithIdSql, values).empty()) {
          const SqlValues there = {sqlBytes(entry.score.gameId), sqlBytes(entry.score.replayHash)};
          if (!connection.run(kStoredAlreadySql, there).empty()) continue;
          // Its id is another entry's here: it takes a new one, unless its ticket was used.
          values.pop_back();
          if (connection.run(kCopySql, values).empty()) continue;
        }
        ++stored;
      }
    });
  });
  return stored;
}

bool isPostgresUrl(const std::string& where) {
  return where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0;
}

std::unique_ptr<ScoreStore> openStore(const std::string& where, std::int32_t connections) {
  return isPostgresUrl(where) ? openPostgresStore(where, connections) : openSqliteStore(where);
}
