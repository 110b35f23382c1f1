// The glyph lookup: which cell of the font sheet holds each character, and drawing one glyph.
#include "text/font.h"

#include <SDL.h>

#include "app/platform.h"

std::int32_t gCharacterWidthToRender = 0;
std::int32_t gCharacterHeightToRender = 0;

namespace {

constexpr std::int32_t kCodeCount = 128;    // codes 0 to 127; negative codes have no cell
constexpr std::uint8_t kNoCell = 0xFF;
constexpr std::uint8_t kNewline = 0xFE;

// Cells are numbered in reading order within a glyph set: cell = 16 x row + column.
constexpr std::uint8_t kFirstPunctuationCell = 62;  // full stop, then colon
constexpr std::uint8_t kRow4Cell = 4 * kFontColumns;
constexpr std::uint8_t kRow5Cell = 5 * kFontColumns;
constexpr std::uint8_t kSpaceCell = kRow5Cell + 10;
constexpr char kRow4Characters[] = ",;|/\\'\"?!+-*=()_";
constexpr char kRow5Characters[] = "<>[]#$^";

struct CellTable {
  std::uint8_t cell[kCodeCount];
};

constexpr CellTable buildCellTable() {
  CellTable table{};
  for (std::uint8_t& cell : table.cell) cell = kNoCell;
  std::uint8_t next = 0;
  for (char code = '0'; code <= '9'; ++code) table.cell[static_cast<int>(code)] = next++;
  for (char code = 'A'; code <= 'Z'; ++code) table.cell[static_cast<int>(code)] = next++;
  for (char code = 'a'; code <= 'z'; ++code) table.cell[static_cast<int>(code)] = next++;
  table.cell[static_cast<int>('.')] = kFirstPunctuationCell;
  table.cell[static_cast<int>(':')] = kFirstPunctuationCell + 1;
  for (std::uint8_t column = 0; kRow4Characters[column] != '\0'; ++column) {
    table.cell[static_cast<int>(kRow4Characters[column])] = kRow4Cell + column;
  }
  for (std::uint8_t column = 0; kRow5Characters[column] != '\0'; ++column) {
    table.cell[static_cast<int>(kRow5Characters[column])] = kRow5Cell + column;
  }
  table.cell[static_cast<int>(' ')] = kSpaceCell;
  table.cell[static_cast<int>('\n')] = kNewline;
  return table;
}

constexpr CellTable kCellTable = buildCellTable();

static_assert(sizeof(kRow4Characters) - 1 == kFontColumns);
static_assert(kCellTable.cell[static_cast<int>('z')] == kFirstPunctuationCell - 1);
static_assert(kCellTable.cell[static_cast<int>('A')] == 10);
static_assert(kCellTable.cell[static_cast<int>('_')] == kRow4Cell + 15);
static_assert(kCellTable.cell[static_cast<int>('^')] == kRow5Cell + 6);
static_assert(kCellTable.cell[static_cast<int>('%')] == kNoCell);

}  // namespace

// The character is taken as a signed byte, so 128 to 255 have no cell. Draws nothing for a
// character without a cell (result 1) or for newline (result 2).
std::int32_t renderCharacter(std::int32_t x, std::int32_t y, char character, std::int32_t style) {
  const std::int32_t code = static_cast<signed char>(character);
  if (code < 0) return kCharacterHasNoCell;
  const std::uint8_t cell = kCellTable.cell[code];
  if (cell == kNewline) return kCharacterIsNewline;
  if (cell == kNoCell) return kCharacterHasNoCell;

  const std::int32_t row = cell / kFontColumns;
  const std::int32_t column = cell % kFontColumns;
  const SDL_Rect source{gCharacterWidthInFile * column, gCharacterHeightInFile * (row + kFontRowsPerStyle * style),
                        gCharacterWidthInFile, gCharacterHeightInFile};
  const SDL_Rect destination{x, y, gCharacterWidthToRender, gCharacterHeightToRender};
  SDL_RenderCopy(gRenderer, gTexture[kTextureFont], &source, &destination);
  return kCharacterDrawn;
}
