// Replay figures: games played at the rules level by a pilot that dodges until a chosen frame and
// then flies straight on, recorded as play() records them; prints each replay's size and how many
// times faster than real time verifyReplay plays it (best of five, one core). With a directory
// argument, the replay files are written there as well.
//
//   zellworth_replay_bench [DIRECTORY]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "game/enemies.h"
#include "game/play.h"
#include "game/player.h"
#include "game/projectiles.h"
#include "game/random.h"
#include "game/replay.h"

namespace {

constexpr std::int32_t kLookAhead = 25;  // frames the pilot looks ahead

// How close anything dangerous comes to the bird's box if it keeps `vy` for the look-ahead, in
// tenths of a pixel: the smaller, the worse.
std::int32_t clearance(std::int32_t vy) {
  std::int32_t y = gPlayerY;
  std::int32_t worst = 1 << 30;
  for (std::int32_t ahead = 1; ahead <= kLookAhead; ++ahead) {
    y = std::min(4600, std::max(-700, y + vy));
    auto consider = [&](std::int32_t x, std::int32_t top, std::int32_t vx) {
      const std::int32_t dx = x + vx * ahead - gPlayerX;
      if (dx < -300 || dx > 1300) return;
      const std::int32_t dy = top - y;
      const std::int32_t gap = dy < 300 ? 300 - dy : (dy > 1100 ? dy - 1100 : 0);
      worst = std::min(worst, gap);
    };
    for (std::int32_t i = 0; i < gNumberOfEnemyProjectiles2; ++i) {
      consider(gEnemyProjectileList2[i].x, gEnemyProjectileList2[i].y + 300, gEnemyProjectileList2[i].vx);
    }
    for (std::int32_t i = 0; i < gNumberOfEnemies; ++i) consider(gEnemyList[i][kEnemyX], gEnemyList[i][kEnemyY], -30);
  }
  return worst;
}

// The bird's height that puts its shots on the butterfly nearest in front of it; its start
// height when there is none.
std::int32_t aimHeight() {
  std::int32_t nearest = -1;
  for (std::int32_t i = 0; i < gNumberOfEnemies; ++i) {
    if (gEnemyList[i][kEnemyX] < gPlayerX + 1200) continue;
    if (nearest < 0 || gEnemyList[i][kEnemyX] < gEnemyList[nearest][kEnemyX]) nearest = i;
  }
  return nearest < 0 ? kPlayerStartY : gEnemyList[nearest][kEnemyY] - 775;
}

// Fires all the time; until `dodgeUntil` steers toward the next butterfly's height unless that
// comes too close to something, then takes the safest way; after it, flies to the middle and
// stays there.
std::uint8_t pilot(std::uint32_t frame, std::uint32_t dodgeUntil) {
  // The longest game hides at the top edge, where few butterflies fly.
  const std::int32_t target = frame >= dodgeUntil ? kPlayerStartY : dodgeUntil > 100000 ? -700 : aimHeight();
  std::int32_t wanted = 0;
  if (target < gPlayerY - 60) wanted = -kPlayerSpeedStraight;
  if (target > gPlayerY + 60) wanted = kPlayerSpeedStraight;
  if (frame < dodgeUntil && clearance(wanted) < 400) {
    const std::int32_t choices[] = {0, -kPlayerSpeedStraight, kPlayerSpeedStraight};
    std::int32_t best = clearance(wanted);
    for (std::int32_t vy : choices) {
      if (clearance(vy) > best) {
        best = clearance(vy);
        wanted = vy;
      }
    }
  }
  std::uint8_t actions = kActionAttack;
  if (wanted < 0) actions |= kActionUp;
  if (wanted > 0) actions |= kActionDown;
  return actions;
}

}  // namespace

int main(int argc, char** argv) {
  const char* directory = argc > 1 ? argv[1] : nullptr;
  std::printf("| game | frames | minutes | score | replay bytes | verify ms | times real time |\n|---|---:|---:|---:|---:|---:|---:|\n");
  const std::uint32_t dodgeUntil[] = {1000, 4600, 24000, 144000};
  for (std::uint32_t until : dodgeUntil) {
    resumeGameRandom(1765100000u + until, 0);
    startRecording();
    GameProgress progress;
    startGame(progress);
    bool alive = true;
    while (alive && progress.frames < kReplayMaxFrames) {
      const std::uint8_t actions = pilot(progress.frames, until);
      alive = runGameFrame(actions, progress, false);
      recordFrame(actions);
    }
    finishRecording(gScore);
    const std::vector<std::uint8_t> bytes = encodeReplay(gRecording);
    double best = 1e30;
    ReplayVerdict verdict{};
    for (std::int32_t run = 0; run < 5; ++run) {
      const auto start = std::chrono::steady_clock::now();
      verifyReplay(bytes.data(), bytes.size(), verdict);
      best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    if (verdict.status != 0) std::fprintf(stderr, "not verified: %s\n", verdict.message);
    const double seconds = progress.frames * kFrameMilliseconds / 1000.0;
    std::printf("| dodging until frame %u | %u | %.1f | %d | %zu | %.1f | %.0f |\n", until, progress.frames,
                seconds / 60, gScore, bytes.size(), best * 1000, seconds / best);
    if (directory != nullptr) {
      const std::string path = std::string(directory) + "/game-" + std::to_string(progress.frames) + ".zwr";
      FILE* file = std::fopen(path.c_str(), "wb");
      if (file != nullptr) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
      }
    }
  }
  return 0;
}
