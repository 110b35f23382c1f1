// Recorded games for the board's tests, played through the game's own frames without a window,
// and forgeries made from them.
//   record SEED FILE          a game of scripted inputs from SEED, to its game over
//   record-long SEED FILE     a game of the longest kind a replay holds: idle for hours, then firing
//   record-ticket TICKET FILE [IDLE]   a game played on TICKET (its 44 bytes in base64url, as
//                             POST /api/tickets deals it): idle for IDLE frames (default 0), then
//                             scripted inputs to its game over; format 2
//   record-many FIRST COUNT DIR   COUNT games from seeds FIRST on, into DIR/valid, and each
//                             forged as below into DIR/forged
//   forge-score IN OUT        the same game claiming 5 points more, its checksum made anew
//   forge-rules IN OUT        the same game under the next rules version
//   redate IN OUT DATE        the same game, recorded as played at DATE (seconds since 1970), as a
//                             copy of someone else's game would be
//   neutral IN OUT            the same game with attack pressed or let go on every frame of the
//                             fire cooldown, where it fires nothing: other inputs, the same game
//   give-up IN OUT FRAMES     the same game given up after FRAMES frames, as a pause leaves it
//   score FILE                the score the file records
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "app/ticket.h"
#include "game/play.h"
#include "game/player.h"
#include "game/random.h"
#include "game/replay.h"

namespace {

// The butterflies come only after the first shot: until `idleFrames` the bird waits unharmed.
// On a ticket, the game's sequence starts from the ticket's seed, as a game played on it does.
std::vector<std::uint8_t> recordGame(std::uint32_t seed, std::uint32_t idleFrames = 0,
                                     const std::vector<std::uint8_t>& ticket = {}) {
  std::mt19937 inputs(seed);
  resumeGameRandom(seed, 0);
  startRecording(ticket);
  GameProgress progress;
  startGame(progress);
  std::uint8_t actions = 0;
  bool alive = true;
  while (alive) {
    if (progress.frames < idleFrames) {
      actions = 0;
    } else if (progress.frames % 20 == 0) {
      actions = static_cast<std::uint8_t>(inputs() % 32) | kActionAttack;
    }
    alive = runGameFrame(actions, progress, false);
    recordFrame(actions);
  }
  finishRecording(gScore);
  return encodeReplay(gRecording);
}

bool readReplay(const char* path, Replay& replay) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), {});
  return decodeReplay(bytes.data(), bytes.size(), replay) == ReplayProblem::kNone;
}

bool write(const char* path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

// Turns attack over wherever the cooldown keeps it from firing. Fails unless the result plays to
// the same game.
bool holdAttackInCooldowns(Replay& replay) {
  resumeGameRandom(replay.seed, replay.draws);
  GameProgress progress;
  startGame(progress);
  std::uint32_t changed = 0;
  for (std::uint8_t& actions : replay.actions) {
    if (gPlayerCooldown > 1) {
      actions ^= kActionAttack;
      ++changed;
    }
    if (!runGameFrame(actions, progress, false)) break;
  }
  const std::vector<std::uint8_t> bytes = encodeReplay(replay);
  ReplayVerdict verdict{};
  verifyReplay(bytes.data(), bytes.size(), verdict);
  return changed > 0 && verdict.status == 0;
}

// The game given up after `frames` frames: its score and checks as they stood then.
bool giveUpAt(Replay& replay, std::uint32_t frames) {
  if (frames == 0 || frames >= replay.actions.size()) return false;
  resumeGameRandom(replay.seed, replay.draws);
  GameProgress progress;
  startGame(progress);
  replay.checks.clear();
  for (std::uint32_t frame = 0; frame < frames; ++frame) {
    if (!runGameFrame(replay.actions[frame], progress, false)) return false;
    if ((frame + 1) % kReplayCheckInterval == 0) replay.checks.push_back(gameStateCheck());
  }
  replay.actions.resize(frames);
  replay.score = gScore;
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc == 4 && std::strcmp(argv[1], "record") == 0) {
    return write(argv[3], recordGame(static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)))) ? 0 : 1;
  }
  if (argc == 4 && std::strcmp(argv[1], "record-long") == 0) {
    const std::uint32_t seed = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
    return write(argv[3], recordGame(seed, kReplayMaxFrames - 5000 - seed % 1000)) ? 0 : 1;
  }
  std::vector<std::uint8_t> ticket;
  if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "record-ticket") == 0 && decodeBase64Url(argv[2], ticket) &&
      ticket.size() == kTicketSize) {
    const std::uint32_t idle = argc == 5 ? static_cast<std::uint32_t>(std::strtoul(argv[4], nullptr, 10)) : 0;
    return write(argv[3], recordGame(ticketSeed(ticket), idle, ticket)) ? 0 : 1;
  }
  if (argc == 5 && std::strcmp(argv[1], "record-many") == 0) {
    const std::uint32_t first = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
    const std::uint32_t count = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10));
    for (std::uint32_t seed = first; seed < first + count; ++seed) {
      std::vector<std::uint8_t> bytes = recordGame(seed);
      const std::string name = "/" + std::to_string(seed) + ".replay";
      Replay forged;
      decodeReplay(bytes.data(), bytes.size(), forged);
      forged.score += 5;
      if (!write((argv[4] + std::string("/valid") + name).c_str(), bytes) ||
          !write((argv[4] + std::string("/forged") + name).c_str(), encodeReplay(forged))) {
        return 1;
      }
    }
    return 0;
  }
  Replay replay;
  if (argc == 3 && std::strcmp(argv[1], "score") == 0 && readReplay(argv[2], replay)) {
    std::printf("%d\n", static_cast<int>(replay.score));
    return 0;
  }
  if (argc == 4 && std::strcmp(argv[1], "forge-score") == 0 && readReplay(argv[2], replay)) {
    replay.score += 5;
    return write(argv[3], encodeReplay(replay)) ? 0 : 1;
  }
  if (argc == 4 && std::strcmp(argv[1], "forge-rules") == 0 && readReplay(argv[2], replay)) {
    replay.rulesVersion = kRulesVersion + 1;
    return write(argv[3], encodeReplay(replay)) ? 0 : 1;
  }
  if (argc == 5 && std::strcmp(argv[1], "redate") == 0 && readReplay(argv[2], replay)) {
    replay.date = std::strtoll(argv[4], nullptr, 10);
    return write(argv[3], encodeReplay(replay)) ? 0 : 1;
  }
  if (argc == 5 && std::strcmp(argv[1], "give-up") == 0 && readReplay(argv[2], replay)) {
    return giveUpAt(replay, static_cast<std::uint32_t>(std::strtoul(argv[4], nullptr, 10))) &&
                   write(argv[3], encodeReplay(replay))
               ? 0
               : 1;
  }
  if (argc == 4 && std::strcmp(argv[1], "neutral") == 0 && readReplay(argv[2], replay)) {
    return holdAttackInCooldowns(replay) && write(argv[3], encodeReplay(replay)) ? 0 : 1;
  }
  std::fprintf(stderr, "replay_maker: misused or unreadable replay\n");
  return 2;
}
