// The media generator's parts: each writes its files into the given directory.
#pragma once

#include <string>

// The eight sprite sheets (PNG). False after printing what failed.
bool writeSheets(const std::string& directory);
// The fourteen sound effects snd00.wav to snd13.wav.
bool writeSounds(const std::string& directory);
// The three pieces of music mus01.mid to mus03.mid.
bool writeMusic(const std::string& directory);
