// Placeholder until the text layout is written.
#include "text/text.h"

std::int32_t gTextX = 0;
std::int32_t gTextY = 0;
char gDebugText[kDebugTextSize] = {};
std::int32_t gDebugTextIndex = 0;

std::int32_t renderText(std::int32_t, std::int32_t, const char*, std::int32_t) { return 0; }
void appendDebugText(const char*, ...) {}
