// Text layout at the shared cursor, word by word with wrapping, and the shared text buffer.
#include "text/text.h"

#include <cstdarg>
#include <cstdio>

#include "text/font.h"

std::int32_t gTextX = 0;
std::int32_t gTextY = 0;
char gDebugText[kDebugTextSize] = {};
std::int32_t gDebugTextIndex = 0;

namespace {

bool isSeparator(char character) { return character == ' ' || character == '\n' || character == '\0'; }

void breakLine(std::int32_t leftMargin) {
  gTextX = leftMargin;
  gTextY += kLineHeight;
}

}  // namespace

// Alternates between a word (bytes other than space, newline and NUL) and a run of separators.
// Each word, even an empty one, is wrapped whole when it would end beyond rightBound; spaces
// only move the cursor and never wrap.
std::int32_t renderText(std::int32_t leftMargin, std::int32_t rightBound, const char* text, std::int32_t style) {
  const char* current = text;
  for (;;) {
    const char* wordEnd = current;
    while (!isSeparator(*wordEnd)) ++wordEnd;
    const std::int64_t wordWidth = static_cast<std::int64_t>(wordEnd - current) * gCharacterWidthToRender;
    if (gTextX + wordWidth > rightBound) breakLine(leftMargin);
    for (; current != wordEnd; ++current) {
      renderCharacter(gTextX, gTextY, *current, style);
      gTextX += gCharacterWidthToRender;
    }

    for (;; ++current) {
      if (*current == '\n') {
        breakLine(leftMargin);
      } else if (*current == ' ') {
        gTextX += gCharacterWidthToRender;
      } else if (*current == '\0') {
        return 0;
      } else {
        break;
      }
    }
  }
}

// vsnprintf is given only the space left, so the buffer always ends in a NUL within its
// 4096 bytes, and the index advances by what was stored, not by what was asked for.
void appendDebugText(const char* format, ...) {
  if (gDebugTextIndex < 0 || gDebugTextIndex >= kDebugTextSize) return;
  const std::int32_t space = kDebugTextSize - gDebugTextIndex;
  va_list arguments;
  va_start(arguments, format);
  const int wanted = vsnprintf(gDebugText + gDebugTextIndex, static_cast<size_t>(space), format, arguments);
  va_end(arguments);
  if (wanted < 0) {
    gDebugText[gDebugTextIndex] = '\0';
    return;
  }
  gDebugTextIndex += wanted < space ? wanted : space - 1;
}
