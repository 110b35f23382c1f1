// The cost of one game frame at the heaviest load the rules allow: 999 butterflies, 1000
// butterfly shots and 18 bird shots, spread over the field away from the bird so that the three
// hit tests walk everything and remove nothing. The pools are put back before every frame and
// only the frame itself is timed.
//
//   Logic            events, cooldown, the three moves and the three hit tests
//   Frame/software   the whole frame on a software renderer drawing into an 800 x 600 surface
//   Frame/opengl     the whole frame in a real window on the renderer the game gets (needs X)
//   Frame/opengl_unbatched   the same with SDL's render batching switched off, for comparison
//   Frame/opengl_vsync       the game's flags exactly: the present also waits for the display
//   Frame/window_800x600     the game's own window and its own choice of renderer (the software
//                            renderer drawing into the window where there is no graphics hardware)
//   Frame/window_1920x1080   the same in a window of a 1920 x 1080 screen's size, as in fullscreen:
//                            drawn into the 800 x 600 canvas, copied scaled between black bars
//   Floor/...                the floor's frame on the same renderer: clear, title picture, present
//   Title/...                the game's title screen pass: picture, selection frame, hint line
//   Layer/.../<layer>        one layer of the game frame alone, cleared and presented
//
// Times are microseconds per frame; budget_pct is the share of the game's 25 ms frame. Runs
// from the build's asset directory, so that the game's own loader finds the media in ../Common/.
#include <SDL_image.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "app/display.h"
#include "app/platform.h"
#include "game/background.h"
#include "game/collisions.h"
#include "game/enemies.h"
#include "game/play.h"
#include "game/player.h"
#include "game/projectiles.h"
#include "screens/title.h"
#include "text/font.h"
#include "text/text.h"

namespace {

constexpr double kFrameBudgetSeconds = kFrameMilliseconds / 1000.0;
constexpr std::int32_t kLoadEnemies = kMaxSpawnedEnemies;           // 999
constexpr std::int32_t kLoadEnemyShots = kEnemyProjectileCapacity2; // 1000
constexpr std::int32_t kLoadPlayerShots = 18;  // at most one shot every 10 frames lives 179 frames

// Everything a frame changes, kept to be put back before the next timed frame.
struct WorldState {
  std::int32_t enemies[kEnemyCapacity][kEnemyFieldCount];
  std::int32_t numberOfEnemies;
  Projectile playerShots[kPlayerProjectileCapacity];
  std::int32_t numberOfPlayerShots;
  Projectile enemyShots[kEnemyProjectileCapacity2];
  std::int32_t numberOfEnemyShots;
  std::int32_t playerX, playerY, playerHP, playerCooldown, playerSkipFrames, playerShotsFired, score;
};

WorldState gSavedWorld;
std::int32_t gSpawnCountdown = 0;

void saveWorld(WorldState& state) {
  std::memcpy(state.enemies, gEnemyList, sizeof(gEnemyList));
  state.numberOfEnemies = gNumberOfEnemies;
  std::memcpy(state.playerShots, gPlayerProjectileList, sizeof(gPlayerProjectileList));
  state.numberOfPlayerShots = gNumberOfPlayerProjectiles;
  std::memcpy(state.enemyShots, gEnemyProjectileList2, sizeof(gEnemyProjectileList2));
  state.numberOfEnemyShots = gNumberOfEnemyProjectiles2;
  state.playerX = gPlayerX;
  state.playerY = gPlayerY;
  state.playerHP = gPlayerHP;
  state.playerCooldown = gPlayerCooldown;
  state.playerSkipFrames = gPlayerSkipFrames;
  state.playerShotsFired = gPlayerShots;
  state.score = gScore;
}

void restoreWorld(const WorldState& state) {
  std::memcpy(gEnemyList, state.enemies, sizeof(gEnemyList));
  gNumberOfEnemies = state.numberOfEnemies;
  std::memcpy(gPlayerProjectileList, state.playerShots, sizeof(gPlayerProjectileList));
  gNumberOfPlayerProjectiles = state.numberOfPlayerShots;
  std::memcpy(gEnemyProjectileList2, state.enemyShots, sizeof(gEnemyProjectileList2));
  gNumberOfEnemyProjectiles2 = state.numberOfEnemyShots;
  gPlayerX = state.playerX;
  gPlayerY = state.playerY;
  gPlayerHP = state.playerHP;
  gPlayerCooldown = state.playerCooldown;
  gPlayerSkipFrames = state.playerSkipFrames;
  gPlayerShots = state.playerShotsFired;
  gScore = state.score;
  gSpawnCountdown = 1000;  // no spawn falls due in a timed frame; the pool is at its bound anyway
}

// The bird at its start, the butterflies in a grid over the right part of the field, their shots
// over the middle and right, the bird's shots in a band between the bird and the butterflies.
// Distances keep every pair out of every hit box, also after one frame's moves.
void buildWorstLoad() {
  srand(1);
  gPlayerX = kPlayerStartX;
  gPlayerY = kPlayerStartY;
  gPlayerVelocityX = 0;
  gPlayerVelocityY = 0;
  gPlayerInputX = 0;
  gPlayerInputY = 0;
  gPlayerHP = kPlayerStartHP;
  gPlayerCooldown = 5;  // no shot leaves in a timed frame, so the load stays the same
  gPlayerSkipFrames = 0;
  gPlayerShots = kShotsBase + 200;  // the briefing box is gone
  gScore = 12345;

  gNumberOfEnemies = 0;
  for (std::int32_t n = 0; n < kLoadEnemies; ++n) {
    addRandomEnemy();
    gEnemyList[n][kEnemyX] = 3200 + (n % 37) * 128;  // 3200 to 7808
    gEnemyList[n][kEnemyY] = (n / 37) * 220;         // 0 to 5720
  }
  gNumberOfEnemyProjectiles2 = 0;
  for (std::int32_t n = 0; n < kLoadEnemyShots; ++n) {
    Projectile& shot = gEnemyProjectileList2[n];
    shot = {2000 + (n % 40) * 148, (n / 40) * 235, -50 - n % 70, 0};  // x 2000 to 7772, y 0 to 5640
  }
  gNumberOfEnemyProjectiles2 = kLoadEnemyShots;
  gNumberOfPlayerProjectiles = 0;
  for (std::int32_t n = 0; n < kLoadPlayerShots; ++n) {
    gPlayerProjectileList[n] = {1700 + n * 60, 300 + n * 300, 100, 0};  // x 1700 to 2720
  }
  gNumberOfPlayerProjectiles = kLoadPlayerShots;
  saveWorld(gSavedWorld);
}

// The logic part of the game's frame, in its order: events, cooldown, input, moves, hit tests.
bool runFrameLogic() {
  while (SDL_PollEvent(&gEvent) != 0) {
    if (gEvent.type == SDL_QUIT) return false;
  }
  if (gPlayerCooldown != 0) gPlayerCooldown -= 1;
  movePlayer();
  moveEnemies();
  moveProjectiles();
  testPlayerProjectileOnEnemies();
  testProjectiles2OnPlayer();
  testEnemiesOnPlayer();
  return true;
}

// The drawing part, in the game's order: sky, butterflies, bird, shots, feathers, score line,
// spawn schedule, present.
void runFrameDrawing() {
  drawWorld();
  renderHP();
  drawScoreLine();
  runSpawnSchedule(gSpawnCountdown);
  presentFrame();
}

bool worldIsIntact() {
  return gNumberOfEnemies == kLoadEnemies && gNumberOfEnemyProjectiles2 == kLoadEnemyShots &&
         gNumberOfPlayerProjectiles == kLoadPlayerShots && gPlayerHP == kPlayerStartHP;
}

// Times `frame` alone; the world is put back, untimed, before each frame.
template <typename Frame>
void timeFrames(benchmark::State& state, Frame frame) {
  double budgetPercent = 0;
  for (auto _ : state) {
    restoreWorld(gSavedWorld);
    const auto start = std::chrono::steady_clock::now();
    frame();
    const auto end = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(end - start).count();
    state.SetIterationTime(seconds);
    budgetPercent += seconds / kFrameBudgetSeconds * 100;
  }
  if (!worldIsIntact()) state.SkipWithError("a hit test removed something: the load is not the worst case");
  state.counters["budget_pct"] = benchmark::Counter(budgetPercent, benchmark::Counter::kAvgIterations);
}

// A renderer with its own copy of the sheets, made current by pointing the game's globals at it.
struct RenderTarget {
  SDL_Window* window = nullptr;
  SDL_Surface* surface = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* textures[kTextureCount] = {};
  SDL_Texture* floorTitle = nullptr;  // the title picture as the floor loads it
  std::string driver;
};

const RenderTarget* gCurrentTarget = nullptr;

void makeCurrent(const RenderTarget& target) {
  gCurrentTarget = &target;
  gRenderer = target.renderer;
  for (std::int32_t index = 0; index < kTextureCount; ++index) gTexture[index] = target.textures[index];
}

// Loads the sheets through the game's loader, with the renderer state the game sets up.
bool finishTarget(RenderTarget& target) {
  if (target.renderer == nullptr) return false;
  SDL_RendererInfo info;
  SDL_GetRendererInfo(target.renderer, &info);
  target.driver = info.name;
  SDL_SetRenderDrawColor(target.renderer, 0, 0, 0, 255);
  SDL_SetRenderDrawBlendMode(target.renderer, SDL_BLENDMODE_BLEND);
  for (Mix_Chunk*& sound : gSnd) {
    Mix_FreeChunk(sound);
    sound = nullptr;
  }
  gRenderer = target.renderer;
  if (loadMedia() != 0) return false;
  for (std::int32_t index = 0; index < kTextureCount; ++index) target.textures[index] = gTexture[index];
  SDL_Surface* surface = IMG_Load(gTexturePath[kTextureTitle]);
  if (surface == nullptr) return false;
  SDL_SetColorKey(surface, SDL_TRUE, SDL_MapRGB(surface->format, 255, 0, 255));
  target.floorTitle = SDL_CreateTextureFromSurface(target.renderer, surface);
  SDL_FreeSurface(surface);
  return target.floorTitle != nullptr;
}

bool makeSoftwareTarget(RenderTarget& target) {
  target.surface = SDL_CreateRGBSurfaceWithFormat(0, kWindowWidth, kWindowHeight, 32, SDL_PIXELFORMAT_ARGB8888);
  if (target.surface == nullptr) return false;
  target.renderer = SDL_CreateSoftwareRenderer(target.surface);
  return finishTarget(target);
}

// A window and renderer made as the game makes them: no driver hint, the first accelerated
// driver. batching "0" switches SDL's batching off (nullptr leaves SDL's default); without
// vsync the present does not wait for the display, so the frame's own work is what is timed.
bool makeWindowTarget(RenderTarget& target, const char* batching, bool vsync) {
  SDL_SetHint(SDL_HINT_RENDER_BATCHING, batching);
  target.window = SDL_CreateWindow("Zellworth frame", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, kWindowWidth,
                                   kWindowHeight, SDL_WINDOW_SHOWN);
  if (target.window == nullptr) return false;
  const Uint32 flags = SDL_RENDERER_ACCELERATED | (vsync ? SDL_RENDERER_PRESENTVSYNC : 0);
  target.renderer = SDL_CreateRenderer(target.window, -1, flags);
  SDL_SetHint(SDL_HINT_RENDER_BATCHING, nullptr);
  return finishTarget(target);
}

// A window made as the game makes its own, with the renderer the game chooses; at any other size
// than 800 x 600 it draws through the canvas scaled into the window. Only one such window can
// have the canvas: it becomes the game's gWindow.
bool makeGameWindowTarget(RenderTarget& target, int width, int height) {
  target.window = SDL_CreateWindow("Zellworth frame", 0, 0, width, height, SDL_WINDOW_SHOWN | SDL_WINDOW_BORDERLESS);
  if (target.window == nullptr) return false;
  target.renderer = SDL_CreateRenderer(target.window, -1, chooseRendererFlags());
  gWindow = target.window;  // the loader makes the sheets in the window's pixel format
  if (!finishTarget(target)) return false;
  if (width != kWindowWidth || height != kWindowHeight) startPictureScaling();
  return true;
}

RenderTarget gSoftware;
RenderTarget gWindow800;
RenderTarget gWindow1920;
RenderTarget gOpenGL;
RenderTarget gOpenGLUnbatched;
RenderTarget gOpenGLVsync;

// What a timed frame does. The whole game frame, the floor's title frame, and single layers of
// the game frame (each cleared and presented alone) to show where the drawing time goes.
using FrameWork = void (*)();

void gameFrame() {
  runFrameLogic();
  runFrameDrawing();
}

void floorFrame() {
  static const SDL_Rect picture = {0, 0, kWindowWidth, kWindowHeight};
  SDL_RenderClear(gRenderer);
  SDL_RenderCopy(gRenderer, gCurrentTarget->floorTitle, &picture, &picture);
  SDL_RenderPresent(gRenderer);
}

// The title screen's pass as the game draws it: picture, selection frame, fullscreen hint.
void titleFrame() {
  static const SDL_Rect picture = {0, 0, kWindowWidth, kWindowHeight};
  static const SDL_Rect frame = {kTitleFrameX, kTitleFrameRowY[kTitlePlay], kTitleFrameWidth, kTitleFrameHeight};
  SDL_SetRenderDrawColor(gRenderer, 255, 255, 255, 255);
  SDL_RenderClear(gRenderer);
  SDL_RenderCopy(gRenderer, gTexture[kTextureTitle], &picture, &picture);
  SDL_RenderDrawRect(gRenderer, &frame);
  gTextX = kTitleHintX;
  gTextY = kTitleHintY;
  renderText(2, kWindowWidth, kTitleHintLabel, 2);
  renderText(2, kWindowWidth, SDL_GetKeyName(SDLK_F4), 2);
  presentFrame();
  SDL_SetRenderDrawColor(gRenderer, 0, 0, 0, 255);
}

template <void (*draw)()>
void layerFrame() {
  SDL_RenderClear(gRenderer);
  draw();
  SDL_RenderPresent(gRenderer);
}

void drawNothing() {}

void runOn(benchmark::State& state, const RenderTarget* target, FrameWork work) {
  makeCurrent(*target);
  restoreWorld(gSavedWorld);
  for (int warmUp = 0; warmUp < 10; ++warmUp) work();  // first uses compile shaders, upload textures
  state.SetLabel(target->driver);
  timeFrames(state, work);
}

void registerOn(const std::string& name, const RenderTarget* target, FrameWork work) {
  benchmark::RegisterBenchmark(name.c_str(), runOn, target, work)
      ->UseManualTime()
      ->MeasureProcessCPUTime()
      ->Unit(benchmark::kMicrosecond);
}

void registerLayers(const std::string& targetName, const RenderTarget* target) {
  registerOn("Layer/" + targetName + "/clear_present", target, layerFrame<drawNothing>);
  registerOn("Layer/" + targetName + "/sky", target, layerFrame<renderBackground>);
  registerOn("Layer/" + targetName + "/butterflies", target, layerFrame<renderEnemies>);
  registerOn("Layer/" + targetName + "/shots", target, layerFrame<renderProjectiles>);
}

void logicOnly(benchmark::State& state) {
  timeFrames(state, [] { runFrameLogic(); });
}

}  // namespace

int main(int argc, char* argv[]) {
  benchmark::Initialize(&argc, argv);
  if (chdir(ZELLWORTH_ASSETS_DIR) != 0) {
    std::perror("chdir to the asset directory");
    return 1;
  }
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  const bool haveDisplay = getenv("DISPLAY") != nullptr;
  if (!haveDisplay) setenv("SDL_VIDEODRIVER", "dummy", 0);
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO) < 0 || Mix_OpenAudio(44100, AUDIO_S16LSB, 2, 2048) < 0) {
    std::printf("set-up failed: %s\n", SDL_GetError());
    return 1;
  }
  gCharacterWidthToRender = 10;
  gCharacterHeightToRender = 15;
  buildWorstLoad();

  // Process CPU time counts the renderer's own threads (Mesa rasterises on several) as well.
  benchmark::RegisterBenchmark("Logic", logicOnly)->UseManualTime()->Unit(benchmark::kMicrosecond);
  if (makeSoftwareTarget(gSoftware)) {
    registerOn("Frame/software", &gSoftware, gameFrame);
    registerOn("Floor/software", &gSoftware, floorFrame);
    registerOn("Title/software", &gSoftware, titleFrame);
    registerLayers("software", &gSoftware);
  } else {
    std::printf("no software renderer: %s\n", SDL_GetError());
  }
  if (haveDisplay && makeGameWindowTarget(gWindow800, kWindowWidth, kWindowHeight) &&
      makeGameWindowTarget(gWindow1920, 1920, 1080)) {
    registerOn("Frame/window_800x600", &gWindow800, gameFrame);
    registerOn("Frame/window_1920x1080", &gWindow1920, gameFrame);
    registerOn("Title/window_800x600", &gWindow800, titleFrame);
    registerOn("Title/window_1920x1080", &gWindow1920, titleFrame);
  }
  if (!haveDisplay) {
    std::printf("no X display: the window renderers are left out\n");
  } else if (makeWindowTarget(gOpenGL, nullptr, false) && makeWindowTarget(gOpenGLUnbatched, "0", false) &&
             makeWindowTarget(gOpenGLVsync, nullptr, true)) {
    registerOn("Frame/opengl", &gOpenGL, gameFrame);
    registerOn("Frame/opengl_unbatched", &gOpenGLUnbatched, gameFrame);
    registerOn("Frame/opengl_vsync", &gOpenGLVsync, gameFrame);
    registerOn("Floor/opengl", &gOpenGL, floorFrame);
    registerOn("Floor/opengl_vsync", &gOpenGLVsync, floorFrame);
    registerOn("Title/opengl", &gOpenGL, titleFrame);
    registerLayers("opengl", &gOpenGL);
  } else {
    std::printf("no window renderer: %s\n", SDL_GetError());
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Mix_CloseAudio();
  SDL_Quit();
  return 0;
}
