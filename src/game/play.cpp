// One game from its start to game over: the frame loop, the held keys, the fire rate, the
// briefing box and the spawn schedule.
#include "game/play.h"

#include <vector>

#include "app/display.h"
#include "app/pause.h"
#include "app/platform.h"
#include "app/settings.h"
#include "app/ticket.h"
#include "game/background.h"
#include "game/collisions.h"
#include "game/enemies.h"
#include "game/player.h"
#include "game/projectiles.h"
#include "game/random.h"
#include "game/replay.h"
#include "screens/gameover.h"
#include "text/text.h"

std::int32_t gScore = 0;
SDL_Event gEvent;

namespace {

constexpr const char* kGameMusicPath = "../Common/mus02.mid";

constexpr std::int32_t kSpawnIntervalDividend = 15000;  // frames times shots
constexpr std::int32_t kSpawnIntervalFloor = 5;         // frames

constexpr std::int32_t kScoreStyle = 2;
constexpr std::int32_t kBriefingStyle = 3;
constexpr SDL_Rect kBriefingBox = {320, 200, 320, 140};  // pixels
constexpr std::int32_t kBriefingPadding = 5;             // pixels
constexpr const char* kBriefingRequest =
    "A large formation of butterflies approaches your sector. Keep your air space clear by pressing \"";
constexpr const char* kBriefingClosing =
    "\".\n\nYou can configure the keys in \"Flight Control\" from the main menu.";

void resetGame() {
  gPlayerX = kPlayerStartX;
  gPlayerY = kPlayerStartY;
  gPlayerVelocityX = 0;
  gPlayerVelocityY = 0;
  gPlayerHP = kPlayerStartHP;
  gPlayerCooldown = 0;
  gPlayerSkipFrames = 0;
  gNumberOfEnemies = 0;
  gNumberOfPlayerProjectiles = 0;
  gNumberOfEnemyProjectiles2 = 0;
  gScore = 0;
  gPlayerShots = kShotsBase;
}

// Whatever is pending when a game starts is dropped: the key that chose to play, even a quit.
void discardPendingEvents() {
  while (SDL_PollEvent(&gEvent) != 0) {
  }
}

// The action a key stands for, by the first matching binding in the order right, left, down,
// up, attack; 0 for any other key.
std::uint8_t actionOf(SDL_Keycode key) {
  if (key == gKeycodeRight) return kActionRight;
  if (key == gKeycodeLeft) return kActionLeft;
  if (key == gKeycodeDown) return kActionDown;
  if (key == gKeycodeUp) return kActionUp;
  if (key == gKeycodeAttack) return kActionAttack;
  return 0;
}

// Turns the pending key events into the actions held; auto-repeats change nothing. Notes what
// asks for a pause. False when the window is to close, or, while a replay is watched, when
// Backspace ends it.
bool handleEvents(std::uint8_t& held, PauseRequest& pause, bool watching) {
  while (SDL_PollEvent(&gEvent) != 0) {
    if (gEvent.type == SDL_QUIT) return false;
    notePauseEvent(pause, gEvent);
    if (gEvent.type != SDL_KEYDOWN && gEvent.type != SDL_KEYUP) continue;
    if (gEvent.key.repeat != 0) continue;
    const SDL_Keycode key = gEvent.key.keysym.sym;
    const std::uint8_t action = actionOf(key);
    if (gEvent.type == SDL_KEYDOWN) {
      held |= action;
      if (key == gKeycodeToggleFullscreen) toggleFullscreen();
      if (watching && key == SDLK_BACKSPACE) return false;
    } else {
      held &= static_cast<std::uint8_t>(~action);
    }
  }
  return true;
}

// A white box with a black outline asking for the attack key by its name.
void drawBriefing() {
  SDL_SetRenderDrawColor(gRenderer, 255, 255, 255, 255);
  SDL_RenderFillRect(gRenderer, &kBriefingBox);
  SDL_SetRenderDrawColor(gRenderer, 0, 0, 0, 255);
  SDL_RenderDrawRect(gRenderer, &kBriefingBox);

  const std::int32_t leftMargin = kBriefingBox.x + kBriefingPadding;
  const std::int32_t rightBound = kBriefingBox.x + kBriefingBox.w - kBriefingPadding;
  gTextX = leftMargin;
  gTextY = kBriefingBox.y + kBriefingPadding;
  renderText(leftMargin, rightBound, kBriefingRequest, kBriefingStyle);
  renderText(leftMargin, rightBound, SDL_GetKeyName(gKeycodeAttack), kBriefingStyle);
  renderText(leftMargin, rightBound, kBriefingClosing, kBriefingStyle);
}

// The last frame presented, drawn again from the world, which nothing has moved since. The
// briefing box went with the first shot.
void drawFrozenFrame() {
  SDL_RenderClear(gRenderer);
  redrawBackground();
  redrawEnemies();
  redrawPlayer();
  renderProjectiles();
  renderHP();
  drawScoreLine();
  if (gPlayerShots <= kShotsBase) drawBriefing();
}

// Waits out what is left of the frame's 25 ms; a slow frame is not caught up.
void waitForFrameEnd(Uint32 frameStart) {
  const Uint32 elapsed = SDL_GetTicks() - frameStart;
  if (elapsed < static_cast<Uint32>(kFrameMilliseconds)) SDL_Delay(kFrameMilliseconds - elapsed);
}

}  // namespace

// Back to front: sky, butterflies, bird, shots.
void drawWorld() {
  SDL_RenderClear(gRenderer);
  renderBackground();
  renderEnemies();
  renderPlayer();
  renderProjectiles();
}

// The score in the top-left corner: the line starts with a line feed from one line above the window.
void drawScoreLine() {
  appendDebugText("\nScore: %d", gScore);
  gTextX = 0;
  gTextY = -kLineHeight;
  if (gDebugTextIndex != 0) renderText(0, kWindowWidth, gDebugText, kScoreStyle);
  gDebugTextIndex = 0;
}

void runSpawnSchedule(std::int32_t& spawnCountdown) {
  spawnCountdown -= 1;
  if (spawnCountdown != 0) return;
  spawnCountdown = kSpawnIntervalDividend / gPlayerShots + kSpawnIntervalFloor;
  if (gNumberOfEnemies < kMaxSpawnedEnemies) addRandomEnemy();
}

void startGame(GameProgress& progress) {
  resetGame();
  progress.showBriefing = true;
  progress.spawnCountdown = kFirstSpawnFrames;
  progress.frames = 0;
}

bool runGameFrame(std::uint8_t actions, GameProgress& progress, bool drawing) {
  progress.frames += 1;
  if (gPlayerCooldown != 0) gPlayerCooldown -= 1;
  gPlayerInputX = ((actions & kActionRight) != 0) - ((actions & kActionLeft) != 0);
  gPlayerInputY = ((actions & kActionDown) != 0) - ((actions & kActionUp) != 0);

  movePlayer();
  moveEnemies();
  moveProjectiles();

  testPlayerProjectileOnEnemies();
  testProjectiles2OnPlayer();
  testEnemiesOnPlayer();

  if ((actions & kActionAttack) != 0 && gPlayerCooldown == 0) {
    shootPlayerProjectile();
    gPlayerCooldown = kFireCooldownFrames;
  }

  if (drawing) drawWorld();
  if (gPlayerHP < 1) return false;
  if (drawing) {
    renderHP();
    drawScoreLine();
  }

  if (gPlayerShots > kShotsBase) progress.showBriefing = false;
  if (progress.showBriefing) {
    if (drawing) drawBriefing();
  } else {
    runSpawnSchedule(progress.spawnCountdown);
  }
  return true;
}

namespace {

// The frame loop of a game played (on `ticket` when it is not empty), or, with `watched`, of a
// recorded game shown again: its actions come from the replay and the keys only toggle
// fullscreen or end it.
std::int32_t runGame(const Replay* watched, const std::vector<std::uint8_t>& ticket) {
  std::uint8_t held = 0;
  PauseRequest pause = {false, false};
  GameProgress progress;
  if (watched != nullptr) {
    resumeGameRandom(watched->seed, watched->draws);
  } else {
    startRecording(ticket);
  }
  startGame(progress);
  startMusic(kGameMusicPath);
  discardPendingEvents();

  for (;;) {
    Uint32 frameStart = SDL_GetTicks();
    if (!handleEvents(held, pause, watched != nullptr)) return 0;
    if (pauseDue(pause)) {
      // Given up, the game ends on the paused picture's score: no shot in flight scores after it.
      const PauseAnswer answer = runPauseScreen(drawFrozenFrame);
      if (answer == PauseAnswer::kQuit) return 0;
      if (answer == PauseAnswer::kGiveUp) {
        if (watched != nullptr) return 0;
        gPlayerHP = 0;
        return displayGameOverScreen();
      }
      held = 0;  // keys held through the pause are pressed again to count
      pause = {false, false};
      frameStart = SDL_GetTicks();
    }
    std::uint8_t actions = held;
    if (watched != nullptr) {
      // A recording that ends while the bird still flies was given up there.
      if (progress.frames >= watched->actions.size()) {
        gPlayerHP = 0;
        return displayWatchedGameOverScreen();
      }
      actions = watched->actions[progress.frames];
    }
    const bool alive = runGameFrame(actions, progress, true);
    if (watched == nullptr) recordFrame(actions);
    if (!alive) {  // this frame is never presented
      if (watched != nullptr) return displayWatchedGameOverScreen();
      return displayGameOverScreen();
    }
    presentFrame();
    waitForFrameEnd(frameStart);
  }
}

}  // namespace

// A game on the board's ticket draws from a sequence of its own, started from the ticket's seed;
// the calendar's sequence waits meanwhile, so that every other game draws as it would have.
std::int32_t play() {
  std::vector<std::uint8_t> ticket;
  const bool ticketed = takeBoardTicket(ticket);
  if (ticketed) {
    setAsideGameRandom();
    seedGameRandom(ticketSeed(ticket));
  }
  const std::int32_t result = runGame(nullptr, ticket);
  if (ticketed) restoreGameRandom();
  return result;
}

std::int32_t watchReplay(const Replay& replay) { return runGame(&replay, {}); }
