// A small PNG encoder: 8-bit RGB, one IDAT chunk, the same bytes for the same picture.
#pragma once

#include <string>

#include "sheet_canvas.h"

// Writes the canvas to `path`. False after printing what failed.
bool writePng(const std::string& path, const Canvas& canvas);
