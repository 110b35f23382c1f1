// Replays: a seeded game recorded at the rules level, its file, and the verdicts on it and on
// files that were changed, cut, foreign or too new.
#include "game/replay.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "game/play.h"
#include "game/player.h"
#include "game/random.h"

namespace {

// The actions of frame `frame` in a game that fires all the time and weaves up and down.
std::uint8_t scriptedActions(std::uint32_t frame) {
  return kActionAttack | ((frame / 60) % 2 == 1 ? kActionUp : kActionDown);
}

// Plays and records a game from `seed` to its game over, as play() does but without a window.
std::vector<std::uint8_t> recordScriptedGame(std::uint32_t seed, std::uint32_t drawsBefore) {
  resumeGameRandom(seed, drawsBefore);
  startRecording();
  GameProgress progress;
  startGame(progress);
  bool alive = true;
  while (alive) {
    const std::uint8_t actions = scriptedActions(progress.frames);
    alive = runGameFrame(actions, progress, false);
    recordFrame(actions);
  }
  finishRecording(gScore);
  return encodeReplay(gRecording);
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
  cases.push_back({"format 2", changed(4, 2, false), ReplayProblem::kUnknownFormat,
                   "a replay of format version 2, which this build cannot read (it reads version 1)"});
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
