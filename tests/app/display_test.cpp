// The picture in windows of any size: where the canvas lands, the black bars around it, and the
// 800 x 600 window drawn directly, on the software renderer of a real (dummy-driver) window.
#include "app/display.h"

#include <SDL_image.h>
#include <gtest/gtest.h>

#include "app/platform.h"
#include "support/harness.h"

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

}  // namespace
