// Replays: games recorded without a window, their files, and the verdicts on them and on others.
#include "game/replay.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ticket.h"
#include "game/play.h"
#include "game/random.h"
#include "support/harness.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Fires all the time and weaves up and down a second each way.
std::uint8_t weaving(std::uint32_t frame) { return kActionAttack | ((frame / 60) % 2 == 1 ? kActionUp : kActionDown); }

// Records a game as play() does, from `seed` after `draws` numbers or on `ticket`, to its end.
Bytes recordGame(std::uint32_t seed, std::uint32_t draws, std::uint8_t (*actions)(std::uint32_t) = weaving,
                 std::uint32_t frames = kReplayMaxFrames, const Bytes& ticket = {}) {
  resumeGameRandom(ticket.empty() ? seed : ticketSeed(ticket), draws);
  startRecording(ticket);
  GameProgress progress;
  startGame(progress);
  for (bool alive = true; alive && progress.frames < frames;) {
    const std::uint8_t held = actions(progress.frames);
    alive = runGameFrame(held, progress, false);
    recordFrame(held);
  }
  finishRecording(gScore);
  return encodeReplay(gRecording);
}

// A ticket as the board deals it; the game never checks its signature.
Bytes ticketFor(std::uint32_t seed) {
  Bytes ticket(kTicketSize, 0xA5);
  for (std::int32_t i = 0; i < 4; ++i) ticket[i] = static_cast<std::uint8_t>(seed >> (8 * i));
  return ticket;
}

ReplayVerdict verdictOn(const Bytes& bytes) {
  ReplayVerdict verdict;
  verifyReplay(bytes.data(), bytes.size(), verdict);
  return verdict;
}

std::string parted(std::uint32_t frame, std::int32_t recorded, std::int32_t replayed) {
  return "does not match at frame " + std::to_string(frame) + ": the recorded game scored " + std::to_string(recorded) +
         ", this replay " + std::to_string(replayed);
}

// Stores the CRC-32 of a changed file again, as a forger or another build would.
Bytes resealed(Bytes bytes) {
  const std::uint32_t crc = SDL_crc32(0, bytes.data(), bytes.size() - 4);
  for (std::int32_t i = 0; i < 4; ++i) bytes[bytes.size() - 4 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
  return bytes;
}

TEST(ReplayTest, ARecordedGameVerifiesToItsScoreAndAChangedInputSaysWhereItParts) {
  const Bytes bytes = recordGame(1765000000u, 12345);
  const std::int32_t score = gScore;
  const auto frames = static_cast<std::uint32_t>(gRecording.actions.size());
  ASSERT_GT(frames, 300u);
  ASSERT_GT(score, 0);
  Replay decoded;
  ASSERT_EQ(decodeReplay(bytes.data(), bytes.size(), decoded), ReplayProblem::kNone);
  EXPECT_EQ(decoded.checks.size(), frames / kReplayCheckInterval);
  EXPECT_EQ(encodeReplay(decoded), bytes);

  gScore = -1;  // whatever the world holds before, the replay starts its own game
  ReplayVerdict verdict = verdictOn(bytes);
  EXPECT_EQ(std::vector<std::int64_t>({verdict.status, verdict.score, verdict.recordedScore, verdict.frames, verdict.seed}),
            std::vector<std::int64_t>({0, score, score, frames, 1765000000}));
  EXPECT_EQ(verdict.problem, ReplayProblem::kNone);
  EXPECT_EQ(std::string(verdict.message), "verified: score " + std::to_string(score) + " in " + std::to_string(frames) + " frames");

  // The attack let go for two frames: the next state check tells.
  decoded.actions[150] &= ~kActionAttack;
  decoded.actions[151] &= ~kActionAttack;
  verdict = verdictOn(encodeReplay(decoded));
  EXPECT_EQ(verdict.status, 3);
  EXPECT_EQ(std::string(verdict.message), parted(200, score, verdict.score));
  // A forged score with the inputs untouched; then inputs going on past the game over.
  decoded.actions = gRecording.actions;
  decoded.score = score + 5;
  verdict = verdictOn(encodeReplay(decoded));
  EXPECT_EQ(std::vector<std::int64_t>({verdict.status, verdict.score}), std::vector<std::int64_t>({3, score}));
  EXPECT_EQ(std::string(verdict.message), parted(frames, score + 5, score));
  decoded.score = score;
  decoded.actions.insert(decoded.actions.end(), 40, decoded.actions.back());
  decoded.actions.insert(decoded.actions.end(), 10, kActionLeft);
  decoded.checks.resize(decoded.actions.size() / kReplayCheckInterval);
  EXPECT_EQ(std::string(verdictOn(encodeReplay(decoded)).message), parted(frames, score, score));
}

// Changes worth 31, 128 (two LEB128 bytes), 127 (one byte), and one on the last frame.
std::uint8_t boundaryActions(std::uint32_t frame) {
  return frame < 4 ? kActionsAll : frame < 7 ? 0 : frame < 249 ? kActionsAll : kActionAttack | kActionUp;
}

TEST(ReplayTest, ChangesAtTheEncodingsByteBoundaryAndOnTheLastFrameVerify) {
  const Bytes bytes = recordGame(99, 0, boundaryActions, 250);
  ASSERT_EQ(gRecording.actions.size(), 250u);
  EXPECT_EQ(Bytes(bytes.begin() + 40, bytes.begin() + 46), Bytes({31, 0x80, 0x01, 0x7f, 0xd1, 0x3c}));
  EXPECT_EQ(std::string(verdictOn(bytes).message), "verified: score " + std::to_string(gScore) + " in 250 frames");
}

// The same file as without the ticket, but of format 2 with the ticket before the changes.
TEST(ReplayTest, AGameOnATicketIsRecordedAsFormat2CarryingItsTicket) {
  const Bytes ticket = ticketFor(1765000000u);
  const Bytes unticketed = recordGame(1765000000u, 0);
  const Bytes bytes = recordGame(0, 0, weaving, kReplayMaxFrames, ticket);
  EXPECT_EQ(unticketed[4], 1);
  Bytes expected = unticketed;
  expected[4] = 2;
  expected.insert(expected.begin() + 40, ticket.begin(), ticket.end());
  EXPECT_EQ(bytes, resealed(expected));
  Replay decoded;
  ASSERT_EQ(decodeReplay(bytes.data(), bytes.size(), decoded), ReplayProblem::kNone);
  EXPECT_EQ(decoded.ticket, ticket);
  EXPECT_EQ(encodeReplay(decoded), bytes);
  EXPECT_STREQ(verdictOn(bytes).message, verdictOn(unticketed).message);
}

// Recorded by the game itself; when this fails, kRulesVersion must change with the rules.
TEST(ReplayTest, AGameRecordedUnderTheseRulesStillVerifies) {
  const ReplayVerdict verdict =
      verdictOn(testing_support::readFileBytes(testing_support::committedAssetPath("../../tests/game/recorded-game.zwr")));
  EXPECT_EQ(verdict.rulesVersion, kRulesVersion);
  EXPECT_STREQ(verdict.message, "verified: score 98 in 5105 frames");
}

TEST(ReplayTest, DamagedForeignNewerAndTooLongFilesAreRefusedInOneLine) {
  const Bytes whole = recordGame(7, 0), ticketed = recordGame(0, 0, weaving, kReplayMaxFrames, ticketFor(7));
  auto changed = [](Bytes bytes, std::size_t at, std::initializer_list<std::uint8_t> values, bool seal = true) {
    std::copy(values.begin(), values.end(), bytes.begin() + at);
    return seal ? resealed(bytes) : bytes;
  };
  Bytes mebibyte = whole, longer = whole;
  mebibyte.resize(kReplayMaxSize);
  longer.resize(kReplayMaxSize + 1);
  const char* damaged = "a damaged replay: its bytes do not add up";
  const char* foreign = "not a replay of this game";
  const char* mismatch = "a replay whose seed or draws are not its ticket's: it was not played on that ticket";
  const char* tooLong = "a replay too long to play: this build plays at most 576000 frames and 1048576 bytes";
  struct { Bytes bytes; ReplayProblem problem; const char* message; } const cases[] = {
      {changed(whole, 41, {static_cast<std::uint8_t>(whole[41] ^ 4)}, false), ReplayProblem::kDamaged, damaged},
      {Bytes(whole.begin(), whole.end() - 9), ReplayProblem::kDamaged, damaged},
      {{0x89, 'P', 'N', 'G', 13, 10, 26, 10}, ReplayProblem::kForeign, foreign},
      {{}, ReplayProblem::kForeign, foreign},
      {changed(whole, 4, {3}, false), ReplayProblem::kUnknownFormat,
       "a replay of format version 3, which this build cannot read (it reads versions 1 and 2)"},
      {changed(whole, 4, {2}), ReplayProblem::kDamaged, damaged},  // format 1 called 2
      {resealed(Bytes(ticketed.begin(), ticketed.begin() + 60)), ReplayProblem::kDamaged, damaged},  // cut in its ticket
      {resealed(Bytes(ticketed.begin(), ticketed.begin() + 87)), ReplayProblem::kDamaged, damaged},
      {changed(ticketed, 12, {static_cast<std::uint8_t>(ticketed[12] ^ 1)}), ReplayProblem::kTicketMismatch, mismatch},
      {changed(ticketed, 16, {1}), ReplayProblem::kTicketMismatch, mismatch},  // a draw before it
      {changed(whole, 8, {9}), ReplayProblem::kUnknownRules,
       "a replay of rules version 9, which this build does not play (it plays version 1)"},
      {changed(whole, 39, {0x10}), ReplayProblem::kDamaged, damaged},  // more changes than frames
      // 576000 frames and 1 MiB are not too long, one more is.
      {changed(whole, 28, {0x00, 0xCA, 0x08, 0x00}), ReplayProblem::kDamaged, damaged},
      {changed(whole, 28, {0x01, 0xCA, 0x08, 0x00}), ReplayProblem::kTooLong, tooLong},
      {changed(whole, 16, {0x01, 0x00, 0x00, 0x10}), ReplayProblem::kTooLong, tooLong},
      {resealed(mebibyte), ReplayProblem::kDamaged, damaged},
      {resealed(longer), ReplayProblem::kTooLong, tooLong},
  };
  for (const auto& refused : cases) {
    const ReplayVerdict verdict = verdictOn(refused.bytes);
    EXPECT_EQ(verdict.status, 2) << refused.message << " (" << &refused - cases << ")";
    EXPECT_EQ(verdict.problem, refused.problem) << &refused - cases;
    EXPECT_STREQ(verdict.message, refused.message) << &refused - cases;
  }
  Replay decoded;  // the most draws a game may start after
  const Bytes mostDraws = changed(whole, 16, {0x00, 0x00, 0x00, 0x10});
  EXPECT_EQ(decodeReplay(mostDraws.data(), mostDraws.size(), decoded), ReplayProblem::kNone);
}

// A game longer than a replay may be, or started after too many draws, is played on without one.
TEST(ReplayTest, AGameBeyondTheLimitsIsRecordedWithoutAReplay) {
  for (const std::uint32_t draws : {kReplayMaxDraws, kReplayMaxDraws + 1}) {
    gRandomDraws = draws;
    startRecording();
    EXPECT_EQ(gRecordingWhole, draws == kReplayMaxDraws);
  }
  gRandomDraws = 0;
  startRecording();
  for (std::uint32_t frame = 0; frame < kReplayMaxFrames; ++frame) recordFrame(kActionAttack);
  EXPECT_TRUE(gRecordingWhole);
  recordFrame(kActionAttack);
  EXPECT_FALSE(gRecordingWhole);
  EXPECT_TRUE(gRecording.actions.empty());
}

}  // namespace
