// The board's storage through its interface, on SQLite and on a real PostgreSQL 15 server of the
// test's own: one entry per game and per ticket, also for two boards storing at once; ranks and
// counts around a hidden entry; pages of the list at their limits; the upgrade from version 1; a
// copy made twice.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "board/storage.h"
#include "board/submission.h"
#include "game/replay.h"

namespace {

std::string gPostgresDir;  // the test's server, started once for every test
std::string gPostgresUrl;

class PostgresServer : public ::testing::Environment {
 public:
  void SetUp() override {
    std::FILE* started = popen("bash " POSTGRES_SCRIPT " start fsync=off", "r");
    char line[512] = {};
    const bool read = started != nullptr && std::fgets(line, sizeof line, started) != nullptr;
    if (started != nullptr) pclose(started);
    ASSERT_TRUE(read) << "no PostgreSQL server started";
    const std::string text(line, std::strlen(line) - 1);
    gPostgresDir = text.substr(0, text.find(' '));
    gPostgresUrl = text.substr(text.find(' ') + 1);
  }
  void TearDown() override {
    if (!gPostgresDir.empty()) std::system(("bash " POSTGRES_SCRIPT " stop " + gPostgresDir).c_str());
  }
};

void postgresExecute(const std::string& url, const std::string& sql) {
  PGconn* connection = PQconnectdb(url.c_str());
  PGresult* result = PQexec(connection, sql.c_str());
  const ExecStatusType status = PQresultStatus(result);
  EXPECT_TRUE(status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) << PQerrorMessage(connection);
  PQclear(result);
  PQfinish(connection);
}

std::string hex(const std::string& bytes) {
  std::string text;
  for (const unsigned char byte : bytes) text += "0123456789abcdef"[byte >> 4], text += "0123456789abcdef"[byte & 15];
  return text;
}

// An empty database for each test, either kind, and SQL run on it as an older board would.
class StorageTest : public ::testing::TestWithParam<const char*> {
 protected:
  bool postgres() const { return std::string(GetParam()) == "postgresql"; }

  std::string fresh(bool sqlite = false) {
    static int made = 0;
    const std::string name = "board" + std::to_string(++made);
    if (postgres() && !sqlite) {
      postgresExecute(gPostgresUrl, "CREATE DATABASE " + name);
      return gPostgresUrl.substr(0, gPostgresUrl.rfind('/') + 1) + name;
    }
    const std::filesystem::path path = std::filesystem::temp_directory_path() / ("zellworth-storage-" + std::to_string(getpid()));
    std::filesystem::create_directories(path);
    files_.push_back(path);
    return (path / (name + ".db")).string();
  }
  void execute(const std::string& where, const std::string& sql) {
    if (postgres()) return postgresExecute(where, sql);
    sqlite3* db = nullptr;
    sqlite3_open(where.c_str(), &db);
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr)) << sqlite3_errmsg(db);
    sqlite3_close(db);
  }
  std::string bytesLiteral(const std::string& bytes) const {
    return postgres() ? "'\\x" + hex(bytes) + "'::bytea" : "X'" + hex(bytes) + "'";
  }
  std::unique_ptr<ScoreStore> open(const std::string& where) { return openStore(where, 4); }
  void TearDown() override {
    for (const auto& path : files_) std::filesystem::remove_all(path);
  }

 private:
  std::vector<std::filesystem::path> files_;
};

NewScore game(std::int32_t score, const std::string& id, const std::string& ticket = "") {
  NewScore entry;
  entry.name = "N" + id;
  entry.score = score;
  entry.frames = 100;
  entry.rulesVersion = kRulesVersion;
  entry.playedAt = 1700000000;
  entry.gameId = sha256("game " + id);
  entry.replayHash = sha256("replay " + id);
  entry.replay = "bytes of " + id;
  entry.ticket = ticket;
  return entry;
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

TEST_P(StorageTest, OneEntryPerGameAndPerTicket) {
  auto store = open(fresh());
  StoredScore entry;
  ASSERT_EQ(AddOutcome::kStored, store->add(game(40, "a", "ticket 1"), entry));
  const std::int64_t first = entry.id;
  NewScore copy = game(40, "a");
  copy.name = "Thief";
  copy.replayHash = sha256("other bytes");
  EXPECT_EQ(AddOutcome::kSameGame, store->add(copy, entry));
  EXPECT_EQ(first, entry.id);
  EXPECT_EQ("Na", entry.name);
  EXPECT_EQ(AddOutcome::kTicketUsed, store->add(game(50, "b", "ticket 1"), entry));
  EXPECT_EQ(1, store->count());
  EXPECT_TRUE(store->findGame(sha256("game a"), entry));
  EXPECT_FALSE(store->findGame(sha256("game b"), entry));
}

// Two boards on one database, each with submissions at once: one game and one ticket store once.
TEST_P(StorageTest, TwoBoardsStoringAtOnce) {
  const std::string where = fresh();
  auto one = open(where);
  auto two = open(where);
  for (const bool sameTicket : {false, true}) {
    std::atomic<int> outcomes[3] = {};
    std::vector<std::thread> threads;
    for (int index = 0; index < 8; ++index) {
      threads.emplace_back([&, index] {
        const NewScore score = sameTicket ? game(30, "t" + std::to_string(index), "shared") : game(60, "same");
        StoredScore entry;
        ++outcomes[static_cast<int>((index % 2 ? *one : *two).add(score, entry))];
      });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(1, outcomes[static_cast<int>(AddOutcome::kStored)].load());
    EXPECT_EQ(7, outcomes[static_cast<int>(sameTicket ? AddOutcome::kTicketUsed : AddOutcome::kSameGame)].load());
  }
  EXPECT_EQ(2, one->count());
  EXPECT_EQ(2, two->count());
}

TEST_P(StorageTest, RanksAndCountsAroundAHiddenEntry) {
  auto store = open(fresh());
  StoredScore entry;
  std::vector<std::int64_t> ids;
  std::vector<std::int64_t> ranks;
  for (const auto& [score, name] : {std::pair{50, "a"}, {40, "b"}, {40, "c"}, {30, "d"}}) {
    store->add(game(score, name), entry);
    ids.push_back(entry.id);
    ranks.push_back(entry.rank);
  }
  EXPECT_EQ((std::vector<std::int64_t>{1, 2, 3, 4}), ranks);
  EXPECT_TRUE(store->hide(ids[1]));
  EXPECT_FALSE(store->hide(ids[1]));
  EXPECT_EQ(3, store->count());
  EXPECT_EQ((std::vector<std::int64_t>{ids[0], ids[2], ids[3]}), listedIds(*store));
  std::string replay;
  EXPECT_FALSE(store->replay(ids[1], replay));
  ASSERT_TRUE(store->replay(ids[2], replay));
  EXPECT_EQ("bytes of c", replay);
  // The hidden entry is still its game's, in the place it would hold.
  ASSERT_TRUE(store->findGame(sha256("game b"), entry));
  EXPECT_EQ(2, entry.rank);
  ASSERT_TRUE(store->findGame(sha256("game d"), entry));
  EXPECT_EQ(3, entry.rank);
  store->add(game(40, "e"), entry);
  EXPECT_EQ(3, entry.rank);
  store->add(game(45, "f"), entry);
  EXPECT_EQ(2, entry.rank);
  EXPECT_EQ(5, store->count());
}

// Every page, up to one past the end, against the order worked out here: scores with ties, and a
// hidden entry in the middle.
TEST_P(StorageTest, ListPagesAtTheirLimits) {
  auto store = open(fresh());
  std::vector<std::pair<std::int32_t, std::int64_t>> expected;  // -score, id
  StoredScore entry;
  const std::int32_t scores[] = {7, 9, 7, 3, 9, 9, 1, 7};
  for (int index = 0; index < 8; ++index) {
    store->add(game(scores[index], std::to_string(index)), entry);
    if (index != 4) expected.emplace_back(-scores[index], entry.id);
    if (index == 4) store->hide(entry.id);
  }
  std::sort(expected.begin(), expected.end());
  const std::int64_t total = static_cast<std::int64_t>(expected.size());
  ASSERT_EQ(total, store->count());
  for (std::int64_t offset = 0; offset <= total + 1; ++offset) {
    for (std::int32_t limit = 1; limit <= 3; ++limit) {
      std::vector<std::int64_t> want;
      for (std::int64_t at = offset; at < std::min(total, offset + limit); ++at) want.push_back(expected[at].second);
      EXPECT_EQ(want, listedIds(*store, limit, offset)) << "limit " << limit << " offset " << offset;
    }
  }
}

// A database of the first schema, with a game stored twice under different dates: the first keeps
// it, the copy is hidden, and the board carries on from there. One of a newer board is refused.
TEST_P(StorageTest, UpgradeFromVersion1) {
  const std::string where = fresh();
  const std::string id = postgres() ? "id BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY" : "id INTEGER PRIMARY KEY";
  const std::string blob = postgres() ? "BYTEA" : "BLOB";
  std::string sql = "CREATE TABLE scores (" + id +
                    ", name TEXT NOT NULL, score INTEGER NOT NULL, frames BIGINT NOT NULL, rules_version BIGINT NOT NULL,"
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
  ASSERT_TRUE(store->findGame(gameIds[0], entry));
  EXPECT_EQ("P0", entry.name);
  EXPECT_EQ(2, store->count());
  EXPECT_EQ(AddOutcome::kStored, store->add(game(20, "new"), entry));
  EXPECT_EQ(1, entry.rank);
  EXPECT_EQ(3, store->count());
  EXPECT_EQ((std::vector<std::int64_t>{entry.id, 1, 3}), listedIds(*store));
  store.reset();

  execute(where, postgres() ? "UPDATE board_schema SET version = 4" : "PRAGMA user_version = 4");
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
  const std::vector<EntryRecord> copied = to->entries(0, 100);
  ASSERT_EQ(5u, copied.size());
  for (std::size_t index = 0; index < copied.size(); ++index) {
    EXPECT_EQ(entries[index].hidden, copied[index].hidden);
    EXPECT_EQ(entries[index].score.replay, copied[index].score.replay);
    EXPECT_EQ(entries[index].score.gameId, copied[index].score.gameId);
    EXPECT_EQ(entries[index].score.ticket, copied[index].score.ticket);
  }
  EXPECT_EQ(AddOutcome::kStored, to->add(game(1, "after"), entry));
  EXPECT_EQ(6, entry.id);
}

TEST(PostgresStorage, UnreachableUntilItAnswers) {
  auto store = openStore("postgresql://board@127.0.0.1:1/none", 2);
  EXPECT_THROW(store->count(), StorageUnavailable);
}

INSTANTIATE_TEST_SUITE_P(Backends, StorageTest, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new PostgresServer);
  return RUN_ALL_TESTS();
}
