// Placeholder until the sky is written.
#include "game/background.h"

void renderBackground() {}
