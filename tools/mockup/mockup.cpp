// Draws the sprite sheets the way the game does into 800 x 600 pictures, so the art can be
// judged by eye: zellworth_mockup <sheet directory> <output directory>.
#include <SDL.h>
#include <SDL_image.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

constexpr std::int32_t kWindowWidth = 800;
constexpr std::int32_t kWindowHeight = 600;

enum Sheet { kButterfly, kBird, kTitle, kFont, kFeather, kBackground0, kBackground1, kProjectiles, kSheetCount };
const char* const kSheetFiles[kSheetCount] = {"Butterfly.png", "Bird.png", "Title.png", "Font.png",
                                              "Feather.png", "Background0.png", "Background1.png",
                                              "Projectiles.png"};

SDL_Renderer* gMockRenderer = nullptr;
SDL_Texture* gSheets[kSheetCount] = {};

// The glyph grid of the font sheet; '%' marks a cell without a character.
const char* const kFontLayout[6] = {
    "0123456789ABCDEF", "GHIJKLMNOPQRSTUV", "WXYZabcdefghijkl",
    "mnopqrstuvwxyz.:", ",;|/\\'\"?!+-*=()_", "<>[]#$^%%% %%%%%",
};

void copy(Sheet sheet, std::int32_t sx, std::int32_t sy, std::int32_t sw, std::int32_t sh, std::int32_t dx,
          std::int32_t dy, std::int32_t dw, std::int32_t dh) {
  const SDL_Rect source{sx, sy, sw, sh};
  const SDL_Rect target{dx, dy, dw, dh};
  SDL_RenderCopy(gMockRenderer, gSheets[sheet], &source, &target);
}

void drawCharacter(std::int32_t x, std::int32_t y, char character, std::int32_t style) {
  for (std::int32_t row = 0; row < 6; ++row) {
    for (std::int32_t column = 0; column < 16; ++column) {
      if (kFontLayout[row][column] == character && character != '%') {
        copy(kFont, column * 10, row * 15 + style * 90, 10, 15, x, y, 10, 15);
        return;
      }
    }
  }
}

// Word-wrapped text between `left` and `right` starting at (x, y); returns the next line's y.
std::int32_t drawText(std::int32_t x, std::int32_t y, std::int32_t left, std::int32_t right, const char* text,
                      std::int32_t style) {
  const char* cursor = text;
  while (*cursor != '\0') {
    if (*cursor == '\n') {
      x = left;
      y += 15;
      ++cursor;
      continue;
    }
    if (*cursor == ' ') {
      x += 10;
      ++cursor;
      continue;
    }
    const std::size_t wordLength = std::strcspn(cursor, " \n");
    if (x + static_cast<std::int32_t>(wordLength) * 10 > right && x > left) {
      x = left;
      y += 15;
    }
    for (std::size_t i = 0; i < wordLength; ++i, x += 10) drawCharacter(x, y, cursor[i], style);
    cursor += wordLength;
  }
  return y + 15;
}

// The sky as the scrolling background shows it with the band's column `i` at the left edge.
void drawSky(std::int32_t i) {
  if (i <= 1519) {
    copy(kBackground0, i, 0, 400, 300, 0, 0, 800, 600);
  } else if (i <= 1919) {
    const std::int32_t width = 1920 - i;
    copy(kBackground0, i, 0, width, 300, 0, 0, 2 * width, 600);
    copy(kBackground1, 0, 0, 400 - width, 300, 2 * width, 0, 800 - 2 * width, 600);
  } else if (i <= 3439) {
    copy(kBackground1, i - 1920, 0, 400, 300, 0, 0, 800, 600);
  } else {
    const std::int32_t width = 1920 - (i - 1920);
    copy(kBackground1, i - 1920, 0, width, 300, 0, 0, 2 * width, 600);
    copy(kBackground0, 0, 0, 400 - width, 300, 2 * width, 0, 800 - 2 * width, 600);
  }
}

void drawGameScene(std::int32_t skyColumn) {
  drawSky(skyColumn);
  const std::int32_t butterflies[][3] = {{520, 120, 0}, {600, 180, 1}, {680, 90, 2}, {560, 300, 3},
                                         {700, 380, 4}, {450, 460, 5}, {740, 520, 6}, {300, 60, 2}};
  for (const auto& butterfly : butterflies) {
    copy(kButterfly, butterfly[2] * 45, 0, 45, 45, butterfly[0], butterfly[1], 45, 45);
  }
  copy(kBird, 0, 0, 160, 160, 60, 200, 160, 160);      // normal look, wings up
  copy(kBird, 320, 160, 160, 160, 200, 380, 160, 160);  // hit look, wings down
  for (std::int32_t shot = 0; shot < 4; ++shot) {
    copy(kProjectiles, 6, 0, 8, 8, 60 + 105 + 60 * shot, 200 + 96, 16, 16);
  }
  copy(kProjectiles, 14, 0, 18, 4, 470, 202, 36, 8);
  copy(kProjectiles, 14, 0, 18, 4, 380, 322, 36, 8);
  copy(kProjectiles, 14, 0, 18, 4, 640, 482, 36, 8);
  copy(kProjectiles, 0, 0, 6, 6, 420, 140, 12, 12);
  for (std::int32_t feather = 0; feather < 3; ++feather) copy(kFeather, 0, 0, 32, 32, 10 + 32 * feather, 16, 32, 32);
  drawText(0, 0, 0, 800, "Score: 125", 2);
  drawText(30, 560, 0, 800, "Happy Birthday, you filthy animal!", 2);
}

void drawBriefing() {
  const SDL_Rect box{320, 200, 320, 140};
  SDL_SetRenderDrawColor(gMockRenderer, 255, 255, 255, 255);
  SDL_RenderFillRect(gMockRenderer, &box);
  SDL_SetRenderDrawColor(gMockRenderer, 0, 0, 0, 255);
  SDL_RenderDrawRect(gMockRenderer, &box);
  drawText(325, 205, 325, 635,
           "A large formation of butterflies approaches your sector. Keep your air space clear by "
           "pressing \"Right Ctrl\".\n\nYou can configure the keys in \"Flight Control\" from the main menu.",
           3);
}

void drawTitleScreen(std::int32_t frameY) {
  SDL_SetRenderDrawColor(gMockRenderer, 255, 255, 255, 255);
  SDL_RenderClear(gMockRenderer);
  copy(kTitle, 0, 0, 800, 600, 0, 0, 800, 600);
  const SDL_Rect frame{373, frameY, 418, 50};
  SDL_RenderDrawRect(gMockRenderer, &frame);
  drawText(290, 583, 2, 800, "Toggle fullscreen : F4", 2);
}

void drawKeyScreen() {
  SDL_SetRenderDrawColor(gMockRenderer, 0, 0, 0, 255);
  SDL_RenderClear(gMockRenderer);
  std::int32_t y = drawText(100, 100, 100, 700, "Flight Control", 0) + 15;
  const char* const lines[] = {"Up: Up", "Down: Down", "Left: Left", "Right: Right", "Attack: Right Ctrl",
                               "Confirm: Return", "Cancel: Escape", "Toggle fullscreen: F4"};
  for (const char* line : lines) {
    y = drawText(120, y, 120, 700, line, 0);
  }
  drawCharacter(100, 145, '>', 0);
  drawText(100, y + 30, 100, 700, "0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ", 0);
  drawText(100, y + 45, 100, 700, "abcdefghijklmnopqrstuvwxyz .:,;|/\\'\"?!+-*=()_<>[]#$^", 0);
  drawText(100, y + 80, 100, 700, "Game Over", 2);
  drawText(100, y + 95, 100, 700, "Score: 125", 2);
}

bool save(SDL_Surface* canvas, const std::string& path) {
  if (IMG_SavePNG(canvas, path.c_str()) != 0) {
    std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), IMG_GetError());
    return false;
  }
  std::printf("%s\n", path.c_str());
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <sheet directory> <output directory>\n", argv[0]);
    return 2;
  }
  const std::string sheets = argv[1];
  const std::string output = argv[2];
  std::error_code error;
  std::filesystem::create_directories(output, error);
  if (error) {
    std::fprintf(stderr, "cannot create %s: %s\n", output.c_str(), error.message().c_str());
    return 1;
  }
  SDL_Surface* canvas = SDL_CreateRGBSurfaceWithFormat(0, kWindowWidth, kWindowHeight, 32, SDL_PIXELFORMAT_ARGB8888);
  gMockRenderer = SDL_CreateSoftwareRenderer(canvas);
  if (gMockRenderer == nullptr) {
    std::fprintf(stderr, "no renderer: %s\n", SDL_GetError());
    return 1;
  }
  SDL_SetRenderDrawBlendMode(gMockRenderer, SDL_BLENDMODE_BLEND);
  for (std::int32_t sheet = 0; sheet < kSheetCount; ++sheet) {
    const std::string path = sheets + "/" + kSheetFiles[sheet];
    SDL_Surface* surface = IMG_Load(path.c_str());
    if (surface == nullptr) {
      std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), IMG_GetError());
      return 1;
    }
    SDL_SetColorKey(surface, SDL_TRUE, SDL_MapRGB(surface->format, 255, 0, 255));
    gSheets[sheet] = SDL_CreateTextureFromSurface(gMockRenderer, surface);
    SDL_FreeSurface(surface);
  }

  bool saved = true;
  SDL_SetRenderDrawColor(gMockRenderer, 0, 0, 0, 255);
  SDL_RenderClear(gMockRenderer);
  drawGameScene(0);
  drawBriefing();
  saved = save(canvas, output + "/mockup-game.png") && saved;
  drawGameScene(1800);  // the seam from Background0 to Background1 lies at window x 240
  saved = save(canvas, output + "/mockup-seam1.png") && saved;
  drawGameScene(3700);  // the seam from Background1 back to Background0 lies at window x 280
  saved = save(canvas, output + "/mockup-seam2.png") && saved;
  drawTitleScreen(390);
  saved = save(canvas, output + "/mockup-title.png") && saved;
  drawTitleScreen(444);
  saved = save(canvas, output + "/mockup-title-middle.png") && saved;
  drawKeyScreen();
  saved = save(canvas, output + "/mockup-text.png") && saved;

  for (SDL_Texture* texture : gSheets) SDL_DestroyTexture(texture);
  SDL_DestroyRenderer(gMockRenderer);
  SDL_FreeSurface(canvas);
  return saved ? 0 : 1;
}
