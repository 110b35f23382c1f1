// The bird: movement inside its box, firing, drawing with its wing beat and hit look, and the
// hit-point feathers.
#include "game/player.h"

#include <SDL.h>

#include "app/platform.h"
#include "game/play.h"
#include "game/projectiles.h"

std::int32_t gPlayerX = 0;
std::int32_t gPlayerY = 0;
std::int32_t gPlayerInputX = 0;
std::int32_t gPlayerInputY = 0;
std::int32_t gPlayerVelocityX = 0;
std::int32_t gPlayerVelocityY = 0;
std::int32_t gPlayerHP = 0;
std::int32_t gPlayerCooldown = 0;
std::int32_t gPlayerSkipFrames = 0;
std::int32_t gPlayerShots = 0;

namespace {

// Where a shot leaves the bird, tenths of a pixel from the sprite's top-left corner.
constexpr std::int32_t kMuzzleX = 1050;
constexpr std::int32_t kMuzzleY = 960;
constexpr std::int32_t kShotSpeed = 100;  // tenths of a pixel per frame, added to half the bird's

constexpr std::int32_t kAnimationFrameDraws = 8;  // draws per wing-beat frame
constexpr std::int32_t kLastSubFrame = 31;        // four frames of eight draws

constexpr std::int32_t kFeatherY = 16;      // pixels
constexpr std::int32_t kFeatherSize = 32;   // pixels
constexpr std::int32_t kFirstFeatherX = 10; // pixels; the next ones follow without a gap

// The cell and place of the bird's last drawing.
SDL_Rect BirdSrcRect = {0, 0, kPlayerSpriteSize, kPlayerSpriteSize};
SDL_Rect BirdDstRect = {0, 0, kPlayerSpriteSize, kPlayerSpriteSize};

// Moves one axis and clamps it to [minimum, maximum]; a bound that stops the bird zeroes the
// axis's velocity, while a position exactly on a bound keeps it.
void moveAxis(std::int32_t& position, std::int32_t& velocity, std::int32_t minimum, std::int32_t maximum) {
  position += velocity;
  if (position < minimum) {
    position = minimum;
    velocity = 0;
  } else if (position > maximum) {
    position = maximum;
    velocity = 0;
  }
}

}  // namespace

// Sets the velocity afresh from the held keys (straight 120, diagonal 84 per axis) and moves
// the bird inside its box; with no key held nothing moves.
void movePlayer() {
  static const std::int32_t MinPlayerX = -200;
  static const std::int32_t MaxPlayerX = 6600;
  static const std::int32_t MinPlayerY = -700;
  static const std::int32_t MaxPlayerY = 4600;

  if (gPlayerInputX == 0 && gPlayerInputY == 0) {
    gPlayerVelocityX = 0;
    gPlayerVelocityY = 0;
    return;
  }
  const std::int32_t speed = (gPlayerInputX != 0 && gPlayerInputY != 0) ? gPlayerSpeedDiagonal : kPlayerSpeedStraight;
  gPlayerVelocityX = gPlayerInputX * speed;
  gPlayerVelocityY = gPlayerInputY * speed;
  moveAxis(gPlayerX, gPlayerVelocityX, MinPlayerX, MaxPlayerX);
  moveAxis(gPlayerY, gPlayerVelocityY, MinPlayerY, MaxPlayerY);
}

// Fires one shot from the muzzle with half the bird's velocity of this frame; it costs a point
// (never below 0). Should the pool ever be full, nothing at all happens: no sound, no count, no cost.
void shootPlayerProjectile() {
  if (gNumberOfPlayerProjectiles >= kPlayerProjectileCapacity) return;
  playSound(kSoundShot);
  gPlayerShots += 1;
  if (gScore != 0) gScore -= 1;
  Projectile& shot = gPlayerProjectileList[gNumberOfPlayerProjectiles];
  shot.x = gPlayerX + kMuzzleX;
  shot.y = gPlayerY + kMuzzleY;
  shot.vx = gPlayerVelocityX / 2 + kShotSpeed;
  shot.vy = gPlayerVelocityY / 2;
  gNumberOfPlayerProjectiles += 1;
}

// Draws the bird: wing-beat frame SubFrame / 8 across the sheet, row 1 while the hit look lasts.
void renderPlayer() {
  static std::int32_t SubFrame = 0;

  BirdSrcRect.x = (SubFrame / kAnimationFrameDraws) * kPlayerSpriteSize;
  if (gPlayerSkipFrames != 0) {
    BirdSrcRect.y = kPlayerSpriteSize;
    gPlayerSkipFrames -= 1;
  } else {
    BirdSrcRect.y = 0;
  }
  SubFrame += 1;
  if (SubFrame > kLastSubFrame) SubFrame = 0;
  BirdDstRect.x = gPlayerX / 10;
  BirdDstRect.y = gPlayerY / 10;
  SDL_RenderCopy(gRenderer, gTexture[kTextureBird], &BirdSrcRect, &BirdDstRect);
}

void redrawPlayer() { SDL_RenderCopy(gRenderer, gTexture[kTextureBird], &BirdSrcRect, &BirdDstRect); }

// One feather per hit point, at most three; called only while at least one is left.
void renderHP() {
  static SDL_Rect DstRect = {kFirstFeatherX, kFeatherY, kFeatherSize, kFeatherSize};
  DstRect.x = kFirstFeatherX;
  SDL_RenderCopy(gRenderer, gTexture[kTextureFeather], nullptr, &DstRect);
  if (gPlayerHP > 1) {
    DstRect.x = kFirstFeatherX + kFeatherSize;
    SDL_RenderCopy(gRenderer, gTexture[kTextureFeather], nullptr, &DstRect);
  }
  if (gPlayerHP > 2) {
    DstRect.x = kFirstFeatherX + 2 * kFeatherSize;
    SDL_RenderCopy(gRenderer, gTexture[kTextureFeather], nullptr, &DstRect);
  }
}
