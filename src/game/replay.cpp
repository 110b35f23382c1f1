// Recorded games: the replay file's bytes, recording the game being played, and verifying a
// replay through the game's own frames.
#include "game/replay.h"

#include <SDL.h>

#include <cstdio>
#include <ctime>

#include "game/enemies.h"
#include "game/play.h"
#include "game/player.h"
#include "game/projectiles.h"
#include "game/random.h"

Replay gRecording = {};
bool gRecordingWhole = false;

namespace {

constexpr std::uint8_t kMagic[4] = {'Z', 'W', 'R', 'P'};
constexpr std::uint32_t kActionBits = 5;
constexpr std::size_t kChecksumSize = 4;
constexpr std::size_t kLongestChange = 4;  // LEB128 bytes of kReplayMaxFrames * 32 + 31
static_assert((std::uint64_t{kReplayMaxFrames} << kActionBits) < (1u << 28), "a change fits four bytes");

void putUint32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
  for (std::int32_t shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint32_t uint32At(const std::uint8_t* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// Feeds a value's four little-endian bytes into a running CRC-32.
std::uint32_t crcOf(std::uint32_t crc, std::int32_t value) {
  std::uint8_t bytes[4];
  for (std::int32_t i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * i));
  return SDL_crc32(crc, bytes, sizeof bytes);
}

std::uint32_t crcOfShots(std::uint32_t crc, const Projectile* shots, std::int32_t count) {
  crc = crcOf(crc, count);
  for (std::int32_t i = 0; i < count; ++i) {
    crc = crcOf(crc, shots[i].x);
    crc = crcOf(crc, shots[i].y);
    crc = crcOf(crc, shots[i].vx);
    crc = crcOf(crc, shots[i].vy);
  }
  return crc;
}

}  // namespace

std::vector<std::uint8_t> encodeReplay(const Replay& replay) {
  std::vector<std::uint8_t> bytes(kMagic, kMagic + sizeof kMagic);
  putUint32(bytes, replay.ticket.empty() ? kReplayFormatUnticketed : kReplayFormatTicketed);
  putUint32(bytes, replay.rulesVersion);
  putUint32(bytes, replay.seed);
  putUint32(bytes, replay.draws);
  putUint32(bytes, static_cast<std::uint32_t>(replay.date));
  putUint32(bytes, static_cast<std::uint32_t>(static_cast<std::uint64_t>(replay.date) >> 32));
  putUint32(bytes, static_cast<std::uint32_t>(replay.actions.size()));
  putUint32(bytes, static_cast<std::uint32_t>(replay.score));
  const std::size_t changeCountOffset = bytes.size();
  putUint32(bytes, 0);
  bytes.insert(bytes.end(), replay.ticket.begin(), replay.ticket.end());

  std::uint32_t changes = 0;
  std::uint8_t held = 0;
  std::uint32_t lastChange = 0;
  for (std::uint32_t frame = 0; frame < replay.actions.size(); ++frame) {
    if (replay.actions[frame] == held) continue;
    held = replay.actions[frame];
    std::uint32_t value = (frame - lastChange) << kActionBits | held;
    while (value >= 0x80) {
      bytes.push_back(static_cast<std::uint8_t>(value | 0x80));
      value >>= 7;
    }
    bytes.push_back(static_cast<std::uint8_t>(value));
    lastChange = frame;
    changes += 1;
  }
  for (std::int32_t i = 0; i < 4; ++i) bytes[changeCountOffset + i] = static_cast<std::uint8_t>(changes >> (8 * i));
  for (std::uint32_t check : replay.checks) putUint32(bytes, check);
  putUint32(bytes, SDL_crc32(0, bytes.data(), bytes.size()));
  return bytes;
}

ReplayProblem decodeReplay(const std::uint8_t* bytes, std::size_t size, Replay& replay) {
  replay = Replay{};
  if (size < sizeof kMagic || SDL_memcmp(bytes, kMagic, sizeof kMagic) != 0) return ReplayProblem::kForeign;
  if (size < kReplayHeaderSize + kChecksumSize) return ReplayProblem::kDamaged;
  replay.formatVersion = uint32At(bytes + 4);
  if (replay.formatVersion != kReplayFormatUnticketed && replay.formatVersion != kReplayFormatTicketed) {
    return ReplayProblem::kUnknownFormat;
  }
  const std::size_t changesStart = kReplayHeaderSize + (replay.formatVersion == kReplayFormatTicketed ? kTicketSize : 0);
  if (size < changesStart + kChecksumSize) return ReplayProblem::kDamaged;
  if (size > kReplayMaxSize) return ReplayProblem::kTooLong;
  if (SDL_crc32(0, bytes, size - kChecksumSize) != uint32At(bytes + size - kChecksumSize)) return ReplayProblem::kDamaged;

  replay.rulesVersion = uint32At(bytes + 8);
  replay.seed = uint32At(bytes + 12);
  replay.draws = uint32At(bytes + 16);
  replay.date = static_cast<std::int64_t>(uint32At(bytes + 20) | std::uint64_t{uint32At(bytes + 24)} << 32);
  const std::uint32_t frames = uint32At(bytes + 28);
  replay.score = static_cast<std::int32_t>(uint32At(bytes + 32));
  const std::uint32_t changes = uint32At(bytes + 36);
  if (frames > kReplayMaxFrames || replay.draws > kReplayMaxDraws) return ReplayProblem::kTooLong;
  if (frames == 0 || changes > frames) return ReplayProblem::kDamaged;
  const std::size_t checkBytes = std::size_t{frames / kReplayCheckInterval} * 4;
  if (size < changesStart + changes + checkBytes + kChecksumSize) return ReplayProblem::kDamaged;
  const std::size_t changesEnd = size - kChecksumSize - checkBytes;
  replay.ticket.assign(bytes + kReplayHeaderSize, bytes + changesStart);

  // The changes fill the frames up to each one with the actions held before it.
  replay.actions.reserve(frames);
  std::size_t at = changesStart;
  std::uint8_t held = 0;
  std::uint32_t frame = 0;
  for (std::uint32_t change = 0; change < changes; ++change) {
    std::uint32_t value = 0;
    std::size_t length = 0;
    for (;;) {
      if (at >= changesEnd || length == kLongestChange) return ReplayProblem::kDamaged;
      const std::uint8_t byte = bytes[at++];
      value |= static_cast<std::uint32_t>(byte & 0x7f) << (7 * length++);
      if ((byte & 0x80) != 0) continue;
      if (byte == 0 && length > 1) return ReplayProblem::kDamaged;  // one value, one way to write it
      break;
    }
    const std::uint32_t gap = value >> kActionBits;
    const std::uint8_t actions = static_cast<std::uint8_t>(value & kActionsAll);
    if (actions == held || (change != 0 && gap == 0) || gap >= frames - frame) return ReplayProblem::kDamaged;
    replay.actions.insert(replay.actions.end(), gap, held);
    frame += gap;
    held = actions;
  }
  if (at != changesEnd) return ReplayProblem::kDamaged;
  replay.actions.insert(replay.actions.end(), frames - frame, held);
  for (std::size_t check = 0; check < checkBytes; check += 4) replay.checks.push_back(uint32At(bytes + at + check));
  // A game on a ticket starts its sequence afresh from the ticket's seed: a file that says
  // otherwise claims a ticket it was not played on.
  if (!replay.ticket.empty() && (replay.seed != ticketSeed(replay.ticket) || replay.draws != 0)) {
    return ReplayProblem::kTicketMismatch;
  }
  if (replay.rulesVersion != kRulesVersion) return ReplayProblem::kUnknownRules;
  return ReplayProblem::kNone;
}

void describeReplayProblem(ReplayProblem problem, const Replay& replay, char* text, std::size_t size) {
  switch (problem) {
    case ReplayProblem::kNone:
      snprintf(text, size, "a whole replay");
      break;
    case ReplayProblem::kDamaged:
      snprintf(text, size, "a damaged replay: its bytes do not add up");
      break;
    case ReplayProblem::kForeign:
      snprintf(text, size, "not a replay of this game");
      break;
    case ReplayProblem::kUnknownFormat:
      snprintf(text, size, "a replay of format version %u, which this build cannot read (it reads versions %u and %u)",
               replay.formatVersion, kReplayFormatUnticketed, kReplayFormatTicketed);
      break;
    case ReplayProblem::kUnknownRules:
      snprintf(text, size, "a replay of rules version %u, which this build does not play (it plays version %u)",
               replay.rulesVersion, kRulesVersion);
      break;
    case ReplayProblem::kTooLong:
      snprintf(text, size, "a replay too long to play: this build plays at most %u frames and %u bytes",
               kReplayMaxFrames, static_cast<std::uint32_t>(kReplayMaxSize));
      break;
    case ReplayProblem::kTicketMismatch:
      snprintf(text, size, "a replay whose seed or draws are not its ticket's: it was not played on that ticket");
      break;
  }
}

std::uint32_t gameStateCheck() {
  std::uint32_t crc = 0;
  for (std::int32_t value : {gScore, gPlayerX, gPlayerY, gPlayerVelocityX, gPlayerVelocityY, gPlayerHP,
                             gPlayerCooldown, gPlayerShots, static_cast<std::int32_t>(gRandomDraws)}) {
    crc = crcOf(crc, value);
  }
  crc = crcOf(crc, gNumberOfEnemies);
  for (std::int32_t i = 0; i < gNumberOfEnemies; ++i) {
    const std::int32_t* enemy = gEnemyList[i];
    for (std::int32_t field : {kEnemyX, kEnemyY, kEnemyFireCooldown, kEnemyPathIndex, kEnemySegmentFramesLeft}) {
      crc = crcOf(crc, enemy[field]);
    }
  }
  crc = crcOfShots(crc, gPlayerProjectileList, gNumberOfPlayerProjectiles);
  crc = crcOfShots(crc, gEnemyProjectileList1, gNumberOfEnemyProjectiles1);
  return crcOfShots(crc, gEnemyProjectileList2, gNumberOfEnemyProjectiles2);
}

void startRecording(const std::vector<std::uint8_t>& ticket) {
  gRecording = Replay{};
  gRecording.formatVersion = ticket.empty() ? kReplayFormatUnticketed : kReplayFormatTicketed;
  gRecording.rulesVersion = kRulesVersion;
  gRecording.seed = gRandomSeed;
  gRecording.draws = gRandomDraws;
  gRecording.ticket = ticket;
  gRecordingWhole = gRandomDraws <= kReplayMaxDraws;
}

void recordFrame(std::uint8_t actions) {
  if (!gRecordingWhole) return;
  if (gRecording.actions.size() >= kReplayMaxFrames) {
    gRecordingWhole = false;
    gRecording.actions = {};
    gRecording.checks = {};
    return;
  }
  gRecording.actions.push_back(actions);
  if (gRecording.actions.size() % kReplayCheckInterval == 0) gRecording.checks.push_back(gameStateCheck());
}

void finishRecording(std::int32_t score) {
  gRecording.score = score;
  gRecording.date = static_cast<std::int64_t>(time(nullptr));
}

void verifyReplay(const std::uint8_t* bytes, std::size_t size, ReplayVerdict& verdict) {
  verdict = ReplayVerdict{};
  Replay replay;
  verdict.problem = decodeReplay(bytes, size, replay);
  verdict.recordedScore = replay.score;
  verdict.rulesVersion = replay.rulesVersion;
  verdict.seed = replay.seed;
  verdict.date = replay.date;
  verdict.recordedFrames = static_cast<std::uint32_t>(replay.actions.size());
  if (verdict.problem != ReplayProblem::kNone) {
    verdict.status = 2;
    describeReplayProblem(verdict.problem, replay, verdict.message, sizeof verdict.message);
    return;
  }

  // Played to the game's end even past the first difference, so that the score is this build's.
  resumeGameRandom(replay.seed, replay.draws);
  GameProgress progress;
  startGame(progress);
  std::uint32_t partedAt = 0;
  const std::uint32_t frames = static_cast<std::uint32_t>(replay.actions.size());
  bool alive = true;
  while (alive && progress.frames < frames) {
    alive = runGameFrame(replay.actions[progress.frames], progress, false);
    if (progress.frames % kReplayCheckInterval == 0 && partedAt == 0 &&
        replay.checks[progress.frames / kReplayCheckInterval - 1] != gameStateCheck()) {
      partedAt = progress.frames;
    }
  }
  // The recorded game ended on its last frame with its score: at game over, or given up in a
  // pause, which leaves the bird flying when the inputs end.
  if (partedAt == 0 && (progress.frames != frames || gScore != replay.score)) partedAt = progress.frames;
  verdict.score = gScore;
  verdict.frames = progress.frames;
  if (partedAt == 0) {
    snprintf(verdict.message, sizeof verdict.message, "verified: score %d in %u frames", gScore, progress.frames);
    return;
  }
  verdict.status = 3;
  snprintf(verdict.message, sizeof verdict.message,
           "does not match at frame %u: the recorded game scored %d, this replay %d", partedAt, replay.score, gScore);
}
