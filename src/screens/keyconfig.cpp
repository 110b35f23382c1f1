// Placeholder until the key configuration screen is written.
#include "screens/keyconfig.h"

std::int32_t adjustSettings() { return 1; }
void renderSettings(std::int32_t) {}
