// Glyph lookup: which cell each character takes from the font sheet, and where it lands.
#include "text/font.h"

#include <SDL_image.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "app/platform.h"
#include "support/harness.h"

namespace {

using testing_support::countGlyphPixels;
using testing_support::glyphAt;
using testing_support::kFontLayout;

constexpr std::int32_t kGlyphPixels = 10 * 15;

class FontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::useSoftwareRenderer();
    testing_support::useCoordinateFont();
    gCharacterWidthToRender = 10;
    gCharacterHeightToRender = 15;
  }
  void TearDown() override { testing_support::releaseSoftwareRenderer(); }

  // Draws `character` at (x, y) and returns the result with the source cell's sheet rectangle,
  // read back from the canvas.
  SDL_Rect drawAndReadSource(std::int32_t x, std::int32_t y, char character, std::int32_t style,
                             std::int32_t& result) {
    testing_support::fillCanvas(0, 0, 0);
    result = renderCharacter(x, y, character, style);
    const SDL_Color corner = testing_support::pixelAt(x, y);
    const SDL_Rect source{corner.r, corner.g + 256 * (corner.b - 100), 10, 15};
    EXPECT_TRUE(glyphAt(x, y).drawn) << "not one whole cell at (" << x << ", " << y << ")";
    EXPECT_EQ(countGlyphPixels(), kGlyphPixels) << "drawn beyond (" << x << ", " << y << ", 10, 15)";
    return source;
  }
};

TEST_F(FontTest, CharactersTakeTheirCellsInEachStyle) {
  struct Case {
    char character;
    std::int32_t style;
    SDL_Rect source;
  };
  const Case cases[] = {
      {'A', 0, {100, 0, 10, 15}},   {'A', 2, {100, 180, 10, 15}}, {'A', 3, {100, 270, 10, 15}},
      {'0', 0, {0, 0, 10, 15}},     {'z', 2, {130, 225, 10, 15}}, {'_', 0, {150, 60, 10, 15}},
      {':', 0, {150, 45, 10, 15}},  {'>', 0, {10, 75, 10, 15}},   {' ', 0, {100, 75, 10, 15}},
      {'^', 1, {60, 165, 10, 15}},  {'.', 3, {140, 315, 10, 15}}, {'W', 0, {0, 30, 10, 15}},
  };
  for (const Case& testCase : cases) {
    SCOPED_TRACE(std::string(1, testCase.character) + " style " + std::to_string(testCase.style));
    std::int32_t result = -1;
    const SDL_Rect source = drawAndReadSource(290, 583, testCase.character, testCase.style, result);
    EXPECT_EQ(result, kCharacterDrawn);
    EXPECT_EQ(source.x, testCase.source.x);
    EXPECT_EQ(source.y, testCase.source.y);
  }
}

TEST_F(FontTest, EveryByteValueFollowsTheSheetLayout) {
  for (int code = 0; code < 256; ++code) {
    const char character = static_cast<char>(code);
    SCOPED_TRACE("code " + std::to_string(code));
    std::int32_t row = -1;
    std::int32_t column = -1;
    for (std::int32_t layoutRow = 0; layoutRow < 6 && code > 1 && code < 128; ++layoutRow) {
      const char* found = std::strchr(kFontLayout[layoutRow], character);
      if (found != nullptr) {
        row = layoutRow;
        column = static_cast<std::int32_t>(found - kFontLayout[layoutRow]);
      }
    }
    testing_support::fillCanvas(0, 0, 0);
    const std::int32_t result = renderCharacter(40, 50, character, 2);
    if (row < 0) {
      EXPECT_EQ(result, code == '\n' ? kCharacterIsNewline : kCharacterHasNoCell);
      EXPECT_EQ(countGlyphPixels(), 0);
      continue;
    }
    EXPECT_EQ(result, kCharacterDrawn);
    const testing_support::GlyphProbe probe = glyphAt(40, 50);
    EXPECT_TRUE(probe.drawn);
    EXPECT_EQ(probe.character, character);
    EXPECT_EQ(probe.style, 2);
    const SDL_Color corner = testing_support::pixelAt(40, 50);
    EXPECT_EQ(corner.r, 10 * column);
    EXPECT_EQ(corner.g + 256 * (corner.b - 100), 15 * row + 180);
  }
}

TEST_F(FontTest, CharactersWithoutACellDrawNothing) {
  const char noCell[] = {'%', '&', '@', '`', '{', '}', '~', '\t', '\r', 127, static_cast<char>(128),
                         static_cast<char>(200), static_cast<char>(255)};
  for (const char character : noCell) {
    SCOPED_TRACE(static_cast<int>(static_cast<unsigned char>(character)));
    testing_support::fillCanvas(0, 0, 0);
    EXPECT_EQ(renderCharacter(40, 50, character, 0), kCharacterHasNoCell);
    EXPECT_EQ(countGlyphPixels(), 0);
  }
  testing_support::fillCanvas(0, 0, 0);
  EXPECT_EQ(renderCharacter(40, 50, '\n', 0), kCharacterIsNewline);
  EXPECT_EQ(countGlyphPixels(), 0);
}

TEST_F(FontTest, DestinationFollowsTheRenderSizes) {
  gCharacterWidthToRender = 20;
  gCharacterHeightToRender = 30;
  testing_support::fillCanvas(0, 0, 0);
  EXPECT_EQ(renderCharacter(100, 100, 'A', 0), kCharacterDrawn);
  EXPECT_EQ(countGlyphPixels(), 20 * 30);
  // Scaled twice: the bottom-right pixel still comes from the cell's bottom-right pixel.
  const SDL_Color last = testing_support::pixelAt(119, 129);
  EXPECT_EQ(last.r, 109);
  EXPECT_EQ(last.g, 14);
}

// With the game's own font sheet: the drawn block equals the sheet's cell, its magenta background
// left transparent over the canvas colour.
TEST(FontSheetTest, GlyphsOfTheRealSheetLandOnTheirWindowRectangle) {
  if (!std::filesystem::exists(testing_support::committedAssetPath("Font.png"))) {
    GTEST_SKIP() << "Font.png not generated yet";
  }
  testing_support::enterFreshRunDirectory();
  testing_support::useSoftwareRenderer();
  gCharacterWidthToRender = 10;
  gCharacterHeightToRender = 15;
  ::testing::internal::CaptureStdout();
  loadMedia();
  ::testing::internal::GetCapturedStdout();
  ASSERT_NE(gTexture[kTextureFont], nullptr);
  SDL_Surface* loaded = IMG_Load("../Common/Font.png");
  ASSERT_NE(loaded, nullptr);
  SDL_Surface* sheet = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(loaded);
  ASSERT_GE(sheet->w, 160);
  ASSERT_GE(sheet->h, 360);

  struct Case {
    char character;
    std::int32_t style;
    std::int32_t sheetX;
    std::int32_t sheetY;
  };
  const SDL_Color background{20, 120, 40, 255};
  for (const Case& testCase : {Case{'A', 0, 100, 0}, Case{'A', 2, 100, 180}, Case{'A', 3, 100, 270},
                               Case{'z', 2, 130, 225}, Case{'>', 0, 10, 75}, Case{'_', 0, 150, 60}}) {
    SCOPED_TRACE(std::string(1, testCase.character) + " style " + std::to_string(testCase.style));
    testing_support::fillCanvas(background.r, background.g, background.b);
    EXPECT_EQ(renderCharacter(290, 583, testCase.character, testCase.style), kCharacterDrawn);
    std::int32_t glyphPixels = 0;
    for (std::int32_t dy = 0; dy < 15; ++dy) {
      for (std::int32_t dx = 0; dx < 10; ++dx) {
        SDL_Color expected{};
        const auto* row = static_cast<const std::uint8_t*>(sheet->pixels) + (testCase.sheetY + dy) * sheet->pitch;
        SDL_GetRGBA(reinterpret_cast<const Uint32*>(row)[testCase.sheetX + dx], sheet->format, &expected.r,
                    &expected.g, &expected.b, &expected.a);
        if (expected.r == 255 && expected.g == 0 && expected.b == 255) {
          expected = background;
        } else {
          ++glyphPixels;
        }
        const SDL_Color actual = testing_support::pixelAt(290 + dx, 583 + dy);
        ASSERT_EQ(actual.r, expected.r) << dx << "," << dy;
        ASSERT_EQ(actual.g, expected.g) << dx << "," << dy;
        ASSERT_EQ(actual.b, expected.b) << dx << "," << dy;
      }
    }
    EXPECT_GT(glyphPixels, 0) << "the cell is empty on the sheet";
    // Nothing outside the glyph's rectangle changed.
    for (const auto& [x, y] : {std::pair{289, 590}, std::pair{300, 590}, std::pair{295, 582}, std::pair{295, 598}}) {
      const SDL_Color outside = testing_support::pixelAt(x, y);
      EXPECT_EQ(outside.g, background.g) << x << "," << y;
    }
  }
  SDL_FreeSurface(sheet);
  testing_support::releaseSoftwareRenderer();
}

}  // namespace
