// The board's storage on SQLite and on a PostgreSQL server of the test's own, each test on an empty database.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <set>
#include <thread>

#include "board/storage.h"
#include "board/storage_sql.h"
#include "board/submission.h"
#include "game/replay.h"

namespace {

char gPostgresDir[256], gPostgresUrl[256];  // SQLite files beside the server's

class PostgresServer : public ::testing::Environment {
  void SetUp() override {
    std::FILE* started = popen("bash " POSTGRES_SCRIPT " start fsync=off", "r");
    ASSERT_EQ(2, std::fscanf(started, "%255s %255s", gPostgresDir, gPostgresUrl)) << "no PostgreSQL server started";
    pclose(started);
  }
  void TearDown() override { std::system(("bash " POSTGRES_SCRIPT " stop " + std::string(gPostgresDir)).c_str()); }
};
::testing::Environment* const gPostgres = ::testing::AddGlobalTestEnvironment(new PostgresServer);

// An empty database of either kind, and SQL run on it as an older board would.
class StorageTest : public ::testing::TestWithParam<const char*> {
 protected:
  bool postgres() const { return std::string(GetParam()) == "postgresql"; }

  std::string fresh(bool sqlite = false) {
    static int made = 0;
    const std::string name = "board" + std::to_string(++made);
    if (!postgres() || sqlite) return std::string(gPostgresDir) + "/" + name + ".db";
    execute(gPostgresUrl, "CREATE DATABASE " + name);
    return std::string(gPostgresUrl, std::strrchr(gPostgresUrl, '/') + 1) + name;
  }
  void execute(const std::string& where, const std::string& sql) {
    if (postgres()) {
      PGconn* connection = PQconnectdb(where.c_str());
      PGresult* result = PQexec(connection, sql.c_str());
      EXPECT_EQ(PGRES_COMMAND_OK, PQresultStatus(result)) << PQerrorMessage(connection);
      PQclear(result);
      return PQfinish(connection);
    }
    sqlite3* db = nullptr;
    sqlite3_open(where.c_str(), &db);
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr)) << sqlite3_errmsg(db);
    sqlite3_close(db);
  }
  std::string bytesLiteral(const std::string& bytes) const {
    std::string hex;
    for (const unsigned char byte : bytes) hex += "0123456789abcdef"[byte >> 4], hex += "0123456789abcdef"[byte & 15];
    return postgres() ? "'\\x" + hex + "'::bytea" : "X'" + hex + "'";
  }
  std::unique_ptr<ScoreStore> open(const std::string& where) { return openStore(where, 4); }
};

NewScore game(std::int32_t score, const std::string& id, const std::string& ticket = "") {
  return {"N" + id, score, 100, kRulesVersion, 0, 1700000000, 0, sha256("replay " + id), sha256("game " + id), ticket,
          "bytes of " + id};
}

std::vector<std::int64_t> listedIds(ScoreStore& store, std::int32_t limit = 100, std::int64_t offset = 0) {
  std::vector<std::int64_t> ids;
  std::int64_t total = 0;
  for (const StoredScore& entry : store.list(limit, offset, total)) {
    EXPECT_EQ(offset + static_cast<std::int64_t>(ids.size()) + 1, entry.rank);
    ids.push_back(entry.id);
  }
  return ids;
}

// One entry per game (whatever its file's bytes) and per ticket, also with two boards' stores on
// one database taking eight submissions at once: one stored, the others answered with it or
// refused for its ticket.
TEST_P(StorageTest, OneEntryPerGameAndPerTicket) {
  const std::string where = fresh();
  const std::unique_ptr<ScoreStore> stores[] = {open(where), open(where)};
  for (const bool sameTicket : {false, true}) {
    std::atomic<int> outcomes[3] = {};
    std::int64_t ids[8] = {};
    std::vector<std::thread> threads;
    for (int index = 0; index < 8; ++index) {
      threads.emplace_back([&, index] {
        NewScore score = sameTicket ? game(30, "t" + std::to_string(index), "shared") : game(60, "same");
        if (!sameTicket) score.replayHash = sha256("copy " + std::to_string(index));
        StoredScore entry;
        ++outcomes[static_cast<int>(stores[index % 2]->add(score, entry))];
        ids[index] = entry.id;
      });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(1, outcomes[static_cast<int>(AddOutcome::kStored)].load());
    EXPECT_EQ(7, outcomes[static_cast<int>(sameTicket ? AddOutcome::kTicketUsed : AddOutcome::kSameGame)].load());
    if (!sameTicket) {
      EXPECT_EQ(1u, std::set<std::int64_t>(ids, ids + 8).size());
    }
  }
  EXPECT_EQ(2, stores[0]->count());
  StoredScore entry;
  EXPECT_TRUE(stores[1]->findGame(sha256("game same"), entry) && entry.name == "Nsame");
  EXPECT_FALSE(stores[1]->findGame(sha256("game t8"), entry));
}

// Each entry's rank as it is stored and as its game finds it, hidden or not, and every page up to
// one past the end, against the order worked out here: scores with ties, the second 9 hidden.
TEST_P(StorageTest, RanksAndPagesAroundAHiddenEntry) {
  auto store = open(fresh());
  const std::int32_t scores[] = {7, 9, 7, 3, 9, 9, 1, 7, 9};
  std::vector<std::pair<std::int32_t, std::int64_t>> listed;  // -score, id
  const auto place = [&](std::int32_t score, std::int64_t id) {
    return 1 + std::count_if(listed.begin(), listed.end(), [&](const auto& other) { return other < std::pair{-score, id}; });
  };
  StoredScore entry;
  for (int index = 0; index < 9; ++index) {
    ASSERT_EQ(AddOutcome::kStored, store->add(game(scores[index], std::to_string(index)), entry));
    EXPECT_EQ(place(scores[index], entry.id), entry.rank) << index;
    if (index == 4) {
      EXPECT_TRUE(store->hide(entry.id) && !store->hide(entry.id)) << "hidden once, and once only";
    } else {
      listed.emplace_back(-scores[index], entry.id);
    }
  }
  std::sort(listed.begin(), listed.end());
  const std::int64_t total = static_cast<std::int64_t>(listed.size());
  ASSERT_EQ(total, store->count());
  for (int index = 0; index < 9; ++index) {
    ASSERT_TRUE(store->findGame(sha256("game " + std::to_string(index)), entry));
    EXPECT_EQ(place(scores[index], index + 1), entry.rank) << index;
  }
  std::string replay;
  EXPECT_FALSE(store->replay(5, replay));
  ASSERT_TRUE(store->replay(6, replay));
  EXPECT_EQ("bytes of 5", replay);
  for (std::int64_t offset = 0; offset <= total + 1; ++offset) {
    for (std::int32_t limit = 1; limit <= 3; ++limit) {
      std::vector<std::int64_t> want;
      for (std::int64_t at = offset; at < std::min(total, offset + limit); ++at) want.push_back(listed[at].second);
      EXPECT_EQ(want, listedIds(*store, limit, offset)) << "limit " << limit << " offset " << offset;
    }
  }
}

// A database of the first schema, with a game stored twice under different dates: the first keeps
// it, the copy is hidden, and the board carries on from there. One of a newer board is refused.
TEST_P(StorageTest, UpgradeFromVersion1) {
  const std::string where = fresh();
  const std::string blob = postgres() ? "BYTEA" : "BLOB";
  std::string sql = "CREATE TABLE scores (" +
                    std::string(postgres() ? "id BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY" : "id INTEGER PRIMARY KEY") + ", name TEXT NOT NULL, score INTEGER NOT NULL, frames BIGINT NOT NULL, rules_version BIGINT NOT NULL,"
                    " seed BIGINT NOT NULL, played_at BIGINT NOT NULL, submitted_at BIGINT NOT NULL, replay_hash " + blob +
                    " NOT NULL UNIQUE, replay " + blob + " NOT NULL, hidden INTEGER NOT NULL DEFAULT 0);";
  sql += postgres() ? "CREATE TABLE board_schema (version INTEGER NOT NULL); INSERT INTO board_schema VALUES (1);"
                    : "PRAGMA user_version = 1;";
  std::string gameIds[3];
  const std::uint32_t seeds[] = {11, 11, 22};
  for (int index = 0; index < 3; ++index) {
    Replay replay{kReplayFormatUnticketed, kRulesVersion, seeds[index], 0, 1700000000 - index * 1000, 0, {0, 0, 0}, {}, {}};
    const std::vector<std::uint8_t> encoded = encodeReplay(replay);
    const std::string bytes(encoded.begin(), encoded.end());
    ASSERT_EQ(ReplayProblem::kNone, decodeReplay(encoded.data(), encoded.size(), replay));
    gameIds[index] = gameIdentity(replay);
    sql += "INSERT INTO scores (name, score, frames, rules_version, seed, played_at, submitted_at, replay_hash, replay)"
           " VALUES ('P" + std::to_string(index) + "', " + std::to_string(10 - index) + ", 3, 1, 11, 0, 0, " +
           bytesLiteral(sha256(bytes)) + ", " + bytesLiteral(bytes) + ");";
  }
  ASSERT_EQ(gameIds[0], gameIds[1]);
  execute(where, sql);
  auto store = open(where);
  StoredScore entry;
  EXPECT_TRUE(store->findGame(gameIds[0], entry) && entry.name == "P0");
  EXPECT_EQ(2, store->count());
  EXPECT_TRUE(store->add(game(20, "new"), entry) == AddOutcome::kStored && entry.rank == 1);
  EXPECT_EQ((std::vector<std::int64_t>{entry.id, 1, 3}), listedIds(*store));
  store.reset();

  const std::string newer = std::to_string(kSchemaVersion + 1);
  execute(where, postgres() ? "UPDATE board_schema SET version = " + newer : "PRAGMA user_version = " + newer);
  EXPECT_THROW(open(where), StorageError);
}

// Every entry, the hidden one too, under its own id; a second copy adds nothing, and the next
// entry stored in the copy takes an id above them.
TEST_P(StorageTest, CopyMadeTwice) {
  auto from = openSqliteStore(fresh(true));
  StoredScore entry;
  for (int index = 0; index < 5; ++index) from->add(game(index * 3 % 7, std::to_string(index), "t" + std::to_string(index)), entry);
  from->hide(2);
  auto to = open(fresh());
  const std::vector<EntryRecord> entries = from->entries(0, 100);
  ASSERT_EQ(5u, entries.size());
  EXPECT_EQ(5, to->copyIn(entries));
  EXPECT_EQ(0, to->copyIn(entries));
  ASSERT_EQ(listedIds(*from), listedIds(*to));
  EXPECT_EQ(4, to->count());
  const auto described = [](const std::vector<EntryRecord>& all) {
    std::string text;
    for (const EntryRecord& entry : all) {
      text += std::to_string(entry.id) + (entry.hidden ? "h" : "") + entry.score.replay + entry.score.gameId + entry.score.ticket;
    }
    return text;
  };
  EXPECT_EQ(described(entries), described(to->entries(0, 100)));
  EXPECT_EQ(AddOutcome::kStored, to->add(game(1, "after"), entry));
  EXPECT_EQ(6, entry.id);
}

INSTANTIATE_TEST_SUITE_P(Backends, StorageTest, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
