// Text: each byte's font cell and where it lands, the layout of words, and the text buffer.
#include "text/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "game/sheet_checks.h"
#include "text/font.h"

namespace {

using testing_support::textAt;

class TextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::useSoftwareRenderer();
    testing_support::useCoordinateFont();
    testing_support::resetToStartUpState();
    sheets::fill();
  }
  void TearDown() override { testing_support::releaseSoftwareRenderer(); }
};

// Every byte in every glyph set: its cell of kFontLayout whole and nothing around it, or nothing.
TEST_F(TextTest, EveryByteTakesItsCellOfTheSheetInEachStyle) {
  for (std::int32_t style = 0; style < 4; ++style) {
    for (std::int32_t code = 0; code < 256; ++code) {
      const char character = static_cast<char>(code);
      bool hasCell = false;
      for (std::int32_t row = 0; row < 6 && code > 1 && code < 128; ++row) hasCell |= std::strchr(testing_support::kFontLayout[row], character) != nullptr;
      sheets::fill();
      EXPECT_EQ(renderCharacter(40, 50, character, style), hasCell ? kCharacterDrawn : code == '\n' ? kCharacterIsNewline : kCharacterHasNoCell) << code;
      const testing_support::GlyphProbe probe = testing_support::glyphAt(40, 50);
      EXPECT_EQ(std::vector<std::int32_t>({probe.drawn, probe.character, probe.style}),
                hasCell ? std::vector<std::int32_t>({1, character, style}) : std::vector<std::int32_t>({0, 0, -1})) << code;
      for (const SDL_Rect clear : {SDL_Rect{39, 49, 12, 1}, {39, 65, 12, 1}, {39, 50, 1, 15}, {50, 50, 1, 15}, {40, 50, 10 * !hasCell, 15}}) {
        EXPECT_TRUE(sheets::drawnFrom(nullptr, {}, clear, false)) << code;
      }
    }
  }
  gCharacterWidthToRender = 20;  // scaled: the last pixel still from the cell's last
  gCharacterHeightToRender = 30;
  sheets::fill();
  renderCharacter(100, 100, 'A', 0);
  EXPECT_EQ(testing_support::countGlyphPixels(), 20 * 30);
  EXPECT_TRUE(sheets::same(testing_support::pixelAt(119, 129), {109, 14, 96, 255}));
}

// A word, even an empty one, wraps whole when it would end past the bound; spaces never wrap.
TEST_F(TextTest, WordsWrapAtTheRightBoundAndTheCursorMovesOn) {
  struct Line { std::int32_t x, y; std::string text; };
  struct { std::int32_t x, y, left, right, style; std::vector<const char*> texts; std::int32_t endX, endY; std::vector<Line> lines; } const cases[] = {
      {290, 583, 2, 800, 2, {"Toggle fullscreen : ", "F4"}, 510, 583, {{290, 583, "Toggle fullscreen : F4"}}},
      {0, -15, 0, 800, 2, {"\nScore: 42"}, 90, 0, {{0, 0, "Score: 42"}}},
      {605, 205, 325, 635, 3, {"key"}, 635, 205, {{605, 205, "key"}}},
      {606, 205, 325, 635, 3, {"key"}, 355, 220, {{325, 220, "key"}}},
      {325, 205, 325, 385, 0, {"abc de  fgh"}, 355, 220, {{325, 205, "abc de"}, {325, 220, "fgh"}}},
      {390, 300, 325, 385, 0, {"  x"}, 355, 315, {{325, 315, "  x"}}},
      {325, 205, 325, 355, 3, {"abcdefgh"}, 405, 220, {{325, 205, "        "}, {325, 220, "abcdefgh"}}},
      {100, 40, 2, 100, 0, {""}, 100, 40, {}},
      {101, 40, 2, 100, 0, {""}, 2, 55, {}},
      {50, 100, 20, 800, 0, {"ab\n\ncd\n"}, 20, 145, {{50, 100, "ab"}, {20, 115, "    "}, {20, 130, "cd"}}},
      {0, 0, 0, 800, 0, {"5%\t7"}, 40, 0, {{0, 0, "5  7"}}},
      {60, 30, 0, 100, 0, {"5%\t7"}, 100, 30, {{60, 30, "5  7"}}},
      {61, 60, 0, 100, 0, {"5%\t7"}, 40, 75, {{0, 75, "5  7"}}},
      {-20, 5, -20, 800, 2, {"abc"}, 10, 5, {{0, 5, "c"}}},
  };
  for (const auto& layout : cases) {
    sheets::fill();
    gTextX = layout.x;
    gTextY = layout.y;
    for (const char* text : layout.texts) EXPECT_EQ(renderText(layout.left, layout.right, text, layout.style), 0);
    EXPECT_EQ(std::vector<std::int32_t>({gTextX, gTextY}), std::vector<std::int32_t>({layout.endX, layout.endY})) << layout.texts[0];
    std::int32_t glyphs = 0;
    for (const Line& line : layout.lines) {
      EXPECT_EQ(textAt(line.x, line.y, static_cast<std::int32_t>(line.text.size()), layout.style), line.text);
      for (const char c : line.text) glyphs += c != ' ';
    }
    EXPECT_EQ(testing_support::countGlyphPixels(), glyphs * 10 * 15) << layout.texts[0];
  }
}

// Appends stop one byte short of the 4096, which end in a NUL.
TEST(DebugTextTest, AppendsFollowEachOtherAndAreCutWithinTheBuffer) {
  std::memset(gDebugText, 'x', sizeof gDebugText);
  gDebugTextIndex = 0;
  appendDebugText("\nScore: %d", 42);
  appendDebugText(" / %s", "7");
  EXPECT_STREQ(gDebugText, "\nScore: 42 / 7");
  struct { std::int32_t start; const char* stored; std::int32_t end; } const cases[] = {
      {kDebugTextSize - 10, "Score: 42", kDebugTextSize - 1}, {kDebugTextSize - 9, "Score: 4", kDebugTextSize - 1},
      {kDebugTextSize - 4, "Sco", kDebugTextSize - 1},        {kDebugTextSize - 1, "", kDebugTextSize - 1},
      {0, "Score: 42", 9},
  };
  for (const auto& append : cases) {
    gDebugTextIndex = append.start;
    appendDebugText("Score: %d", 42);
    EXPECT_EQ(gDebugTextIndex, append.end) << append.start;
    EXPECT_STREQ(gDebugText + append.start, append.stored) << append.start;
  }
}

}  // namespace
