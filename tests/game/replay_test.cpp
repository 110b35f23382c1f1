// Replays: a seeded game recorded at the rules level, its file, and the verdicts on it and on
// files that were changed, cut, foreign or too new.
#include "game/replay.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/ticket.h"
#include "game/play.h"
#include "game/player.h"
#include "game/random.h"

namespace {

// The actions of frame `frame` in a game that fires all the time and weaves up and down.
std::uint8_t scriptedActions(std::uint32_t frame) {
  return kActionAttack | ((frame / 60) % 2 == 1 ? kActionUp : kActionDown);
}

// Plays and records a game as play() does but without a window: from `seed` after `drawsBefore`
// numbers, or on `ticket`, to its game over or given up after `frameLimit` frames.
std::vector<std::uint8_t> recordGame(std::uint32_t seed, std::uint32_t drawsBefore,
                                     std::uint8_t (*actionsOf)(std::uint32_t frame),
                                     std::uint32_t frameLimit = kReplayMaxFrames,
                                     const std::vector<std::uint8_t>& ticket = {}) {
  resumeGameRandom(ticket.empty() ? seed : ticketSeed(ticket), drawsBefore);
  startRecording(ticket);
  GameProgress progress;
  startGame(progress);
  bool alive = true;
  while (alive && progress.frames < frameLimit) {
    const std::uint8_t actions = actionsOf(progress.frames);
    alive = runGameFrame(actions, progress, false);
    recordFrame(actions);
  }
  finishRecording(gScore);
  return encodeReplay(gRecording);
}

std::vector<std::uint8_t> recordScriptedGame(std::uint32_t seed, std::uint32_t drawsBefore) {
  return recordGame(seed, drawsBefore, scriptedActions);
}

// A ticket as the board deals it; the game never checks its signature.
std::vector<std::uint8_t> ticketFor(std::uint32_t seed) {
  std::vector<std::uint8_t> ticket(kTicketSize, 0xA5);
  for (std::int32_t i = 0; i < 4; ++i) ticket[i] = static_cast<std::uint8_t>(seed >> (8 * i));
  return ticket;
}

ReplayVerdict verdictOn(const std::vector<std::uint8_t>& bytes) {
  ReplayVerdict verdict;
  verifyReplay(bytes.data(), bytes.size(), verdict);
  return verdict;
}

// Stores the CRC-32 of a changed file again, as a forger or another build would.
void reseal(std::vector<std::uint8_t>& bytes) {
  std::vector<std::uint8_t> body(bytes.begin(), bytes.end() - 4);
  const std::uint32_t crc = SDL_crc32(0, body.data(), body.size());
  for (std::int32_t i = 0; i < 4; ++i) bytes[bytes.size() - 4 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
}

TEST(ReplayTest, ARecordedGameVerifiesToItsScoreAndAChangedInputSaysWhereItParts) {
  const std::vector<std::uint8_t> bytes = recordScriptedGame(1765000000u, 12345);
  const std::int32_t score = gScore;
  const std::uint32_t frames = static_cast<std::uint32_t>(gRecording.actions.size());
  ASSERT_GT(frames, 300u) << "a game of some length";
  ASSERT_GT(score, 0);

  Replay decoded;
  ASSERT_EQ(decodeReplay(bytes.data(), bytes.size(), decoded), ReplayProblem::kNone);
  EXPECT_EQ(decoded.actions, gRecording.actions);
  EXPECT_EQ(decoded.checks, gRecording.checks);
  EXPECT_EQ(decoded.checks.size(), frames / kReplayCheckInterval);
  EXPECT_EQ(encodeReplay(decoded), bytes);

  gScore = -1;  // whatever the world holds before, the replay starts its own game
  ReplayVerdict verdict = verdictOn(bytes);
  EXPECT_EQ(verdict.status, 0);
  EXPECT_EQ(verdict.problem, ReplayProblem::kNone);
  EXPECT_EQ(verdict.score, score);
  EXPECT_EQ(verdict.recordedScore, score);
  EXPECT_EQ(verdict.frames, frames);
  EXPECT_EQ(verdict.seed, 1765000000u);
  EXPECT_EQ(std::string(verdict.message), "verified: score " + std::to_string(score) + " in " +
                                              std::to_string(frames) + " frames");

  // The attack let go for a few frames in the middle: the next state check tells.
  decoded.actions[150] &= static_cast<std::uint8_t>(~kActionAttack);
  decoded.actions[151] &= static_cast<std::uint8_t>(~kActionAttack);
  verdict = verdictOn(encodeReplay(decoded));
  EXPECT_EQ(verdict.status, 3);
  EXPECT_EQ(std::string(verdict.message).rfind("does not match at frame 200: the recorded game scored " +
                                                    std::to_string(score) + ", this replay " + std::to_string(verdict.score),
                                                0),
            0u)
      << verdict.message;

  // A forged score with the inputs untouched.
  Replay forged = decoded;
  forged.actions = gRecording.actions;
  forged.score = score + 5;
  verdict = verdictOn(encodeReplay(forged));
  EXPECT_EQ(verdict.status, 3);
  EXPECT_EQ(verdict.score, score);
  EXPECT_EQ(std::string(verdict.message), "does not match at frame " + std::to_string(frames) +
                                              ": the recorded game scored " + std::to_string(score + 5) +
                                              ", this replay " + std::to_string(score));

  // Inputs that go on past the game over, a change among them: the game ended before they did.
  Replay prolonged = forged;
  prolonged.score = score;
  prolonged.actions.insert(prolonged.actions.end(), 40, prolonged.actions.back());
  prolonged.actions.insert(prolonged.actions.end(), 10, kActionLeft);
  prolonged.checks.resize(prolonged.actions.size() / kReplayCheckInterval);  // checks of frames never played
  verdict = verdictOn(encodeReplay(prolonged));
  EXPECT_EQ(verdict.status, 3);
  EXPECT_EQ(std::string(verdict.message), "does not match at frame " + std::to_string(frames) +
                                              ": the recorded game scored " + std::to_string(score) +
                                              ", this replay " + std::to_string(score));
}

// Changes worth 127 (the largest one-byte LEB128 number) and 128 (the smallest of two bytes), and a
// change on the last frame of a game given up there.
std::uint8_t boundaryActions(std::uint32_t frame) {
  if (frame < 4) return kActionsAll;                   // 0 x 32 + 31 = 31
  if (frame < 7) return 0;                             // 4 x 32 + 0 = 128
  if (frame < 249) return kActionsAll;                 // 3 x 32 + 31 = 127
  return kActionAttack | kActionUp;                    // frame 249 of 250
}

TEST(ReplayTest, ChangesAtTheEncodingsByteBoundaryAndOnTheLastFrameVerify) {
  const std::vector<std::uint8_t> bytes = recordGame(99, 0, boundaryActions, 250);
  ASSERT_EQ(gRecording.actions.size(), 250u) << "the bird still flies when the game is given up";
  const std::vector<std::uint8_t> changes(bytes.begin() + 40, bytes.begin() + 46);
  EXPECT_EQ(changes, (std::vector<std::uint8_t>{31, 0x80, 0x01, 0x7f, 0xd1, 0x3c}));  // then 242 x 32 + 17
  Replay decoded;
  ASSERT_EQ(decodeReplay(bytes.data(), bytes.size(), decoded), ReplayProblem::kNone);
  EXPECT_EQ(decoded.actions, gRecording.actions);
  EXPECT_STREQ(verdictOn(bytes).message, ("verified: score " + std::to_string(gScore) + " in 250 frames").c_str());
}

// A game on a ticket: the same file as the same game from the ticket's seed would make, but of
// format 2 with the ticket before the changes.
TEST(ReplayTest, AGameOnATicketIsRecordedAsFormat2CarryingItsTicket) {
  const std::vector<std::uint8_t> ticket = ticketFor(1765000000u);
  const std::vector<std::uint8_t> unticketed = recordScriptedGame(1765000000u, 0);
  const std::vector<std::uint8_t> bytes = recordGame(0, 0, scriptedActions, kReplayMaxFrames, ticket);
  EXPECT_EQ(unticketed[4], 1);
  std::vector<std::uint8_t> expected = unticketed;
  expected[4] = 2;
  expected.insert(expected.begin() + 40, ticket.begin(), ticket.end());
  reseal(expected);
  EXPECT_EQ(bytes, expected);

  Replay decoded;
  ASSERT_EQ(decodeReplay(bytes.data(), bytes.size(), decoded), ReplayProblem::kNone);
  EXPECT_EQ(decoded.formatVersion, 2u);
  EXPECT_EQ(decoded.ticket, ticket);
  EXPECT_EQ(encodeReplay(decoded), bytes);
  EXPECT_STREQ(verdictOn(bytes).message, verdictOn(unticketed).message);
}

// A two-minute game recorded by the game itself (the browser test verifies the same file). When
// this fails, a change moved the outcome of recorded games: kRulesVersion must change with it.
TEST(ReplayTest, AGameRecordedUnderTheseRulesStillVerifies) {
  const std::string path = std::string(__FILE__).substr(0, std::string(__FILE__).rfind('/')) + "/recorded-game.zwr";
  std::FILE* file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr) << path;
  std::vector<std::uint8_t> bytes(4096);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
  std::fclose(file);
  const ReplayVerdict verdict = verdictOn(bytes);
  EXPECT_EQ(verdict.rulesVersion, kRulesVersion);
  EXPECT_STREQ(verdict.message, "verified: score 98 in 5105 frames");
}

TEST(ReplayTest, DamagedForeignNewerAndTooLongFilesAreRefusedInOneLine) {
  const std::vector<std::uint8_t> whole = recordScriptedGame(7, 0);
  const std::vector<std::uint8_t> ticketed = recordGame(0, 0, scriptedActions, kReplayMaxFrames, ticketFor(7));
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    ReplayProblem problem;
    const char* message;
  };
  std::vector<Case> cases;
  auto changed = [&](std::size_t offset, std::uint8_t value, bool sealed) {
    std::vector<std::uint8_t> bytes = whole;
    bytes[offset] = value;
    if (sealed) reseal(bytes);
    return bytes;
  };
  cases.push_back({"a flipped input byte", changed(41, whole[41] ^ 4, false), ReplayProblem::kDamaged,
                   "a damaged replay: its bytes do not add up"});
  cases.push_back({"cut short", std::vector<std::uint8_t>(whole.begin(), whole.end() - 9), ReplayProblem::kDamaged,
                   "a damaged replay: its bytes do not add up"});
  cases.push_back({"a picture", {0x89, 'P', 'N', 'G', 13, 10, 26, 10}, ReplayProblem::kForeign, "not a replay of this game"});
  cases.push_back({"empty", {}, ReplayProblem::kForeign, "not a replay of this game"});
  cases.push_back({"format 3", changed(4, 3, false), ReplayProblem::kUnknownFormat,
                   "a replay of format version 3, which this build cannot read (it reads versions 1 and 2)"});
  cases.push_back({"format 1 called 2", changed(4, 2, true), ReplayProblem::kDamaged,
                   "a damaged replay: its bytes do not add up"});
  for (const std::size_t cut : {std::size_t{60}, std::size_t{87}}) {
    std::vector<std::uint8_t> bytes(ticketed.begin(), ticketed.begin() + static_cast<std::ptrdiff_t>(cut));
    reseal(bytes);
    cases.push_back({"format 2 cut inside its ticket", bytes, ReplayProblem::kDamaged,
                     "a damaged replay: its bytes do not add up"});
  }
  const char* const mismatch = "a replay whose seed or draws are not its ticket's: it was not played on that ticket";
  for (const std::size_t offset : {std::size_t{12}, std::size_t{16}}) {
    std::vector<std::uint8_t> bytes = ticketed;
    bytes[offset] ^= 1;
    reseal(bytes);
    cases.push_back({offset == 12 ? "format 2 of another seed" : "format 2 after a draw", bytes,
                     ReplayProblem::kTicketMismatch, mismatch});
  }
  cases.push_back({"rules 9", changed(8, 9, true), ReplayProblem::kUnknownRules,
                   "a replay of rules version 9, which this build does not play (it plays version 1)"});
  cases.push_back({"a day of frames", changed(30, 0x20, true), ReplayProblem::kTooLong,
                   "a replay too long to play: this build plays at most 576000 frames and 1048576 bytes"});
  cases.push_back({"more changes than frames", changed(39, 0x10, true), ReplayProblem::kDamaged,
                   "a damaged replay: its bytes do not add up"});
  for (const Case& refused : cases) {
    SCOPED_TRACE(refused.name);
    const ReplayVerdict verdict = verdictOn(refused.bytes);
    EXPECT_EQ(verdict.status, 2);
    EXPECT_EQ(verdict.problem, refused.problem);
    EXPECT_STREQ(verdict.message, refused.message);
  }
}

// A game longer than a replay may be is played on; only its replay is given up.
TEST(ReplayTest, AGameBeyondTheLimitIsRecordedWithoutAReplay) {
  startRecording();
  for (std::uint32_t frame = 0; frame < kReplayMaxFrames; ++frame) recordFrame(kActionAttack);
  EXPECT_TRUE(gRecordingWhole);
  recordFrame(kActionAttack);
  EXPECT_FALSE(gRecordingWhole);
  EXPECT_TRUE(gRecording.actions.empty());
}

}  // namespace
