// Writes the eight sprite sheets of the game.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "media.h"
#include "png_writer.h"
#include "sheet_art.h"
#include "sheet_font.h"

bool writeSheets(const std::string& directory) {
  const std::vector<std::pair<const char*, std::function<Canvas()>>> sheets = {
      {"Butterfly.png", drawButterflySheet},
      {"Bird.png", drawBirdSheet},
      {"Title.png", drawTitle},
      {"Font.png", drawFontSheet},
      {"Feather.png", drawFeather},
      {"Background0.png", [] { return drawBackground(0); }},
      {"Background1.png", [] { return drawBackground(1); }},
      {"Projectiles.png", drawProjectiles},
  };
  bool allWritten = true;
  for (const auto& [name, draw] : sheets) {
    if (!writePng(directory + "/" + name, draw())) allWritten = false;
  }
  return allWritten;
}
