// Font.png and large lettering, both drawn from one hand-made 7 x 12 pixel font.
#include "sheet_font.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

const char* const kFontLayout[kFontRowsPerSet] = {
    "0123456789ABCDEF", "GHIJKLMNOPQRSTUV", "WXYZabcdefghijkl",
    "mnopqrstuvwxyz.:", ",;|/\\'\"?!+-*=()_", "<>[]#$^%%% %%%%%",
};

namespace {

// Each glyph: rows of 7 pixels separated by spaces, top row first; '#' is ink.
// Rows left out at the bottom are blank.
struct GlyphDesign {
  char character;
  const char* rows;
};

const GlyphDesign kGlyphs[] = {
    {'0', "..###.. .#...#. #....## #...#.# #..#..# #.#...# ##....# .#...#. ..###.."},
    {'1', "...#... ..##... .#.#... ...#... ...#... ...#... ...#... ...#... .#####."},
    {'2', ".#####. #.....# ......# .....#. ...##.. ..#.... .#..... #...... #######"},
    {'3', ".#####. #.....# ......# ......# ..####. ......# ......# #.....# .#####."},
    {'4', "....##. ...#.#. ..#..#. .#...#. #....#. ####### .....#. .....#. .....#."},
    {'5', "####### #...... #...... ######. ......# ......# ......# #.....# .#####."},
    {'6', "..####. .#..... #...... #...... ######. #.....# #.....# #.....# .#####."},
    {'7', "####### ......# .....#. ....#.. ...#... ...#... ..#.... ..#.... ..#...."},
    {'8', ".#####. #.....# #.....# #.....# .#####. #.....# #.....# #.....# .#####."},
    {'9', ".#####. #.....# #.....# #.....# .###### ......# ......# .....#. .####.."},
    {'A', "...#... ..#.#.. .#...#. #.....# #.....# ####### #.....# #.....# #.....#"},
    {'B', "######. #.....# #.....# #.....# ######. #.....# #.....# #.....# ######."},
    {'C', ".#####. #.....# #...... #...... #...... #...... #...... #.....# .#####."},
    {'D', "#####.. #....#. #.....# #.....# #.....# #.....# #.....# #....#. #####.."},
    {'E', "####### #...... #...... #...... #####.. #...... #...... #...... #######"},
    {'F', "####### #...... #...... #...... #####.. #...... #...... #...... #......"},
    {'G', ".#####. #.....# #...... #...... #..#### #.....# #.....# #.....# .#####."},
    {'H', "#.....# #.....# #.....# #.....# ####### #.....# #.....# #.....# #.....#"},
    {'I', ".#####. ...#... ...#... ...#... ...#... ...#... ...#... ...#... .#####."},
    {'J', "..##### .....#. .....#. .....#. .....#. .....#. #....#. #....#. .####.."},
    {'K', "#.....# #....#. #...#.. #..#... ###.... #..#... #...#.. #....#. #.....#"},
    {'L', "#...... #...... #...... #...... #...... #...... #...... #...... #######"},
    {'M', "#.....# ##...## #.#.#.# #..#..# #.....# #.....# #.....# #.....# #.....#"},
    {'N', "#.....# ##....# ##....# #.#...# #..#..# #...#.# #....## #....## #.....#"},
    {'O', ".#####. #.....# #.....# #.....# #.....# #.....# #.....# #.....# .#####."},
    {'P', "######. #.....# #.....# #.....# ######. #...... #...... #...... #......"},
    {'Q', ".#####. #.....# #.....# #.....# #.....# #.....# #...#.# #....#. .####.#"},
    {'R', "######. #.....# #.....# #.....# ######. #...#.. #....#. #.....# #.....#"},
    {'S', ".#####. #.....# #...... #...... .#####. ......# ......# #.....# .#####."},
    {'T', "####### ...#... ...#... ...#... ...#... ...#... ...#... ...#... ...#..."},
    {'U', "#.....# #.....# #.....# #.....# #.....# #.....# #.....# #.....# .#####."},
    {'V', "#.....# #.....# #.....# #.....# .#...#. .#...#. ..#.#.. ..#.#.. ...#..."},
    {'W', "#.....# #.....# #.....# #.....# #..#..# #..#..# #.#.#.# ##...## #.....#"},
    {'X', "#.....# #.....# .#...#. ..#.#.. ...#... ..#.#.. .#...#. #.....# #.....#"},
    {'Y', "#.....# #.....# .#...#. ..#.#.. ...#... ...#... ...#... ...#... ...#..."},
    {'Z', "####### ......# .....#. ....#.. ...#... ..#.... .#..... #...... #######"},
    {'a', "....... ....... ....... .#####. ......# .###### #.....# #.....# .######"},
    {'b', "#...... #...... #...... ######. #.....# #.....# #.....# #.....# ######."},
    {'c', "....... ....... ....... .#####. #.....# #...... #...... #.....# .#####."},
    {'d', "......# ......# ......# .###### #.....# #.....# #.....# #.....# .######"},
    {'e', "....... ....... ....... .#####. #.....# ####### #...... #.....# .#####."},
    {'f', "...###. ..#.... ..#.... ######. ..#.... ..#.... ..#.... ..#.... ..#...."},
    {'g', "....... ....... ....... .###### #.....# #.....# #.....# #.....# .###### "
          "......# #.....# .#####."},
    {'h', "#...... #...... #...... ######. #.....# #.....# #.....# #.....# #.....#"},
    {'i', "....... ...#... ....... ..##... ...#... ...#... ...#... ...#... ..###.."},
    {'j', "....... .....#. ....... ....##. .....#. .....#. .....#. .....#. .....#. "
          ".....#. #....#. .####.."},
    {'k', "#...... #...... #...... #....#. #...#.. ####... #...#.. #....#. #.....#"},
    {'l', "..##... ...#... ...#... ...#... ...#... ...#... ...#... ...#... ..###.."},
    {'m', "....... ....... ....... ###.##. #..#..# #..#..# #..#..# #..#..# #..#..#"},
    {'n', "....... ....... ....... #.####. ##....# #.....# #.....# #.....# #.....#"},
    {'o', "....... ....... ....... .#####. #.....# #.....# #.....# #.....# .#####."},
    {'p', "....... ....... ....... ######. #.....# #.....# #.....# #.....# ######. "
          "#...... #...... #......"},
    {'q', "....... ....... ....... .###### #.....# #.....# #.....# #.....# .###### "
          "......# ......# ......#"},
    {'r', "....... ....... ....... #.####. ##....# #...... #...... #...... #......"},
    {'s', "....... ....... ....... .###### #...... .#####. ......# ......# ######."},
    {'t', "..#.... ..#.... ..#.... ######. ..#.... ..#.... ..#.... ..#...# ...###."},
    {'u', "....... ....... ....... #.....# #.....# #.....# #.....# #....## .####.#"},
    {'v', "....... ....... ....... #.....# #.....# .#...#. .#...#. ..#.#.. ...#..."},
    {'w', "....... ....... ....... #.....# #.....# #..#..# #..#..# #..#..# .##.##."},
    {'x', "....... ....... ....... #.....# .#...#. ..#.#.. ..#.#.. .#...#. #.....#"},
    {'y', "....... ....... ....... #.....# #.....# #.....# #.....# #.....# .###### "
          "......# #.....# .#####."},
    {'z', "....... ....... ....... ####### .....#. ....#.. ..##... .#..... #######"},
    {'.', "....... ....... ....... ....... ....... ....... ....... ..##... ..##..."},
    {':', "....... ....... ..##... ..##... ....... ....... ....... ..##... ..##..."},
    {',', "....... ....... ....... ....... ....... ....... ....... ..##... ..##... "
          "...#... ..#...."},
    {';', "....... ....... ..##... ..##... ....... ....... ....... ..##... ..##... "
          "...#... ..#...."},
    {'|', "...#... ...#... ...#... ...#... ...#... ...#... ...#... ...#... ...#... "
          "...#... ...#..."},
    {'/', "......# .....#. .....#. ....#.. ...#... ..#.... .#..... .#..... #......"},
    {'\\', "#...... .#..... .#..... ..#.... ...#... ....#.. .....#. .....#. ......#"},
    {'\'', "...#... ...#... ..#...."},
    {'"', ".#...#. .#...#. .#...#."},
    {'?', ".#####. #.....# ......# .....#. ...##.. ...#... ...#... ....... ...#..."},
    {'!', "...#... ...#... ...#... ...#... ...#... ...#... ...#... ....... ...#..."},
    {'+', "....... ....... ...#... ...#... ####### ...#... ...#... ....... ......."},
    {'-', "....... ....... ....... ....... .#####. ....... ....... ....... ......."},
    {'*', "....... ...#... #..#..# .#.#.#. ..###.. .#.#.#. #..#..# ...#... ......."},
    {'=', "....... ....... ....... ####### ....... ####### ....... ....... ......."},
    {'(', "....##. ...#... ..#.... ..#.... ..#.... ..#.... ..#.... ..#.... ..#.... "
          "...#... ....##."},
    {')', ".##.... ...#... ....#.. ....#.. ....#.. ....#.. ....#.. ....#.. ....#.. "
          "...#... .##...."},
    {'_', "....... ....... ....... ....... ....... ....... ....... ....... ....... "
          "....... #######"},
    {'<', "....... ......# ....##. ..##... ##..... ..##... ....##. ......# ......."},
    {'>', "....... #...... .##.... ...##.. .....## ...##.. .##.... #...... ......."},
    {'[', "..####. ..#.... ..#.... ..#.... ..#.... ..#.... ..#.... ..#.... ..#.... "
          "..#.... ..####."},
    {']', ".####.. ....#.. ....#.. ....#.. ....#.. ....#.. ....#.. ....#.. ....#.. "
          "....#.. .####.."},
    {'#', "....... .#...#. .#...#. ####### .#...#. .#...#. ####### .#...#. .#...#."},
    {'$', "...#... .#####. #..#... #..#... .#####. ...#..# ...#..# .#####. ...#..."},
    {'^', "...#... ..#.#.. .#...#. #.....#"},
    {' ', ""},
};

using GlyphBitmap = std::array<std::array<bool, kGlyphColumns>, kGlyphRows>;

// Parses every design once; a malformed design is a programming error and stops the generator.
const std::map<char, GlyphBitmap>& glyphBitmaps() {
  static const std::map<char, GlyphBitmap> bitmaps = [] {
    std::map<char, GlyphBitmap> parsed;
    for (const GlyphDesign& design : kGlyphs) {
      GlyphBitmap bitmap{};
      std::int32_t row = 0;
      std::int32_t column = 0;
      for (const char* p = design.rows; *p != '\0'; ++p) {
        if (*p == ' ') {
          if (column != kGlyphColumns) break;
          ++row;
          column = 0;
          continue;
        }
        if (row >= kGlyphRows || column >= kGlyphColumns || (*p != '#' && *p != '.')) {
          column = -1;
          break;
        }
        bitmap[row][column] = *p == '#';
        ++column;
      }
      if (column != kGlyphColumns && !(row == 0 && column == 0)) {
        std::fprintf(stderr, "malformed glyph design for '%c'\n", design.character);
        std::abort();
      }
      parsed[design.character] = bitmap;
    }
    return parsed;
  }();
  return bitmaps;
}

struct GlyphStyle {
  Rgb ink;
  Rgb outline;
  bool outlined;
};

// Glyph cell pixel of design (column, row): one pixel of margin left, two above.
constexpr std::int32_t kGlyphLeftInCell = 1;
constexpr std::int32_t kGlyphTopInCell = 2;

void drawGlyphSet(Canvas& sheet, std::int32_t set, const GlyphStyle& style) {
  const std::int32_t setTop = set * kFontRowsPerSet * kFontCellHeight;
  for (std::int32_t cellRow = 0; cellRow < kFontRowsPerSet; ++cellRow) {
    for (std::int32_t cellColumn = 0; cellColumn < kFontColumns; ++cellColumn) {
      const char character = kFontLayout[cellRow][cellColumn];
      if (character == '%') continue;
      const std::int32_t cellX = cellColumn * kFontCellWidth;
      const std::int32_t cellY = setTop + cellRow * kFontCellHeight;
      for (std::int32_t row = 0; row < kGlyphRows; ++row) {
        for (std::int32_t column = 0; column < kGlyphColumns; ++column) {
          if (glyphInk(character, column, row)) {
            sheet.set(cellX + kGlyphLeftInCell + column, cellY + kGlyphTopInCell + row, style.ink);
          }
        }
      }
      if (style.outlined) {
        outlineSprites(sheet, cellX, cellY, kFontCellWidth, kFontCellHeight, style.outline, true);
      }
    }
  }
}

}  // namespace

bool glyphInk(char character, std::int32_t column, std::int32_t row) {
  const auto& bitmaps = glyphBitmaps();
  const auto found = bitmaps.find(character);
  if (found == bitmaps.end()) return false;
  if (column < 0 || row < 0 || column >= kGlyphColumns || row >= kGlyphRows) return false;
  return found->second[row][column];
}

Canvas drawFontSheet() {
  Canvas sheet(kFontSheetWidth, kFontSheetHeight, kKeyColour);
  const GlyphStyle light{{238, 238, 230}, {0, 0, 0}, false};
  const GlyphStyle bright{{255, 246, 180}, {22, 20, 52}, true};
  const GlyphStyle dark{{18, 22, 58}, {0, 0, 0}, false};
  drawGlyphSet(sheet, 0, light);
  drawGlyphSet(sheet, 1, light);
  drawGlyphSet(sheet, 2, bright);
  drawGlyphSet(sheet, 3, dark);
  return sheet;
}

bool LetterMask::at(std::int32_t x, std::int32_t y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return false;
  return covered[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] != 0;
}

namespace {

// The design columns a glyph's ink spans; the space gets a fixed gap.
void inkSpan(char character, std::int32_t& first, std::int32_t& last) {
  first = kGlyphColumns;
  last = -1;
  for (std::int32_t column = 0; column < kGlyphColumns; ++column) {
    for (std::int32_t row = 0; row < kGlyphRows; ++row) {
      if (glyphInk(character, column, row)) {
        if (column < first) first = column;
        if (column > last) last = column;
      }
    }
  }
  if (last < 0) {
    first = 0;
    last = 3;
  }
}

constexpr std::int32_t kLetterGap = 2;  // design columns between letters

}  // namespace

std::int32_t letteringWidth(const std::string& text, std::int32_t scale) {
  std::int32_t columns = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::int32_t first = 0;
    std::int32_t last = 0;
    inkSpan(text[i], first, last);
    columns += last - first + 1 + (i + 1 < text.size() ? kLetterGap : 0);
  }
  return columns * scale;
}

void stampLettering(LetterMask& mask, const std::string& text, std::int32_t x, std::int32_t y,
                    std::int32_t scale) {
  std::int32_t penX = x;
  for (const char character : text) {
    std::int32_t first = 0;
    std::int32_t last = 0;
    inkSpan(character, first, last);
    for (std::int32_t row = 0; row < kGlyphRows; ++row) {
      for (std::int32_t column = first; column <= last; ++column) {
        if (!glyphInk(character, column, row)) continue;
        for (std::int32_t dy = 0; dy < scale; ++dy) {
          for (std::int32_t dx = 0; dx < scale; ++dx) {
            const std::int32_t px = penX + (column - first) * scale + dx;
            const std::int32_t py = y + row * scale + dy;
            if (px < 0 || py < 0 || px >= mask.width || py >= mask.height) continue;
            mask.covered[static_cast<std::size_t>(py) * static_cast<std::size_t>(mask.width) + static_cast<std::size_t>(px)] = 1;
          }
        }
      }
    }
    penX += (last - first + 1 + kLetterGap) * scale;
  }
}

LetterMask grownMask(const LetterMask& mask, std::int32_t radius) {
  LetterMask grown{mask.width, mask.height, std::vector<std::uint8_t>(mask.covered.size(), 0)};
  for (std::int32_t y = 0; y < mask.height; ++y) {
    for (std::int32_t x = 0; x < mask.width; ++x) {
      if (!mask.at(x, y)) continue;
      for (std::int32_t dy = -radius; dy <= radius; ++dy) {
        for (std::int32_t dx = -radius; dx <= radius; ++dx) {
          const std::int32_t px = x + dx;
          const std::int32_t py = y + dy;
          if (px < 0 || py < 0 || px >= mask.width || py >= mask.height) continue;
          grown.covered[static_cast<std::size_t>(py) * static_cast<std::size_t>(mask.width) + static_cast<std::size_t>(px)] = 1;
        }
      }
    }
  }
  return grown;
}
