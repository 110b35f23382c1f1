// Text at the limits of its arguments: a cursor at the end of the 32-bit range wraps around
// instead of overflowing, and glyph sets the font sheet does not have draw nothing.
#include <gtest/gtest.h>

#include <climits>

#include "app/platform.h"
#include "support/harness.h"
#include "text/font.h"
#include "text/text.h"

namespace {

class TextLimitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(testing_support::useSoftwareRendererWithMedia(), 0);
    gCharacterWidthToRender = 10;
    gCharacterHeightToRender = 15;
    testing_support::fillCanvas(0, 0, 0);
  }
  void TearDown() override { testing_support::releaseSoftwareRenderer(); }

  static std::int32_t litPixels() {
    SDL_RenderFlush(gRenderer);
    std::int32_t count = 0;
    for (std::int32_t y = 0; y < kWindowHeight; ++y) {
      for (std::int32_t x = 0; x < kWindowWidth; ++x) {
        const SDL_Color color = testing_support::pixelAt(x, y);
        if (color.r != 0 || color.g != 0 || color.b != 0) ++count;
      }
    }
    return count;
  }
};

TEST_F(TextLimitsTest, ACursorAtTheEndOfTheRangeWrapsAroundAndDrawsNothingInTheWindow) {
  gTextX = INT_MAX - 15;
  gTextY = INT_MAX - 5;
  renderText(INT_MAX - 40, INT_MAX, "ab cd\n", 0);
  // Each word would end past INT_MAX, so each starts a new line; with the final newline three
  // line breaks carry the cursor past the end of the range and round to its start.
  EXPECT_EQ(gTextX, INT_MAX - 40);
  EXPECT_EQ(gTextY, INT_MIN + 39);
  EXPECT_EQ(litPixels(), 0);

  gTextX = INT_MAX - 4;
  gTextY = 100;
  renderText(0, INT_MAX, " ", 0);  // a space never wraps; the cursor passes the end of the range
  EXPECT_EQ(gTextX, INT_MIN + 5);
  EXPECT_EQ(gTextY, 100);
}

TEST_F(TextLimitsTest, GlyphSetsBeyondTheSheetDrawNothingAndStillReportTheCell) {
  for (const std::int32_t style : {-1, 4, 5, 1000, INT_MAX, INT_MIN, INT_MAX / 90, INT_MIN / 90}) {
    SCOPED_TRACE(style);
    EXPECT_EQ(renderCharacter(100, 100, 'A', style), kCharacterDrawn);
    EXPECT_EQ(renderCharacter(100, 100, '%', style), kCharacterHasNoCell);
    gTextX = 0;
    gTextY = 200;
    renderText(0, 800, "Toggle fullscreen : F4", style);
    EXPECT_EQ(gTextX, 220);
  }
  EXPECT_EQ(litPixels(), 0);
  // The sheet's own sets do draw, so the count above can see a glyph.
  renderCharacter(100, 100, 'A', 2);
  EXPECT_GT(litPixels(), 0);
}

}  // namespace
