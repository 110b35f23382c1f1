// Recorded games for the board's tests, played through the game's own frames without a window,
// and forgeries made from them:
//   record SEED FILE            scripted inputs from SEED to the game over
//   record-long SEED FILE       the longest kind a replay holds: idle for hours, then firing
//   record-ticket TICKET FILE [IDLE]   played on TICKET (base64url, as POST /api/tickets deals it),
//                               idle for IDLE frames first; format 2
//   record-many FIRST COUNT DIR COUNT games from seed FIRST on into DIR/valid, forged into DIR/forged
//   forge-score IN OUT          claiming 5 points more, its checksum made anew
//   forge-rules IN OUT          under the next rules version
//   redate IN OUT DATE          recorded as played at DATE (seconds since 1970), as a copy would be
//   neutral IN OUT              attack turned over wherever the cooldown fires nothing: the same game
//   give-up IN OUT FRAMES       given up after FRAMES frames, as a pause leaves it
//   go-on IN OUT FRAMES         its last inputs held FRAMES frames past the game over
//   score FILE                  the score it records
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

// The butterflies come only after the first shot: until `idleFrames` the bird waits unharmed. On
// a ticket, the sequence starts from the ticket's seed, as a game played on it does.
std::vector<std::uint8_t> recordGame(std::uint32_t seed, std::uint32_t idleFrames = 0, const std::vector<std::uint8_t>& ticket = {}) {
  std::mt19937 inputs(seed);
  resumeGameRandom(seed, 0);
  startRecording(ticket);
  GameProgress progress;
  startGame(progress);
  std::uint8_t actions = 0;
  for (bool alive = true; alive; recordFrame(actions)) {
    if (progress.frames < idleFrames) {
      actions = 0;
    } else if (progress.frames % 20 == 0) {
      actions = static_cast<std::uint8_t>(inputs() % 32) | kActionAttack;
    }
    alive = runGameFrame(actions, progress, false);
  }
  finishRecording(gScore);
  return encodeReplay(gRecording);
}

bool write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary);
  return static_cast<bool>(file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())));
}

}  // namespace

int main(int argc, char* argv[]) {
  std::string command = argc > 1 ? argv[1] : "";
  const auto number = [&](int index) { return static_cast<std::uint32_t>(std::strtoul(argv[index], nullptr, 10)); };
  std::vector<std::uint8_t> ticket;
  if (argc == 4 && command == "record") return write(argv[3], recordGame(number(2))) ? 0 : 1;
  if (argc == 4 && command == "record-long") return write(argv[3], recordGame(number(2), kReplayMaxFrames - 5000 - number(2) % 1000)) ? 0 : 1;
  if ((argc == 4 || argc == 5) && command == "record-ticket" && decodeBase64Url(argv[2], ticket) && ticket.size() == kTicketSize) {
    return write(argv[3], recordGame(ticketSeed(ticket), argc == 5 ? number(4) : 0, ticket)) ? 0 : 1;
  }
  if (argc == 5 && command == "record-many") {
    for (std::uint32_t seed = number(2); seed < number(2) + number(3); ++seed) {
      const std::vector<std::uint8_t> bytes = recordGame(seed);
      Replay forged;
      decodeReplay(bytes.data(), bytes.size(), forged);
      forged.score += 5;
      const std::string name = "/" + std::to_string(seed) + ".replay";
      if (!write(argv[4] + ("/valid" + name), bytes) || !write(argv[4] + ("/forged" + name), encodeReplay(forged))) return 1;
    }
    return 0;
  }
  Replay game;
  std::ifstream file(argc > 2 ? argv[2] : "", std::ios::binary);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), {});
  if (argc < 3 || decodeReplay(bytes.data(), bytes.size(), game) != ReplayProblem::kNone) command.clear();
  if (argc == 3 && command == "score") return std::printf("%d\n", static_cast<int>(game.score)) < 0;
  bool made = argc == 4 && (command == "forge-score" || command == "forge-rules" || command == "neutral");
  if (command == "forge-score") game.score += 5;
  if (command == "forge-rules") game.rulesVersion = kRulesVersion + 1;
  if (argc == 5 && command == "redate") made = true, game.date = std::strtoll(argv[4], nullptr, 10);
  GameProgress progress;
  resumeGameRandom(game.seed, game.draws);
  startGame(progress);
  if (command == "neutral") {  // attack turned over on each frame the cooldown holds it back: the same game
    std::uint32_t changed = 0;
    for (std::uint8_t& actions : game.actions) {
      if (gPlayerCooldown > 1) actions ^= kActionAttack, ++changed;
      if (!runGameFrame(actions, progress, false)) break;
    }
    const std::vector<std::uint8_t> neutral = encodeReplay(game);
    ReplayVerdict verdict{};
    verifyReplay(neutral.data(), neutral.size(), verdict);
    made = made && changed > 0 && verdict.status == 0;
  }
  if (argc == 5 && command == "give-up" && number(4) > 0 && number(4) < game.actions.size()) {  // its score and checks as they stood
    game.checks.clear();
    made = true;
    for (std::uint32_t frame = 0; frame < number(4) && made; ++frame) {
      made = runGameFrame(game.actions[frame], progress, false);
      if ((frame + 1) % kReplayCheckInterval == 0) game.checks.push_back(gameStateCheck());
    }
    game.actions.resize(number(4));
    game.score = gScore;
  }
  if (argc == 5 && command == "go-on") {
    made = true;
    game.actions.insert(game.actions.end(), number(4), game.actions.back());
    game.checks.resize(game.actions.size() / kReplayCheckInterval);
  }
  if (made) return write(argv[3], encodeReplay(game)) ? 0 : 1;
  std::fprintf(stderr, "replay_maker: misused or unreadable replay\n");
  return 2;
}
