// The frame operations at full load (999 butterflies, their full pool of shots, an invulnerable
// bird, random keys): every count and record keeps its rules, and the game's own code allocates
// nothing; SDL_RenderCopy, wrapped at link time, has its allocations counted apart.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "app/platform.h"
#include "game/collisions.h"
#include "game/enemies.h"
#include "game/play.h"
#include "game/player.h"
#include "game/projectiles.h"
#include "game/random.h"
#include "support/harness.h"
#include "text/font.h"

namespace {
std::atomic<long> gAllocations[2];  // by the game's code, inside SDL_RenderCopy
std::atomic<bool> gInsideCopy{false};
void countAllocation() { gAllocations[gInsideCopy.load(std::memory_order_relaxed)].fetch_add(1, std::memory_order_relaxed); }
}  // namespace

extern "C" int __real_SDL_RenderCopy(SDL_Renderer*, SDL_Texture*, const SDL_Rect*, const SDL_Rect*);
extern "C" int __wrap_SDL_RenderCopy(SDL_Renderer* renderer, SDL_Texture* texture, const SDL_Rect* source, const SDL_Rect* destination) {
  gInsideCopy = true;
  const int result = __real_SDL_RenderCopy(renderer, texture, source, destination);
  gInsideCopy = false;
  return result;
}

// Counted through AddressSanitizer's hooks, or replacements of the C library's allocation functions.
#if defined(__SANITIZE_ADDRESS__)
#define SOAK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SOAK_ASAN 1
#endif
#endif
#ifdef SOAK_ASAN
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, std::size_t), void (*)(const volatile void*));
[[maybe_unused]] static const int kHooks = __sanitizer_install_malloc_and_free_hooks(
    [](const volatile void*, std::size_t) { countAllocation(); }, [](const volatile void*) {});
#else
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void* malloc(std::size_t size) { return countAllocation(), __libc_malloc(size); }
void* calloc(std::size_t count, std::size_t size) { return countAllocation(), __libc_calloc(count, size); }
void* realloc(void* pointer, std::size_t size) { return countAllocation(), __libc_realloc(pointer, size); }
void* memalign(std::size_t alignment, std::size_t size) { return countAllocation(), __libc_memalign(alignment, size); }
void* aligned_alloc(std::size_t alignment, std::size_t size) { return memalign(alignment, size); }
int posix_memalign(void** result, std::size_t alignment, std::size_t size) {
  *result = memalign(alignment, size);
  return *result == nullptr ? ENOMEM : 0;
}
}
#endif

namespace {

// The first rule a frame broke, in a fixed buffer: nothing is allocated while frames run.
char gViolation[256] = "";

void check(bool kept, std::int32_t frame, const char* rule, std::int32_t index, std::int32_t value) {
  if (!kept && gViolation[0] == '\0') snprintf(gViolation, sizeof gViolation, "frame %d: %s %d: %d", frame, rule, index, value);
}

void checkPool(std::int32_t frame, const Projectile* pool, std::int32_t count, std::int32_t capacity, const char* name) {
  check(count >= 0 && count <= capacity, frame, name, -1, count);
  for (std::int32_t i = 0; i < count && i < capacity; ++i) {
    const Projectile& shot = pool[i];
    check(shot.x >= kFieldMinX && shot.x <= kFieldMaxX && shot.y >= kFieldMinY && shot.y <= kFieldMaxY, frame, name, i, shot.x);
  }
}

void checkFrame(std::int32_t frame) {
  check(gNumberOfEnemies >= 0 && gNumberOfEnemies <= kMaxSpawnedEnemies, frame, "butterflies", -1, gNumberOfEnemies);
  for (std::int32_t i = 0; i < gNumberOfEnemies && i < kEnemyCapacity; ++i) {
    const std::int32_t* enemy = gEnemyList[i];
    const std::int32_t path = enemy[kEnemyPathIndex];
    check(path == 13 || path == 16 || path == 19 || path == 22, frame, "butterfly path index", i, path);
    check(enemy[kEnemySegmentFramesLeft] >= 1 && enemy[kEnemySegmentFramesLeft] <= 20, frame, "butterfly frames left", i, enemy[kEnemySegmentFramesLeft]);
    check(enemy[kEnemyAnimationCounter] >= 0 && enemy[kEnemyAnimationCounter] <= 34, frame, "butterfly wing beat", i, enemy[kEnemyAnimationCounter]);
    check(enemy[kEnemyFireCooldown] >= 0 && enemy[kEnemyFireCooldown] <= 99, frame, "butterfly cooldown", i, enemy[kEnemyFireCooldown]);
  }
  checkPool(frame, gPlayerProjectileList, gNumberOfPlayerProjectiles, kPlayerProjectileCapacity, "player shot");
  checkPool(frame, gEnemyProjectileList1, gNumberOfEnemyProjectiles1, 0, "first butterfly pool");
  checkPool(frame, gEnemyProjectileList2, gNumberOfEnemyProjectiles2, kEnemyProjectileCapacity2, "butterfly shot");
  check(gScore >= 0, frame, "score", -1, gScore);
}

constexpr std::int32_t kRisingFrames = 2000;  // of the spawn rule alone before the pool is topped up

// Frames in the game's order; from kRisingFrames on, the pool is topped up with 999 butterflies
// about to fire, and a few fire at once, so that their shots fill their pool.
class SoakTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(testing_support::useSoftwareRendererWithMedia(), 0);
    testing_support::resetToStartUpState();
    srand(20240611);
    seedGameRandom(20240611);
    GameProgress progress;
    startGame(progress);
    gPlayerShots = kShotsBase + 1;  // the briefing is over
  }
  void TearDown() override { testing_support::releaseSoftwareRenderer(); }

  void runFrame(std::int32_t frame, bool draw) {
    if (keys_() % 6 == 0) held_[keys_() % 5] ^= 1;  // up, down, left, right, attack
    if (gPlayerCooldown != 0) gPlayerCooldown -= 1;
    gPlayerInputX = held_[3] - held_[2];
    gPlayerInputY = held_[1] - held_[0];
    movePlayer();
    const std::int32_t butterflies = gNumberOfEnemies;
    moveEnemies();
    mostShots = std::max(mostShots, gNumberOfEnemyProjectiles2);
    fullFrames += butterflies == kMaxSpawnedEnemies && gNumberOfEnemyProjectiles2 == kEnemyProjectileCapacity2;
    moveProjectiles();
    testPlayerProjectileOnEnemies();
    testProjectiles2OnPlayer();
    testEnemiesOnPlayer();
    if (held_[4] != 0 && gPlayerCooldown == 0) shootPlayerProjectile(), gPlayerCooldown = kFireCooldownFrames;
    if (draw) drawWorld(), renderHP(), drawScoreLine(), SDL_RenderPresent(gRenderer);
    gPlayerHP = kPlayerStartHP;
    runSpawnSchedule(countdown_);
    for (; frame >= kRisingFrames && gNumberOfEnemies < kMaxSpawnedEnemies;) {
      addRandomEnemy();
      gEnemyList[gNumberOfEnemies - 1][kEnemyX] = 6000 + rand() % 2001;
      gEnemyList[gNumberOfEnemies - 1][kEnemyFireCooldown] = rand() % 5;
    }
    for (std::int32_t urged = 0; frame >= kRisingFrames && urged < 20; ++urged) gEnemyList[rand() % gNumberOfEnemies][kEnemyFireCooldown] = 0;
    mostButterflies = std::max(mostButterflies, gNumberOfEnemies);
  }

  // Runs frames [from, to), drawing them or not, and returns the allocations meanwhile.
  std::vector<long> run(std::int32_t from, std::int32_t to, bool draw) {
    const long before[2] = {gAllocations[0], gAllocations[1]};
    for (std::int32_t frame = from; frame < to; ++frame) runFrame(frame, draw), checkFrame(frame);
    return {gAllocations[0] - before[0], gAllocations[1] - before[1]};
  }

  // Frames in which 999 butterflies moved and fired until their 1000 shots filled the pool.
  std::int32_t fullFrames = 0, mostShots = 0, mostButterflies = 0;
  std::minstd_rand keys_{7};
  std::int32_t held_[5] = {0, 0, 0, 0, 0};
  std::int32_t countdown_ = kFirstSpawnFrames;
};

// 100,000 frames of logic, then 1500 drawn on the software renderer after 20 for its first allocations.
TEST_F(SoakTest, HundredThousandFramesAtFullLoadKeepEveryPoolInItsRulesAndAllocateNothing) {
  const std::vector<long> allocations = run(0, 100000, false);
  EXPECT_STREQ(gViolation, "");
  EXPECT_EQ(std::vector<std::int32_t>({mostButterflies, mostShots}), std::vector<std::int32_t>({999, 1000}));
  EXPECT_GT(fullFrames, 50000);
  EXPECT_EQ(allocations[0] + allocations[1], 0);
  run(100000, 100020, true);
  fullFrames = 0;
  const std::vector<long> drawing = run(100020, 101520, true);
  EXPECT_STREQ(gViolation, "");
  EXPECT_GT(fullFrames, 0);
  EXPECT_EQ(drawing[0], 0);
  printf("100000 frames, %ld allocations; 1500 drawn, %ld by the game, %ld inside SDL_RenderCopy\n", allocations[0], drawing[0], drawing[1]);
}

}  // namespace
