// Placeholder until the glyph lookup is written.
#include "text/font.h"

std::int32_t gCharacterWidthToRender = 0;
std::int32_t gCharacterHeightToRender = 0;

std::int32_t renderCharacter(std::int32_t, std::int32_t, char, std::int32_t) { return kCharacterHasNoCell; }
