// Text layout at the shared cursor, and the shared text buffer.
#pragma once

#include <cstdint>

constexpr std::int32_t kDebugTextSize = 4096;  // bytes, terminating NUL included
constexpr std::int32_t kLineHeight = 15;       // pixels per line break

extern std::int32_t gTextX;  // window pixels: left edge of the next glyph
extern std::int32_t gTextY;  // window pixels: top edge of the current line
extern char gDebugText[kDebugTextSize];
extern std::int32_t gDebugTextIndex;  // bytes appended since the buffer was emptied

// Lays out `text` word by word from the cursor, wrapping words that would pass rightBound.
std::int32_t renderText(std::int32_t leftMargin, std::int32_t rightBound, const char* text, std::int32_t style);

// Appends printf-style text at gDebugTextIndex; what would not fit in the buffer is cut off.
void appendDebugText(const char* format, ...) __attribute__((format(printf, 1, 2)));
