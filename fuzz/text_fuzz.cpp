// Fuzz target: renderText and renderCharacter with any text, cursor, bounds and glyph set, the
// sets the sheet does not have included. The cursor must end where the layout rules put it
// (32-bit positions that wrap around rather than overflow), each character must report whether
// it has a cell, and nothing may be drawn outside the window.
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "text/font.h"
#include "text/text.h"

namespace {

// The characters that have a cell on the font sheet.
constexpr char kCharactersWithCell[] =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz.:,;|/\\'\"?!+-*=()_<>[]#$^ ";

std::int32_t expectedResult(char character) {
  if (character == '\n') return kCharacterIsNewline;
  return character != '\0' && std::strchr(kCharactersWithCell, character) != nullptr ? kCharacterDrawn : kCharacterHasNoCell;
}

std::int32_t wrappingAdd(std::int32_t value, std::int64_t step) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) + static_cast<std::uint32_t>(step));
}

// Where the layout rules leave the cursor after `text`: words wrap when their right edge would
// pass rightBound, spaces advance, newlines return to leftMargin one line lower.
void layOut(const char* text, std::int32_t leftMargin, std::int32_t rightBound, std::int32_t& x, std::int32_t& y) {
  const std::int32_t advance = gCharacterWidthToRender;
  for (;;) {
    std::int64_t length = 0;
    while (text[length] != '\0' && text[length] != ' ' && text[length] != '\n') ++length;
    if (static_cast<std::int64_t>(x) + length * advance > rightBound) {
      x = leftMargin;
      y = wrappingAdd(y, kLineHeight);
    }
    x = wrappingAdd(x, length * advance);
    text += length;
    for (;; ++text) {
      if (*text == '\n') {
        x = leftMargin;
        y = wrappingAdd(y, kLineHeight);
      } else if (*text == ' ') {
        x = wrappingAdd(x, advance);
      } else if (*text == '\0') {
        return;
      } else {
        break;
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_support::setUpOnce();
  fuzz_support::ByteReader reader(data, size);
  const std::int32_t startX = reader.takeInt32();
  const std::int32_t startY = reader.takeInt32();
  const std::int32_t leftMargin = reader.takeInt32();
  const std::int32_t rightBound = reader.takeInt32();
  const std::int32_t style = reader.takeInt32();
  const std::string text = reader.rest();  // may hold NULs: the text ends at the first

  fuzz_support::clearCanvas();
  gTextX = startX;
  gTextY = startY;
  if (renderText(leftMargin, rightBound, text.c_str(), style) != 0) fuzz_support::fail("renderText returned non-zero");
  std::int32_t expectedX = startX;
  std::int32_t expectedY = startY;
  layOut(text.c_str(), leftMargin, rightBound, expectedX, expectedY);
  if (gTextX != expectedX || gTextY != expectedY) fuzz_support::fail("the cursor ended off its place");
  fuzz_support::checkCanvasGuards();

  // Each byte alone at the start cursor, and once more at the cursor where the text ended.
  std::size_t checked = 0;
  for (const char character : text) {
    if (++checked > 64) break;
    const std::int32_t expected = expectedResult(character);
    if (renderCharacter(startX, startY, character, style) != expected ||
        renderCharacter(gTextX, gTextY, character, style) != expected) {
      fuzz_support::fail("renderCharacter misreported a character");
    }
  }
  fuzz_support::checkCanvasGuards();
  return 0;
}
