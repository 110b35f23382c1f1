// Writes every media file of the game from code: zellworth_mediagen <directory>.
// The output is the same, byte for byte, on every run.
#include <cstdio>
#include <filesystem>

#include "media.h"

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
    return 2;
  }
  const std::string directory = argv[1];
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error) {
    std::fprintf(stderr, "cannot create %s: %s\n", directory.c_str(), error.message().c_str());
    return 1;
  }
  const bool sheets = writeSheets(directory);
  const bool sounds = writeSounds(directory);
  const bool music = writeMusic(directory);
  return sheets && sounds && music ? 0 : 1;
}
