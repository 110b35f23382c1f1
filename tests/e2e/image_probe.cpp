// Reads screenshots and media images back as pixels for the end-to-end tests.
//
// Usage (coordinates in pixels; images are any format SDL2_image reads, PNG in practice):
//   image_probe size IMAGE                          prints "W H"
//   image_probe pixel IMAGE X Y                     prints "R G B"
//   image_probe count IMAGE X Y W H R G B           prints how many pixels of the area have that colour
//   image_probe differ IMAGE_A IMAGE_B X Y W H      prints how many pixels of the area differ
//   image_probe sprite SHOT X Y SHEET SX SY W H
//       compares the cell (SX, SY, W, H) of a sprite sheet, drawn 1:1 with its top-left corner at
//       (X, Y) of the screenshot; magenta (255, 0, 255) and see-through cell pixels are skipped
//   image_probe findx SHOT Y X0 X1 SHEET SX SY W H
//       prints the first x in X0..X1 at which the cell matches as with sprite (exit 1 if none)
//   image_probe text SHOT X Y FONT STYLE LEFT RIGHT TEXT...
//       lays the TEXT arguments out one after the other from the cursor (X, Y), as the game lays
//       out its text from the font sheet (10 x 15 cells, 16 to a row, six rows per glyph set,
//       words wrapped at RIGHT back to LEFT), and compares every drawn glyph pixel
//   image_probe number SHOT X Y FONT STYLE LEFT RIGHT PREFIX MAX
//       finds the n in 0..MAX for which PREFIX followed by n matches as text; prints it
//   image_probe findsprite SHOT X0 Y0 X1 Y1 SHEET SX SY W H
//       prints "X Y" of the first top-left corner in X0..X1, Y0..Y1 at which the cell matches as
//       with sprite (exit 1 if none)
//   image_probe picture SHOT                        prints "X Y W H", the box around every pixel that is
//       not black: where a scaled picture lies between black bars
//   image_probe unscale SHOT X Y W H OUT            writes the area back at 800 x 600 as OUT (PNG), each
//       pixel sampled at the centre of the screen pixels that show it
// sprite and text print "compared=N differing=M" and exit 0 only when N > 0 and M = 0.
// number exits 0 and prints n when some n matches (the longest match wins). Errors exit 2.
#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Rgba {
  std::uint8_t r, g, b, a;
};

struct Image {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<Rgba> pixels;

  bool contains(std::int32_t x, std::int32_t y) const {
    return x >= 0 && y >= 0 && x < width && y < height;
  }
  const Rgba& at(std::int32_t x, std::int32_t y) const { return pixels[y * width + x]; }
};

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "image_probe: %s\n", message.c_str());
  std::exit(2);
}

Image loadImage(const char* path) {
  SDL_Surface* loaded = IMG_Load(path);
  if (loaded == nullptr) {
    fail(std::string("cannot load ") + path + ": " + IMG_GetError());
  }
  SDL_Surface* rgba = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0);
  SDL_FreeSurface(loaded);
  if (rgba == nullptr) {
    fail(std::string("cannot convert ") + path + ": " + SDL_GetError());
  }
  Image image;
  image.width = rgba->w;
  image.height = rgba->h;
  image.pixels.resize(static_cast<std::size_t>(rgba->w) * rgba->h);
  for (std::int32_t y = 0; y < rgba->h; ++y) {
    const auto* row = static_cast<const std::uint8_t*>(rgba->pixels) + y * rgba->pitch;
    std::memcpy(&image.pixels[static_cast<std::size_t>(y) * rgba->w], row,
                static_cast<std::size_t>(rgba->w) * 4);
  }
  SDL_FreeSurface(rgba);
  return image;
}

std::int32_t toInt(const char* text) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0') {
    fail(std::string("not a number: ") + text);
  }
  return static_cast<std::int32_t>(value);
}

bool sameColour(const Rgba& a, const Rgba& b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

// A sheet pixel the game draws: fully opaque and not the magenta colour key.
bool isDrawn(const Rgba& p) { return p.a == 255 && !(p.r == 255 && p.g == 0 && p.b == 255); }

struct Comparison {
  std::int64_t compared = 0;
  std::int64_t differing = 0;
};

// Compares the cell (sx, sy, w, h) of the sheet with the screenshot at (x, y). Cell pixels that
// fall outside the screenshot count as differing, so a misplaced comparison cannot pass. A search
// stops at the first differing pixel.
void compareCell(const Image& shot, std::int32_t x, std::int32_t y, const Image& sheet,
                 std::int32_t sx, std::int32_t sy, std::int32_t w, std::int32_t h,
                 Comparison& result, bool stopAtFirstDifference = false) {
  for (std::int32_t dy = 0; dy < h; ++dy) {
    for (std::int32_t dx = 0; dx < w; ++dx) {
      if (!sheet.contains(sx + dx, sy + dy)) {
        fail("cell reaches outside the sheet");
      }
      const Rgba& cell = sheet.at(sx + dx, sy + dy);
      if (!isDrawn(cell)) {
        continue;
      }
      ++result.compared;
      if (!shot.contains(x + dx, y + dy) || !sameColour(cell, shot.at(x + dx, y + dy))) {
        ++result.differing;
        if (stopAtFirstDifference) return;
      }
    }
  }
}

// Prints and returns 0 for the first top-left corner, row by row in X0..X1, Y0..Y1, at which the
// cell argv[first + 1 ...] of the sheet argv[first] matches the screenshot; 1 when none does.
int findCell(const Image& shot, std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
             char* argv[], int first, bool printY) {
  const Image sheet = loadImage(argv[first]);
  for (std::int32_t y = y0; y <= y1; ++y) {
    for (std::int32_t x = x0; x <= x1; ++x) {
      Comparison result;
      compareCell(shot, x, y, sheet, toInt(argv[first + 1]), toInt(argv[first + 2]), toInt(argv[first + 3]),
                  toInt(argv[first + 4]), result, true);
      if (result.compared > 0 && result.differing == 0) {
        if (printY) {
          std::printf("%d %d\n", x, y);
        } else {
          std::printf("%d\n", x);
        }
        return 0;
      }
    }
  }
  std::printf("not found\n");
  return 1;
}

// The font sheet's glyph table: cell number (16 x row + column) of a character, -1 for none.
std::int32_t glyphCell(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return 10 + (c - 'A');
  if (c >= 'a' && c <= 'z') return 36 + (c - 'a');
  static const char kPunctuation[] = ".:,;|/\\'\"?!+-*=()_<>[]#$^";
  const char* found = c != 0 ? std::strchr(kPunctuation, c) : nullptr;
  if (found != nullptr) {
    return 62 + static_cast<std::int32_t>(found - kPunctuation);
  }
  return -1;
}

constexpr std::int32_t kGlyphWidth = 10;    // pixels, on the sheet and on screen
constexpr std::int32_t kGlyphHeight = 15;   // pixels
constexpr std::int32_t kLineHeight = 15;    // pixels between text lines
constexpr std::int32_t kGlyphsPerRow = 16;
constexpr std::int32_t kRowsPerStyle = 6;

struct Cursor {
  std::int32_t x;
  std::int32_t y;
};

// Lays one text out from the cursor like the game's word-wrapping text layout, comparing each
// glyph with the screenshot; the cursor moves on as the game's does.
void compareText(const Image& shot, const Image& font, std::int32_t style, std::int32_t left,
                 std::int32_t right, const char* text, Cursor& cursor, Comparison& result) {
  const char* p = text;
  for (;;) {
    const char* wordEnd = p;
    while (*wordEnd != '\0' && *wordEnd != ' ' && *wordEnd != '\n') ++wordEnd;
    const auto length = static_cast<std::int32_t>(wordEnd - p);
    if (cursor.x + length * kGlyphWidth > right) {
      cursor.x = left;
      cursor.y += kLineHeight;
    }
    for (; p < wordEnd; ++p) {
      const std::int32_t cell = glyphCell(static_cast<unsigned char>(*p));
      if (cell >= 0) {
        const std::int32_t sx = (cell % kGlyphsPerRow) * kGlyphWidth;
        const std::int32_t sy = (cell / kGlyphsPerRow + kRowsPerStyle * style) * kGlyphHeight;
        compareCell(shot, cursor.x, cursor.y, font, sx, sy, kGlyphWidth, kGlyphHeight, result);
      }
      cursor.x += kGlyphWidth;
    }
    for (;;) {
      if (*p == '\n') {
        cursor.y += kLineHeight;
        cursor.x = left;
        ++p;
      } else if (*p == ' ') {
        cursor.x += kGlyphWidth;
        ++p;
      } else if (*p == '\0') {
        return;
      } else {
        break;
      }
    }
  }
}

int report(const Comparison& result) {
  std::printf("compared=%lld differing=%lld\n", static_cast<long long>(result.compared),
              static_cast<long long>(result.differing));
  return result.compared > 0 && result.differing == 0 ? 0 : 1;
}

void need(int argc, int count, const char* usage) {
  if (argc != count) {
    fail(std::string("usage: image_probe ") + usage);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fail("usage: image_probe size|pixel|count|differ|sprite|findx|text|number ...");
  }
  if (IMG_Init(IMG_INIT_PNG) == 0) {
    fail(std::string("cannot initialise SDL_image: ") + IMG_GetError());
  }
  const std::string command = argv[1];

  if (command == "size") {
    need(argc, 3, "size IMAGE");
    const Image image = loadImage(argv[2]);
    std::printf("%d %d\n", image.width, image.height);
    return 0;
  }
  if (command == "pixel") {
    need(argc, 5, "pixel IMAGE X Y");
    const Image image = loadImage(argv[2]);
    const std::int32_t x = toInt(argv[3]);
    const std::int32_t y = toInt(argv[4]);
    if (!image.contains(x, y)) fail("pixel outside the image");
    const Rgba& p = image.at(x, y);
    std::printf("%d %d %d\n", p.r, p.g, p.b);
    return 0;
  }
  if (command == "count") {
    need(argc, 10, "count IMAGE X Y W H R G B");
    const Image image = loadImage(argv[2]);
    const std::int32_t x = toInt(argv[3]), y = toInt(argv[4]);
    const std::int32_t w = toInt(argv[5]), h = toInt(argv[6]);
    const Rgba colour{static_cast<std::uint8_t>(toInt(argv[7])),
                      static_cast<std::uint8_t>(toInt(argv[8])),
                      static_cast<std::uint8_t>(toInt(argv[9])), 255};
    std::int64_t count = 0;
    for (std::int32_t dy = 0; dy < h; ++dy) {
      for (std::int32_t dx = 0; dx < w; ++dx) {
        if (!image.contains(x + dx, y + dy)) fail("area outside the image");
        if (sameColour(image.at(x + dx, y + dy), colour)) ++count;
      }
    }
    std::printf("%lld\n", static_cast<long long>(count));
    return 0;
  }
  if (command == "differ") {
    need(argc, 8, "differ IMAGE_A IMAGE_B X Y W H");
    const Image a = loadImage(argv[2]);
    const Image b = loadImage(argv[3]);
    const std::int32_t x = toInt(argv[4]), y = toInt(argv[5]);
    const std::int32_t w = toInt(argv[6]), h = toInt(argv[7]);
    std::int64_t count = 0;
    for (std::int32_t dy = 0; dy < h; ++dy) {
      for (std::int32_t dx = 0; dx < w; ++dx) {
        if (!a.contains(x + dx, y + dy) || !b.contains(x + dx, y + dy)) {
          fail("area outside an image");
        }
        if (!sameColour(a.at(x + dx, y + dy), b.at(x + dx, y + dy))) ++count;
      }
    }
    std::printf("%lld\n", static_cast<long long>(count));
    return 0;
  }
  if (command == "sprite") {
    need(argc, 10, "sprite SHOT X Y SHEET SX SY W H");
    const Image shot = loadImage(argv[2]);
    const Image sheet = loadImage(argv[5]);
    Comparison result;
    compareCell(shot, toInt(argv[3]), toInt(argv[4]), sheet, toInt(argv[6]), toInt(argv[7]),
                toInt(argv[8]), toInt(argv[9]), result);
    return report(result);
  }
  if (command == "findx") {
    need(argc, 11, "findx SHOT Y X0 X1 SHEET SX SY W H");
    const std::int32_t y = toInt(argv[3]);
    return findCell(loadImage(argv[2]), toInt(argv[4]), y, toInt(argv[5]), y, argv, 6, false);
  }
  if (command == "text") {
    if (argc < 10) fail("usage: image_probe text SHOT X Y FONT STYLE LEFT RIGHT TEXT...");
    const Image shot = loadImage(argv[2]);
    const Image font = loadImage(argv[5]);
    Cursor cursor{toInt(argv[3]), toInt(argv[4])};
    Comparison result;
    for (int i = 9; i < argc; ++i) {
      compareText(shot, font, toInt(argv[6]), toInt(argv[7]), toInt(argv[8]), argv[i], cursor,
                  result);
    }
    return report(result);
  }
  if (command == "number") {
    need(argc, 11, "number SHOT X Y FONT STYLE LEFT RIGHT PREFIX MAX");
    const Image shot = loadImage(argv[2]);
    const Image font = loadImage(argv[5]);
    const std::int32_t max = toInt(argv[10]);
    // A shorter number matches the leading digits of a longer one too, so the match that
    // covers the most glyph pixels wins; two numbers of equal length never both match.
    std::int64_t bestCompared = 0;
    std::int32_t found = -1;
    for (std::int32_t n = 0; n <= max; ++n) {
      const std::string text = std::string(argv[9]) + std::to_string(n);
      Cursor cursor{toInt(argv[3]), toInt(argv[4])};
      Comparison result;
      compareText(shot, font, toInt(argv[6]), toInt(argv[7]), toInt(argv[8]), text.c_str(),
                  cursor, result);
      if (result.compared > bestCompared && result.differing == 0) {
        bestCompared = result.compared;
        found = n;
      }
    }
    if (found < 0) {
      std::printf("no match\n");
      return 1;
    }
    std::printf("%d\n", found);
    return 0;
  }
  if (command == "findsprite") {
    need(argc, 12, "findsprite SHOT X0 Y0 X1 Y1 SHEET SX SY W H");
    return findCell(loadImage(argv[2]), toInt(argv[3]), toInt(argv[4]), toInt(argv[5]), toInt(argv[6]), argv, 7,
                    true);
  }
  if (command == "picture") {
    need(argc, 3, "picture SHOT");
    const Image shot = loadImage(argv[2]);
    std::int32_t left = shot.width, top = shot.height, right = -1, bottom = -1;
    for (std::int32_t y = 0; y < shot.height; ++y) {
      for (std::int32_t x = 0; x < shot.width; ++x) {
        const Rgba& p = shot.at(x, y);
        if (p.r == 0 && p.g == 0 && p.b == 0) continue;
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
    }
    if (right < 0) {
      std::printf("all black\n");
      return 1;
    }
    std::printf("%d %d %d %d\n", left, top, right - left + 1, bottom - top + 1);
    return 0;
  }
  if (command == "unscale") {
    need(argc, 8, "unscale SHOT X Y W H OUT");
    const Image shot = loadImage(argv[2]);
    const std::int32_t x0 = toInt(argv[3]), y0 = toInt(argv[4]), w = toInt(argv[5]), h = toInt(argv[6]);
    constexpr std::int32_t kCanvasWidth = 800, kCanvasHeight = 600;
    SDL_Surface* out = SDL_CreateRGBSurfaceWithFormat(0, kCanvasWidth, kCanvasHeight, 32, SDL_PIXELFORMAT_RGBA32);
    if (out == nullptr) fail(SDL_GetError());
    for (std::int32_t y = 0; y < kCanvasHeight; ++y) {
      const std::int32_t sy = y0 + static_cast<std::int32_t>((y + 0.5) * h / kCanvasHeight);
      auto* row = static_cast<std::uint8_t*>(out->pixels) + y * out->pitch;
      for (std::int32_t x = 0; x < kCanvasWidth; ++x) {
        const std::int32_t sx = x0 + static_cast<std::int32_t>((x + 0.5) * w / kCanvasWidth);
        const Rgba p = shot.contains(sx, sy) ? shot.at(sx, sy) : Rgba{0, 0, 0, 255};
        row[4 * x] = p.r;
        row[4 * x + 1] = p.g;
        row[4 * x + 2] = p.b;
        row[4 * x + 3] = 255;
      }
    }
    if (IMG_SavePNG(out, argv[7]) != 0) fail(IMG_GetError());
    SDL_FreeSurface(out);
    return 0;
  }
  fail("unknown command " + command);
}
