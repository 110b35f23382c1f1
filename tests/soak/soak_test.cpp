// Long runs at full load: the real frame operations for 100,000 frames with random held keys,
// 999 butterflies and a full pool of their shots, an invulnerable bird; after every frame every
// count stays within its capacity, every live record within the field's rules and the score at
// 0 or above. Every heap allocation of the process is counted while the frames run: the game
// logic must make none; while drawing, the game's code must make none either, and those that
// SDL's software renderer makes inside SDL_RenderCopy are counted apart.
#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "app/platform.h"
#include "game/background.h"
#include "game/random.h"
#include "game/collisions.h"
#include "game/enemies.h"
#include "game/play.h"
#include "game/player.h"
#include "game/projectiles.h"
#include "support/harness.h"
#include "text/font.h"
#include "text/text.h"

namespace {

std::atomic<long> gAllocations{0};
std::atomic<long> gAllocationsInCopies{0};  // those made inside SDL_RenderCopy
std::atomic<bool> gInsideCopy{false};

void countAllocation() {
  (gInsideCopy.load(std::memory_order_relaxed) ? gAllocationsInCopies : gAllocations)
      .fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

extern "C" int __real_SDL_RenderCopy(SDL_Renderer* renderer, SDL_Texture* texture, const SDL_Rect* source,
                                     const SDL_Rect* destination);
extern "C" int __wrap_SDL_RenderCopy(SDL_Renderer* renderer, SDL_Texture* texture, const SDL_Rect* source,
                                     const SDL_Rect* destination) {
  gInsideCopy.store(true, std::memory_order_relaxed);
  const int result = __real_SDL_RenderCopy(renderer, texture, source, destination);
  gInsideCopy.store(false, std::memory_order_relaxed);
  return result;
}

// Every allocation of the process passes through here: the allocator hooks of AddressSanitizer
// when it is in, otherwise replacements of the C library's allocation functions, which also
// serve operator new and every shared library.
#if defined(__SANITIZE_ADDRESS__)
#define SOAK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SOAK_ASAN 1
#endif
#endif

#ifdef SOAK_ASAN
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, std::size_t),
                                                         void (*)(const volatile void*));
namespace {
void countHookedAllocation(const volatile void*, std::size_t) { countAllocation(); }
void ignoreRelease(const volatile void*) {}
[[maybe_unused]] const int kHooksInstalled = __sanitizer_install_malloc_and_free_hooks(countHookedAllocation, ignoreRelease);
}  // namespace
#else
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);

void* malloc(std::size_t size) {
  countAllocation();
  return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
  countAllocation();
  return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) {
  countAllocation();
  return __libc_realloc(pointer, size);
}
void* memalign(std::size_t alignment, std::size_t size) {
  countAllocation();
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) { return memalign(alignment, size); }
int posix_memalign(void** result, std::size_t alignment, std::size_t size) {
  void* pointer = memalign(alignment, size);
  if (pointer == nullptr) return ENOMEM;
  *result = pointer;
  return 0;
}
}
#endif

namespace {

constexpr std::int32_t kLogicFrames = 100000;
constexpr std::int32_t kDrawingFrames = 1500;
constexpr std::int32_t kDrawingWarmUpFrames = 20;
constexpr std::int32_t kRisingFrames = 2000;  // frames of the spawn rule alone before the pool is topped up

struct HeldKeys {
  std::int32_t up, down, left, right, attack;
};

// The first rule a frame broke, kept in a fixed buffer: nothing is allocated while frames run.
char gViolation[256] = "";
std::int32_t gViolationFrame = -1;

void report(std::int32_t frame, const char* format, std::int32_t index, std::int32_t value) {
  if (gViolationFrame >= 0) return;
  gViolationFrame = frame;
  snprintf(gViolation, sizeof(gViolation), format, index, value);
}

bool inField(const Projectile& shot) {
  return shot.x >= kFieldMinX && shot.x <= kFieldMaxX && shot.y >= kFieldMinY && shot.y <= kFieldMaxY;
}

void checkPool(std::int32_t frame, const Projectile* pool, std::int32_t count, std::int32_t capacity, const char* name) {
  if (count < 0 || count > capacity) report(frame, name, -1, count);
  for (std::int32_t index = 0; index < count && index < capacity; ++index) {
    if (!inField(pool[index])) report(frame, name, index, pool[index].x);
  }
}

void checkFrame(std::int32_t frame) {
  if (gNumberOfEnemies < 0 || gNumberOfEnemies > kMaxSpawnedEnemies) report(frame, "enemy count %d: %d", -1, gNumberOfEnemies);
  for (std::int32_t index = 0; index < gNumberOfEnemies && index < kEnemyCapacity; ++index) {
    const std::int32_t* enemy = gEnemyList[index];
    const std::int32_t path = enemy[kEnemyPathIndex];
    if (path != 13 && path != 16 && path != 19 && path != 22) report(frame, "enemy %d pathIndex %d", index, path);
    const std::int32_t left = enemy[kEnemySegmentFramesLeft];
    if (left < 1 || left > 20) report(frame, "enemy %d segmentFramesLeft %d", index, left);
    const std::int32_t animation = enemy[kEnemyAnimationCounter];
    if (animation < 0 || animation > 34) report(frame, "enemy %d animationCounter %d", index, animation);
    const std::int32_t cooldown = enemy[kEnemyFireCooldown];
    if (cooldown < 0 || cooldown > 99) report(frame, "enemy %d fireCooldown %d", index, cooldown);
  }
  checkPool(frame, gPlayerProjectileList, gNumberOfPlayerProjectiles, kPlayerProjectileCapacity,
            "player shot %d out of bounds: %d");
  checkPool(frame, gEnemyProjectileList1, gNumberOfEnemyProjectiles1, 0, "first enemy pool %d: %d");
  checkPool(frame, gEnemyProjectileList2, gNumberOfEnemyProjectiles2, kEnemyProjectileCapacity2,
            "enemy shot %d out of bounds: %d");
  if (gScore < 0) report(frame, "score %d: %d", -1, gScore);
}

// One frame of the game in its own order, with the keys changed at random in place of events.
// The bird is made invulnerable; from frame kRisingFrames on, the butterfly pool is topped up
// to 999 with new butterflies spread over the right half of the field and about to fire.
class SoakGame {
 public:
  explicit SoakGame(unsigned seed) : keys_(seed) {
    gPlayerX = kPlayerStartX;
    gPlayerY = kPlayerStartY;
    gPlayerVelocityX = gPlayerVelocityY = 0;
    gPlayerHP = kPlayerStartHP;
    gPlayerCooldown = gPlayerSkipFrames = 0;
    gNumberOfEnemies = gNumberOfPlayerProjectiles = gNumberOfEnemyProjectiles2 = 0;
    gScore = 0;
    gPlayerShots = kShotsBase + 1;  // the briefing is over: the spawn rule runs
  }

  std::int32_t butterfliesAtStart = 0;  // when the butterflies moved and fired in the last frame
  std::int32_t shotsAfterFiring = 0;    // their shots right after that

  void runFrame(std::int32_t frame, bool draw) {
    changeKeys();
    if (gPlayerCooldown != 0) gPlayerCooldown -= 1;
    gPlayerInputX = held_.right - held_.left;
    gPlayerInputY = held_.down - held_.up;
    movePlayer();
    butterfliesAtStart = gNumberOfEnemies;
    moveEnemies();
    shotsAfterFiring = gNumberOfEnemyProjectiles2;
    moveProjectiles();
    testPlayerProjectileOnEnemies();
    testProjectiles2OnPlayer();
    testEnemiesOnPlayer();
    if (held_.attack != 0 && gPlayerCooldown == 0) {
      shootPlayerProjectile();
      gPlayerCooldown = kFireCooldownFrames;
    }
    if (draw) drawFrame();
    gPlayerHP = kPlayerStartHP;
    runSpawnSchedule(spawnCountdown_);
    if (frame >= kRisingFrames) {
      topUpButterflies();
      urgeToFire();
    }
  }

 private:
  void changeKeys() {
    std::int32_t* flags[] = {&held_.up, &held_.down, &held_.left, &held_.right, &held_.attack};
    if (keys_() % 6 == 0) {
      std::int32_t& flag = *flags[keys_() % 5];
      flag = 1 - flag;
    }
  }

  static void drawFrame() {
    drawWorld();
    renderHP();
    drawScoreLine();
    SDL_RenderPresent(gRenderer);
  }

  static void topUpButterflies() {
    while (gNumberOfEnemies < kMaxSpawnedEnemies) {
      addRandomEnemy();
      std::int32_t* enemy = gEnemyList[gNumberOfEnemies - 1];
      enemy[kEnemyX] = 6000 + rand() % 2001;
      enemy[kEnemyFireCooldown] = rand() % 5;
    }
  }

  // A few butterflies anywhere in the pool fire in the next pass, so their shots fill their pool.
  static void urgeToFire() {
    for (std::int32_t urged = 0; urged < 20; ++urged) gEnemyList[rand() % gNumberOfEnemies][kEnemyFireCooldown] = 0;
  }

  std::minstd_rand keys_;
  HeldKeys held_{0, 0, 0, 0, 0};
  std::int32_t spawnCountdown_ = kFirstSpawnFrames;
};

// How full the pools were over a run.
struct Load {
  std::int32_t framesWithFullPools = 0;  // 999 butterflies fired until their 1000 shots filled the pool
  std::int32_t mostShots = 0;
  std::int32_t mostButterflies = 0;
  long allocations = 0;          // by the game's code
  long allocationsInCopies = 0;  // inside SDL_RenderCopy

  void note(const SoakGame& game) {
    if (game.shotsAfterFiring > mostShots) mostShots = game.shotsAfterFiring;
    if (gNumberOfEnemies > mostButterflies) mostButterflies = gNumberOfEnemies;
    if (game.butterfliesAtStart == kMaxSpawnedEnemies && game.shotsAfterFiring == kEnemyProjectileCapacity2) {
      ++framesWithFullPools;
    }
  }
};

class SoakTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(testing_support::useSoftwareRendererWithMedia(), 0);
    gCharacterWidthToRender = 10;
    gCharacterHeightToRender = 15;
    gViolationFrame = -1;
    srand(20240611);
    seedGameRandom(20240611);
  }
  void TearDown() override { testing_support::releaseSoftwareRenderer(); }
};

TEST_F(SoakTest, HundredThousandFramesAtFullLoadKeepEveryPoolInItsRulesAndAllocateNothing) {
  SoakGame game(7);
  Load load;
  const long before = gAllocations.load();
  for (std::int32_t frame = 0; frame < kLogicFrames; ++frame) {
    game.runFrame(frame, false);
    checkFrame(frame);
    load.note(game);
  }
  load.allocations = gAllocations.load() - before;

  EXPECT_EQ(gViolationFrame, -1) << "frame " << gViolationFrame << ": " << gViolation;
  EXPECT_EQ(load.mostButterflies, kMaxSpawnedEnemies);
  EXPECT_EQ(load.mostShots, kEnemyProjectileCapacity2);
  EXPECT_GT(load.framesWithFullPools, kLogicFrames / 2);
  EXPECT_EQ(load.allocations, 0);
  printf("logic: %d frames, %d of them with 999 butterflies and 1000 shots, %ld allocations\n", kLogicFrames,
         load.framesWithFullPools, load.allocations);
  RecordProperty("frames_at_full_load", load.framesWithFullPools);
  RecordProperty("allocations", static_cast<int>(load.allocations));
}

TEST_F(SoakTest, DrawingAtFullLoadOnTheSoftwareRendererMakesNoAllocationOfTheGamesOwn) {
  SoakGame game(11);
  for (std::int32_t frame = 0; frame < kRisingFrames; ++frame) game.runFrame(frame, false);
  for (std::int32_t frame = 0; frame < kDrawingWarmUpFrames; ++frame) game.runFrame(kRisingFrames + frame, true);

  Load load;
  const long before = gAllocations.load();
  const long beforeInCopies = gAllocationsInCopies.load();
  for (std::int32_t frame = 0; frame < kDrawingFrames; ++frame) {
    game.runFrame(kRisingFrames + frame, true);
    checkFrame(frame);
    load.note(game);
  }
  load.allocations = gAllocations.load() - before;
  load.allocationsInCopies = gAllocationsInCopies.load() - beforeInCopies;

  EXPECT_EQ(gViolationFrame, -1) << "frame " << gViolationFrame << ": " << gViolation;
  EXPECT_GT(load.framesWithFullPools, 0);
  EXPECT_EQ(load.allocations, 0);
  printf("drawing: %d frames, %d of them with 999 butterflies and 1000 shots, %ld allocations by the game, "
         "%ld inside SDL_RenderCopy\n",
         kDrawingFrames, load.framesWithFullPools, load.allocations, load.allocationsInCopies);
  RecordProperty("frames_at_full_load", load.framesWithFullPools);
  RecordProperty("allocations", static_cast<int>(load.allocations));
  RecordProperty("allocations_inside_sdl_copies", static_cast<int>(load.allocationsInCopies));
}

}  // namespace
