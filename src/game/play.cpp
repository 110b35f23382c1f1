// Placeholder until the play loop is written.
#include "game/play.h"

std::int32_t gScore = 0;
SDL_Event gEvent;

std::int32_t play() { return 0; }
