// The bitmap font sheet: where each character's glyph lies and how big it is drawn.
#pragma once

#include <cstdint>

constexpr std::int32_t gCharacterWidthInFile = 10;   // pixels of a cell on the sheet
constexpr std::int32_t gCharacterHeightInFile = 15;  // pixels of a cell on the sheet
constexpr std::int32_t kFontColumns = 16;            // cells per row
constexpr std::int32_t kFontRowsPerStyle = 6;        // cell rows of one glyph set

// Results of renderCharacter.
constexpr std::int32_t kCharacterDrawn = 0;
constexpr std::int32_t kCharacterHasNoCell = 1;
constexpr std::int32_t kCharacterIsNewline = 2;

extern std::int32_t gCharacterWidthToRender;   // pixels, set at start-up
extern std::int32_t gCharacterHeightToRender;  // pixels, set at start-up

// Draws one glyph of glyph set `style` with its top-left corner at (x, y).
std::int32_t renderCharacter(std::int32_t x, std::int32_t y, char character, std::int32_t style);
