// The hand-drawn pixel font: the glyph sheet the game's text is drawn from, and large
// lettering for the title picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sheet_canvas.h"

// Layout of the font sheet, shared with the game's glyph lookup.
constexpr std::int32_t kFontCellWidth = 10;        // pixels
constexpr std::int32_t kFontCellHeight = 15;       // pixels
constexpr std::int32_t kFontColumns = 16;          // cells per row
constexpr std::int32_t kFontRowsPerSet = 6;        // cell rows per glyph set
constexpr std::int32_t kFontSets = 4;              // glyph sets on the sheet
constexpr std::int32_t kFontSheetWidth = kFontCellWidth * kFontColumns;                  // 160
constexpr std::int32_t kFontSheetHeight = kFontCellHeight * kFontRowsPerSet * kFontSets;  // 360

// A glyph's design grid: 7 columns, rows 0 to 8 above and on the baseline, 9 to 11 below it.
constexpr std::int32_t kGlyphColumns = 7;
constexpr std::int32_t kGlyphRows = 12;
constexpr std::int32_t kGlyphBaselineRow = 8;

// The characters of one glyph set's six cell rows; '%' marks a cell without a character.
extern const char* const kFontLayout[kFontRowsPerSet];

// True where the glyph of `character` has ink; false for unknown characters.
bool glyphInk(char character, std::int32_t column, std::int32_t row);

// The whole font sheet: glyph sets 0 and 1 light, 2 bright with a dark outline, 3 dark.
Canvas drawFontSheet();

// Large lettering: a coverage mask the size of the target picture, to be painted by the caller.
struct LetterMask {
  std::int32_t width;
  std::int32_t height;
  std::vector<std::uint8_t> covered;
  bool at(std::int32_t x, std::int32_t y) const;
};

// Width in pixels of `text` set with proportional spacing at the given scale.
std::int32_t letteringWidth(const std::string& text, std::int32_t scale);
// Marks the ink of `text` with its top-left corner (design row 0) at (x, y).
void stampLettering(LetterMask& mask, const std::string& text, std::int32_t x, std::int32_t y,
                    std::int32_t scale);
// The mask grown by `radius` pixels in every direction (a square neighbourhood).
LetterMask grownMask(const LetterMask& mask, std::int32_t radius);
