// The sky: which sheet columns land on which window columns at each range edge, and the cycle.
#include "game/background.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/platform.h"
#include "coded_sheet.h"
#include "committed_sheet.h"
#include "support/harness.h"

namespace {

using coded_sheet::SheetPixel;

constexpr std::int32_t kBackground0Tag = 1;
constexpr std::int32_t kBackground1Tag = 2;
constexpr std::int32_t kCycleLength = kBackgroundLastPosition + 1;  // 3841 positions

// The scroll position starts at 0 with the process and only renderBackground moves it, so the
// tests keep count of their calls.
std::int32_t gSkyPosition = 0;

void renderSkyOnce() {
  renderBackground();
  gSkyPosition = (gSkyPosition + 1) % kCycleLength;
}

// Advances the scroll without drawing: with no renderer the copies are refused.
void scrollTo(std::int32_t position) {
  SDL_Renderer* renderer = gRenderer;
  gRenderer = nullptr;
  while (gSkyPosition != position) renderSkyOnce();
  gRenderer = renderer;
}

// What the band holds at window pixel (x, y) when the view starts at band column `position`.
SheetPixel expectedSky(std::int32_t position, std::int32_t x, std::int32_t y) {
  const std::int32_t bandColumn = (position + x / 2) % (2 * kBackgroundSheetWidth);
  const std::int32_t tag = bandColumn < kBackgroundSheetWidth ? kBackground0Tag : kBackground1Tag;
  return SheetPixel{bandColumn % kBackgroundSheetWidth, y / 2, tag};
}

class BackgroundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::useSoftwareRenderer();
    gTexture[kTextureBackground0] = coded_sheet::makeCodedSheet(gRenderer, 1920, 300, kBackground0Tag);
    gTexture[kTextureBackground1] = coded_sheet::makeCodedSheet(gRenderer, 1920, 300, kBackground1Tag);
  }
  void TearDown() override { testing_support::releaseSoftwareRenderer(); }

  // Draws the sky at `position` on a blank canvas and compares every window column on three rows.
  void expectSkyAt(std::int32_t position) {
    scrollTo(position);
    coded_sheet::fillBlank();
    renderSkyOnce();
    for (std::int32_t y : {0, 301, 599}) {
      for (std::int32_t x = 0; x < kWindowWidth; ++x) {
        const SheetPixel expected = expectedSky(position, x, y);
        const SheetPixel drawn = coded_sheet::sheetPixelAt(x, y);
        if (!(drawn == expected)) {
          ADD_FAILURE() << "position " << position << ", window (" << x << ", " << y << "): drew " << drawn
                        << ", expected " << expected;
          return;
        }
      }
    }
  }
};

TEST_F(BackgroundTest, EachRangeEdgeShowsItsColumnsScaledByTwoWithoutGapsOrOverlap) {
  for (std::int32_t position : {0, 1, 1519, 1520, 1521, 1919, 1920, 1921, 3439, 3440, 3441, 3839, 3840}) {
    SCOPED_TRACE(position);
    expectSkyAt(position);
  }
}

TEST_F(BackgroundTest, SeamPiecesMeetAtTheRightWindowColumn) {
  // At 1919 only sheet column 1919 of Background0 shows, on window columns 0 and 1.
  scrollTo(1919);
  coded_sheet::fillBlank();
  renderSkyOnce();
  EXPECT_EQ(coded_sheet::sheetPixelAt(1, 10), (SheetPixel{1919, 5, kBackground0Tag}));
  EXPECT_EQ(coded_sheet::sheetPixelAt(2, 10), (SheetPixel{0, 5, kBackground1Tag}));
  EXPECT_EQ(coded_sheet::sheetPixelAt(799, 10), (SheetPixel{398, 5, kBackground1Tag}));

  // At 3839 the same with the sheets swapped.
  scrollTo(3839);
  coded_sheet::fillBlank();
  renderSkyOnce();
  EXPECT_EQ(coded_sheet::sheetPixelAt(0, 599), (SheetPixel{1919, 299, kBackground1Tag}));
  EXPECT_EQ(coded_sheet::sheetPixelAt(2, 599), (SheetPixel{0, 299, kBackground0Tag}));
}

TEST_F(BackgroundTest, SkyHoldsStillForOneFrameAtTheWrapAndRepeatsEvery3841Frames) {
  scrollTo(3840);
  coded_sheet::fillBlank();
  renderSkyOnce();
  const SheetPixel atWrap = coded_sheet::sheetPixelAt(100, 100);
  coded_sheet::fillBlank();
  renderSkyOnce();
  EXPECT_EQ(coded_sheet::sheetPixelAt(100, 100), atWrap);
  EXPECT_EQ(atWrap, (SheetPixel{50, 50, kBackground0Tag}));

  // One more frame moves the sky by one sheet column, two window pixels.
  coded_sheet::fillBlank();
  renderSkyOnce();
  EXPECT_EQ(coded_sheet::sheetPixelAt(100, 100), (SheetPixel{51, 50, kBackground0Tag}));

  // A full cycle of 3841 calls comes back to the same picture.
  std::vector<SheetPixel> before;
  for (std::int32_t x = 0; x < kWindowWidth; x += 37) before.push_back(coded_sheet::sheetPixelAt(x, 333));
  const std::int32_t start = (gSkyPosition + kCycleLength - 1) % kCycleLength;
  SDL_Renderer* renderer = gRenderer;
  gRenderer = nullptr;
  for (std::int32_t call = 0; call < kCycleLength - 1; ++call) renderSkyOnce();
  gRenderer = renderer;
  ASSERT_EQ(gSkyPosition, start);
  coded_sheet::fillBlank();
  renderSkyOnce();
  std::size_t sample = 0;
  for (std::int32_t x = 0; x < kWindowWidth; x += 37) EXPECT_EQ(coded_sheet::sheetPixelAt(x, 333), before[sample++]);
}

TEST(CommittedSkyTest, TheWindowShowsTheBackgroundSheetsAtEachRangeEdge) {
  ASSERT_EQ(testing_support::useSoftwareRendererWithMedia(), 0);
  const committed_sheet::Sheet sheets[2] = {committed_sheet::loadSheet("Background0.png"),
                                            committed_sheet::loadSheet("Background1.png")};
  ASSERT_NE(sheets[0], nullptr);
  ASSERT_NE(sheets[1], nullptr);
  for (std::int32_t position : {0, 1519, 1520, 1919, 1920, 3439, 3440, 3839, 3840}) {
    SCOPED_TRACE(position);
    scrollTo(position);
    committed_sheet::fillCanvas();
    renderSkyOnce();
    // The view starts at `column` of one sheet; what does not fit is taken from the other.
    const std::int32_t first = position < kBackgroundSheetWidth ? 0 : 1;
    const std::int32_t column = position % kBackgroundSheetWidth + (position == 3840 ? kBackgroundSheetWidth : 0);
    const std::int32_t firstWidth = std::min(kBackgroundViewWidth, kBackgroundSheetWidth - column);
    if (firstWidth > 0) {
      EXPECT_TRUE(committed_sheet::drawnFrom(sheets[first].get(), {column, 0, firstWidth, 300}, {0, 0, 2 * firstWidth, 600}));
    }
    if (firstWidth < kBackgroundViewWidth) {
      const std::int32_t restWidth = kBackgroundViewWidth - firstWidth;
      EXPECT_TRUE(committed_sheet::drawnFrom(sheets[1 - first].get(), {0, 0, restWidth, 300},
                                             {2 * firstWidth, 0, 2 * restWidth, 600}));
    }
  }
  testing_support::releaseSoftwareRenderer();
}

}  // namespace
