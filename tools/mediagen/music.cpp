// Placeholder until the music is composed.
#include "media.h"

bool writeMusic(const std::string&) { return true; }
