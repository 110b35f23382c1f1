// The picture in windows of any size: where the canvas lands, the black bars around it, and the
// 800 x 600 window drawn directly, on the software renderer of a real (dummy-driver) window.
#include "app/display.h"

#include <SDL_image.h>
#include <gtest/gtest.h>

#include "app/platform.h"
#include "game/background.h"
#include "game/random.h"
#include "game/enemies.h"
#include "game/play.h"
#include "game/player.h"
#include "game/projectiles.h"
#include "support/harness.h"
#include "text/font.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Placement {
  int outputWidth, outputHeight;
  SDL_Rect picture;
};

TEST(PictureRectTest, KeepsTheShapeCentredAndUsesWholeFactorsFromTwoOn) {
  const Placement cases[] = {
      {800, 600, {0, 0, 800, 600}},          // the game's own size
      {1024, 768, {0, 0, 1024, 768}},        // the same shape, 1.28 times
      {1920, 1080, {240, 0, 1440, 1080}},    // wider: bars left and right
      {1000, 1000, {0, 125, 1000, 750}},     // taller: bars above and below
      {1366, 768, {171, 0, 1024, 768}},
      {1600, 1200, {0, 0, 1600, 1200}},      // exactly twice
      {2560, 1440, {480, 120, 1600, 1200}},  // 2.4 fits: twice
      {3840, 2160, {720, 180, 2400, 1800}},  // 3.6 fits: three times
      {640, 480, {0, 0, 640, 480}},          // a display mode below the game's size
  };
  for (const Placement& placement : cases) {
    const SDL_Rect rect = pictureRectFor(placement.outputWidth, placement.outputHeight);
    EXPECT_TRUE(SDL_RectEquals(&rect, &placement.picture))
        << placement.outputWidth << "x" << placement.outputHeight << " gave " << rect.x << "," << rect.y << " "
        << rect.w << "x" << rect.h;
  }
}

class ScaledWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::releaseSoftwareRenderer();
    ASSERT_EQ(initializeSDL(), 0) << SDL_GetError();
  }
  void TearDown() override {
    closeSDL();
    testing_support::forgetLibraries();
  }

  // Clears the canvas white, marks its corner pixels red and blue, and presents it.
  static void presentMarkedWhiteFrame() {
    SDL_SetRenderDrawColor(gRenderer, 255, 255, 255, 255);
    SDL_RenderClear(gRenderer);
    const SDL_Rect topLeft = {0, 0, 1, 1};
    const SDL_Rect bottomRight = {kWindowWidth - 1, kWindowHeight - 1, 1, 1};
    SDL_SetRenderDrawColor(gRenderer, 255, 0, 0, 255);
    SDL_RenderFillRect(gRenderer, &topLeft);
    SDL_SetRenderDrawColor(gRenderer, 0, 0, 255, 255);
    SDL_RenderFillRect(gRenderer, &bottomRight);
    SDL_SetRenderDrawColor(gRenderer, 255, 255, 255, 255);
    presentFrame();
  }

  static std::uint32_t windowPixel(int x, int y) {
    SDL_Surface* surface = SDL_GetWindowSurface(gWindow);
    const auto* row = static_cast<const std::uint8_t*>(surface->pixels) + y * surface->pitch;
    std::uint32_t value = 0;
    SDL_memcpy(&value, row + x * surface->format->BytesPerPixel, sizeof(value));
    Uint8 r, g, b;
    SDL_GetRGB(value, surface->format, &r, &g, &b);
    return (static_cast<std::uint32_t>(r) << 16) | (g << 8) | b;
  }
};

constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kRed = 0xFF0000;
constexpr std::uint32_t kBlue = 0x0000FF;

TEST_F(ScaledWindowTest, ResizedWindowShowsTheWholeCanvasBetweenBlackBarsAndBackDirectly) {
  SDL_SetWindowSize(gWindow, 1000, 700);  // 933 x 700 fits, from x 33
  presentMarkedWhiteFrame();
  EXPECT_EQ(windowPixel(0, 0), kBlack);
  EXPECT_EQ(windowPixel(32, 699), kBlack);
  EXPECT_EQ(windowPixel(966, 0), kBlack);
  EXPECT_EQ(windowPixel(999, 699), kBlack);
  EXPECT_EQ(windowPixel(33, 0), kRed);
  EXPECT_EQ(windowPixel(34, 0), kWhite);  // one canvas pixel is 1.17 window pixels
  EXPECT_EQ(windowPixel(965, 699), kBlue);
  EXPECT_EQ(windowPixel(500, 350), kWhite);
  // The screens set their colour once per visit and clear with it every frame.
  Uint8 r, g, b, a;
  SDL_GetRenderDrawColor(gRenderer, &r, &g, &b, &a);
  EXPECT_EQ((r << 16) | (g << 8) | b, static_cast<int>(kWhite));

  SDL_SetWindowSize(gWindow, kWindowWidth, kWindowHeight);
  presentMarkedWhiteFrame();
  EXPECT_EQ(SDL_GetRenderTarget(gRenderer), nullptr);
  EXPECT_EQ(windowPixel(0, 0), kRed);
  EXPECT_EQ(windowPixel(1, 0), kWhite);
  EXPECT_EQ(windowPixel(799, 599), kBlue);
}

TEST_F(ScaledWindowTest, FullscreenFillsTheDisplayAndComesBackToTheSizeGiven) {
  SDL_SetWindowSize(gWindow, 900, 650);
  toggleFullscreen();
  SDL_PumpEvents();
  presentMarkedWhiteFrame();
  SDL_DisplayMode display;
  ASSERT_EQ(SDL_GetCurrentDisplayMode(0, &display), 0);
  const SDL_Rect expected = pictureRectFor(display.w, display.h);
  int width = 0, height = 0;
  SDL_GetWindowSizeInPixels(gWindow, &width, &height);
  EXPECT_EQ(width, display.w);
  EXPECT_EQ(height, display.h);
  EXPECT_EQ(windowPixel(expected.x, expected.y), kRed);
  EXPECT_EQ(windowPixel(expected.x + expected.w - 1, expected.y + expected.h - 1), kBlue);

  toggleFullscreen();
  SDL_GetWindowSize(gWindow, &width, &height);
  EXPECT_EQ(width, 900);
  EXPECT_EQ(height, 650);
}

// A game frame with every look on screen: 35 butterflies (each shows the next of the seven
// animation cells), the bird, shots of both sides, three feathers and the score line.
void setUpBusyField() {
  seedGameRandom(7);
  gNumberOfEnemies = 0;
  for (std::int32_t n = 0; n < 35; ++n) {
    addRandomEnemy();
    gEnemyList[n][kEnemyX] = 2500 + (n % 7) * 760;
    gEnemyList[n][kEnemyY] = (n / 7) * 1150;
  }
  gNumberOfPlayerProjectiles = 0;
  for (std::int32_t n = 0; n < 10; ++n) gPlayerProjectileList[gNumberOfPlayerProjectiles++] = {2000 + n * 300, 800 + n * 400, 100, 0};
  gNumberOfEnemyProjectiles2 = 0;
  for (std::int32_t n = 0; n < 40; ++n) gEnemyProjectileList2[gNumberOfEnemyProjectiles2++] = {1500 + n * 150, n * 140, -60, 0};
  gPlayerX = 600;
  gPlayerY = 2000;
  gPlayerHP = 3;
  gScore = 1234;
}

// The sky's scroll position and the bird's wing beat live in their drawing operations and move
// once per call; without a renderer a call only moves them.
void advanceUnseen(void (*render)(), std::int32_t calls) {
  SDL_Renderer* renderer = gRenderer;
  gRenderer = nullptr;
  for (std::int32_t call = 0; call < calls; ++call) render();
  gRenderer = renderer;
}

// Draws the frames on the renderer that initializeSDL chooses and reads each back before it is
// presented: the sky at the start of its cycle, at both seams and at the cycle's end, the bird in
// each wing beat of its normal and its hit look. The sky and the wing beat end where they began.
std::vector<std::vector<std::uint32_t>> drawGameFrames(std::string& rendererName) {
  std::vector<std::vector<std::uint32_t>> frames;
  if (initializeSDL() != 0 || loadMedia() != 0) {
    ADD_FAILURE() << "set-up failed: " << SDL_GetError();
    closeSDL();
    return frames;
  }
  SDL_RendererInfo info;
  SDL_GetRendererInfo(gRenderer, &info);
  rendererName = info.name;
  gCharacterWidthToRender = 10;
  gCharacterHeightToRender = 15;
  // Scroll positions drawn: 0, 1519, 1520, 3439, 3440 and 3840 (the cycle has 3841).
  const std::int32_t skyPositions[] = {0, 1519, 1520, 3439, 3440, 3840};
  std::int32_t position = 0;
  for (std::int32_t target : skyPositions) {
    advanceUnseen(renderBackground, (target - position + 3841) % 3841);
    setUpBusyField();
    gPlayerSkipFrames = target % 2 == 0 ? 0 : 20;
    SDL_SetRenderDrawColor(gRenderer, 0, 0, 0, 255);
    SDL_RenderClear(gRenderer);
    drawWorld();
    renderHP();
    drawScoreLine();
    std::vector<std::uint32_t> pixels(kWindowWidth * kWindowHeight);
    SDL_RenderReadPixels(gRenderer, nullptr, SDL_PIXELFORMAT_RGB888, pixels.data(), kWindowWidth * 4);
    frames.push_back(std::move(pixels));
    presentFrame();
    position = (target + 1) % 3841;
    advanceUnseen(renderPlayer, 7);  // eight draws show one wing-beat cell
  }
  advanceUnseen(renderBackground, 3841 - position);
  advanceUnseen(renderPlayer, 16);   // six frames of eight draws and 16 make two beats of 32
  closeSDL();
  return frames;
}

TEST(RendererChoiceTest, SoftwareAndOpenGLDrawTheSameGameFrames) {
  if (!testing_support::runningUnderXvfb()) return;
  testing_support::enterFreshRunDirectory();
  std::string chosenName, openglName;
  const auto chosen = drawGameFrames(chosenName);
  setenv("SDL_RENDER_DRIVER", "opengl", 1);
  const auto opengl = drawGameFrames(openglName);
  unsetenv("SDL_RENDER_DRIVER");
  EXPECT_EQ(openglName, "opengl");
  // Only a machine without graphics hardware has two renderers to compare.
  if (!hasGraphicsHardware()) {
    EXPECT_EQ(chosenName, "software");
  }
  ASSERT_EQ(chosen.size(), 6u);
  ASSERT_EQ(opengl.size(), 6u);
  for (std::size_t frame = 0; frame < chosen.size(); ++frame) {
    std::int32_t differing = 0;
    std::int32_t skyPixels = 0;
    for (std::size_t pixel = 0; pixel < chosen[frame].size(); ++pixel) {
      // The fourth byte of RGB888 is padding, which the renderers fill differently.
      if (((chosen[frame][pixel] ^ opengl[frame][pixel]) & 0xFFFFFF) != 0) ++differing;
      if ((chosen[frame][pixel] & 0xFFFFFF) != 0) ++skyPixels;
    }
    EXPECT_EQ(differing, 0) << "frame " << frame;
  }
}

}  // namespace
