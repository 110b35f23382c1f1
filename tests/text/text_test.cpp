// Text layout at the shared cursor, read back glyph by glyph from the canvas, and the text buffer.
#include "text/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/platform.h"
#include "support/harness.h"
#include "text/font.h"

namespace {

using testing_support::countGlyphPixels;
using testing_support::textAt;

constexpr std::int32_t kGlyphPixels = 10 * 15;

class TextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::useSoftwareRenderer();
    testing_support::useCoordinateFont();
    testing_support::fillCanvas(0, 0, 0);
    gCharacterWidthToRender = 10;
    gCharacterHeightToRender = 15;
    gTextX = 0;
    gTextY = 0;
  }
  void TearDown() override { testing_support::releaseSoftwareRenderer(); }

  void setCursor(std::int32_t x, std::int32_t y) {
    gTextX = x;
    gTextY = y;
  }
  void expectCursor(std::int32_t x, std::int32_t y) {
    EXPECT_EQ(gTextX, x);
    EXPECT_EQ(gTextY, y);
  }
};

TEST_F(TextTest, TitleHintLineAndAFollowingKeyName) {
  setCursor(290, 583);
  EXPECT_EQ(renderText(2, 800, "Toggle fullscreen : ", 2), 0);
  expectCursor(490, 583);
  EXPECT_EQ(textAt(290, 583, 20, 2), "Toggle fullscreen : ");
  EXPECT_EQ(countGlyphPixels(), 17 * kGlyphPixels);

  // The next call continues where the cursor stands.
  renderText(2, 800, "F4", 2);
  expectCursor(510, 583);
  EXPECT_EQ(textAt(290, 583, 22, 2), "Toggle fullscreen : F4");
}

TEST_F(TextTest, ScoreLineStartsWithANewlineFromAboveTheWindow) {
  setCursor(0, -15);
  renderText(0, 800, "\nScore: 42", 2);
  expectCursor(90, 0);
  EXPECT_EQ(textAt(0, 0, 9, 2), "Score: 42");
  EXPECT_EQ(countGlyphPixels(), 8 * kGlyphPixels);
}

TEST_F(TextTest, WordThatEndsExactlyAtTheRightBoundStays) {
  setCursor(605, 205);
  renderText(325, 635, "key", 3);
  expectCursor(635, 205);
  EXPECT_EQ(textAt(605, 205, 3, 3), "key");
}

TEST_F(TextTest, WordOnePixelTooWideWrapsToTheLeftMargin) {
  setCursor(606, 205);
  renderText(325, 635, "key", 3);
  expectCursor(355, 220);
  EXPECT_EQ(textAt(325, 220, 3, 3), "key");
  EXPECT_EQ(countGlyphPixels(), 3 * kGlyphPixels);
}

TEST_F(TextTest, WrapsWordByWordAndKeepsLeadingSpacesOfAWrappedLine) {
  setCursor(325, 205);
  renderText(325, 385, "abc de  fgh", 0);
  // "abc" ends at 355, "de" at 385; the two spaces carry the cursor to 405, so "fgh" wraps.
  expectCursor(355, 220);
  EXPECT_EQ(textAt(325, 205, 6, 0), "abc de");
  EXPECT_EQ(textAt(325, 220, 3, 0), "fgh");
  // The empty word before leading spaces wraps a cursor beyond the bound; the spaces are kept.
  setCursor(390, 300);
  renderText(325, 385, "  x", 0);
  expectCursor(355, 315);
  EXPECT_EQ(textAt(325, 315, 3, 0), "  x");
}

TEST_F(TextTest, OverlongWordLeavesAnEmptyLineAndRunsPastTheBound) {
  setCursor(325, 205);
  renderText(325, 355, "abcdefgh", 3);
  expectCursor(405, 220);
  EXPECT_EQ(textAt(325, 205, 8, 3), "        ");
  EXPECT_EQ(textAt(325, 220, 8, 3), "abcdefgh");
}

TEST_F(TextTest, EmptyTextMovesTheCursorOnlyWhenItStandsBeyondTheBound) {
  setCursor(100, 40);
  EXPECT_EQ(renderText(2, 100, "", 0), 0);
  expectCursor(100, 40);
  setCursor(101, 40);
  EXPECT_EQ(renderText(2, 100, "", 0), 0);
  expectCursor(2, 55);
  EXPECT_EQ(countGlyphPixels(), 0);
}

TEST_F(TextTest, TwoNewlinesLeaveOneEmptyLine) {
  setCursor(50, 100);
  renderText(20, 800, "ab\n\ncd\n", 0);
  expectCursor(20, 145);
  EXPECT_EQ(textAt(50, 100, 2, 0), "ab");
  EXPECT_EQ(textAt(20, 115, 4, 0), "    ");
  EXPECT_EQ(textAt(20, 130, 2, 0), "cd");
  EXPECT_EQ(countGlyphPixels(), 4 * kGlyphPixels);
}

TEST_F(TextTest, CharactersWithoutACellLeaveAGapAndCountInTheWrapTest) {
  setCursor(0, 0);
  renderText(0, 800, "5%\t7", 0);
  expectCursor(40, 0);
  EXPECT_EQ(textAt(0, 0, 4, 0), "5  7");
  // Four bytes make 40 pixels: from x = 61 they no longer fit below 100.
  setCursor(60, 30);
  renderText(0, 100, "5%\t7", 0);
  expectCursor(100, 30);
  setCursor(61, 60);
  renderText(0, 100, "5%\t7", 0);
  expectCursor(40, 75);
  EXPECT_EQ(textAt(0, 75, 4, 0), "5  7");
}

TEST_F(TextTest, NegativeCursorIsNotClamped) {
  setCursor(-20, 5);
  renderText(-20, 800, "abc", 2);
  expectCursor(10, 5);
  // The first two glyphs lie left of the window and are clipped away.
  EXPECT_EQ(textAt(0, 5, 1, 2), "c");
  EXPECT_EQ(countGlyphPixels(), kGlyphPixels);
}

class DebugTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(gDebugText, 'x', sizeof(gDebugText));
    gDebugTextIndex = 0;
  }
  void TearDown() override {
    std::memset(gDebugText, 0, sizeof(gDebugText));
    gDebugTextIndex = 0;
  }
};

TEST_F(DebugTextTest, AppendAfterEmptyingStartsAtOffsetZero) {
  appendDebugText("Happy Birthday, you filthy animal!");
  gDebugTextIndex = 0;
  appendDebugText("Your score: %d", 125);
  EXPECT_EQ(gDebugTextIndex, 15);
  EXPECT_STREQ(gDebugText, "Your score: 125");
}

TEST_F(DebugTextTest, AppendsFollowEachOther) {
  appendDebugText("\nScore: %d", 42);
  appendDebugText(" / %s", "7");
  EXPECT_EQ(gDebugTextIndex, 14);
  EXPECT_STREQ(gDebugText, "\nScore: 42 / 7");
}

TEST_F(DebugTextTest, AppendThatWouldNotFitIsCutWithinTheBuffer) {
  const std::string line(1000, 'a');
  for (int append = 0; append < 5; ++append) appendDebugText("%s", line.c_str());
  EXPECT_EQ(gDebugTextIndex, kDebugTextSize - 1);
  EXPECT_EQ(gDebugText[kDebugTextSize - 1], '\0');
  EXPECT_EQ(std::strlen(gDebugText), static_cast<std::size_t>(kDebugTextSize - 1));
  // A full buffer takes nothing more and stays terminated.
  appendDebugText("more");
  EXPECT_EQ(gDebugTextIndex, kDebugTextSize - 1);
  EXPECT_EQ(gDebugText[kDebugTextSize - 1], '\0');
}

TEST_F(DebugTextTest, AppendNearTheEndStoresWhatFits) {
  gDebugTextIndex = kDebugTextSize - 4;
  appendDebugText("Score: %d", 42);
  EXPECT_EQ(gDebugTextIndex, kDebugTextSize - 1);
  EXPECT_STREQ(gDebugText + kDebugTextSize - 4, "Sco");
}

}  // namespace
