// The platform layer on SDL's dummy drivers: where the canvas lands in windows of any size and the
// black bars around it, media loading and its colour key, the music slot, the sounds, muting, and
// set-up failures followed by shut-down; on an X server, the real window's place and border through
// fullscreen and back, and the same game frames from the software and the OpenGL renderer.
#include "app/platform.h"

#include <SDL_image.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <utility>

#include "app/display.h"
#include "app/mute.h"
#include "game/background.h"
#include "game/enemies.h"
#include "game/play.h"
#include "game/player.h"
#include "game/projectiles.h"
#include "game/random.h"
#include "support/harness.h"
#include "text/font.h"

// Last: the X11 headers define macros (None, Bool) that clash with names in the others.
#include <SDL_syswm.h>

namespace fs = std::filesystem;
using testing_support::printedBy;

namespace {

struct Placement {
  int width, height;
  SDL_Rect picture;
  SDL_Point white;  // the window pixel beside the canvas's top-left one
};
const Placement kPlacements[] = {
    {800, 600, {0, 0, 800, 600}, {1, 0}},  // the game's own size, drawn directly
    {800, 601, {0, 0, 800, 600}, {1, 0}},
    {1024, 768, {0, 0, 1024, 768}, {2, 0}},            // the same shape, 1.28 times
    {1920, 1080, {240, 0, 1440, 1080}, {242, 0}},      // wider: bars left and right
    {1000, 700, {33, 0, 933, 700}, {34, 0}},           // one canvas pixel is 1.17 window pixels
    {1000, 1000, {0, 125, 1000, 750}, {2, 125}},       // taller: bars above and below
    {1366, 768, {171, 0, 1024, 768}, {173, 0}},
    {1600, 1200, {0, 0, 1600, 1200}, {2, 0}},          // exactly twice
    {2560, 1440, {480, 120, 1600, 1200}, {482, 120}},  // 2.4 fits: twice
    {3840, 2160, {720, 180, 2400, 1800}, {723, 180}},  // 3.6 fits: three times
    {640, 480, {0, 0, 640, 480}, {1, 0}},              // a display mode below the game's size
};

TEST(PictureRectTest, KeepsTheShapeCentredAndUsesWholeFactorsFromTwoOn) {
  for (const Placement& placement : kPlacements) {
    const SDL_Rect rect = pictureRectFor(placement.width, placement.height);
    EXPECT_TRUE(SDL_RectEquals(&rect, &placement.picture)) << placement.width << "x" << placement.height << " gave "
                                                           << rect.x << "," << rect.y << " " << rect.w << "x" << rect.h;
  }
}

std::uint32_t windowPixel(int x, int y) { return testing_support::rgbAt(x, y, SDL_GetWindowSurface(gWindow)); }
void fill(std::uint32_t color, const SDL_Rect* rect) {
  SDL_SetRenderDrawColor(gRenderer, color >> 16, color >> 8 & 255, color & 255, 255);
  SDL_RenderFillRect(gRenderer, rect);
}

// A white canvas with a red top-left and a blue bottom-right pixel, presented over a window left
// white, as a window may hold anything before it is drawn: the canvas's corners land on the
// picture's, its second pixel is white, and the bars around it are black. Unscaled, the screens
// draw into the window itself; their colour is kept either way.
TEST(ScaledWindowTest, EveryWindowShowsTheWholeCanvasBetweenBlackBars) {
  testing_support::releaseSoftwareRenderer();
  ASSERT_EQ(initializeSDL(), 0) << SDL_GetError();
  for (const Placement& placement : kPlacements) {
    if (placement.width < kWindowWidth || placement.width > 1024) continue;  // the window's least size; the display
    const SDL_Rect& picture = placement.picture;
    SCOPED_TRACE(std::to_string(placement.width) + "x" + std::to_string(placement.height));
    SDL_SetWindowSize(gWindow, placement.width, placement.height);
    SDL_FillRect(SDL_GetWindowSurface(gWindow), nullptr, 0xFFFFFFFF);
    const SDL_Rect corners[2] = {{0, 0, 1, 1}, {kWindowWidth - 1, kWindowHeight - 1, 1, 1}};
    fill(0xFFFFFF, nullptr);
    fill(0xFF0000, &corners[0]);
    fill(0x0000FF, &corners[1]);
    SDL_SetRenderDrawColor(gRenderer, 255, 255, 255, 255);
    presentFrame();
    const SDL_Point bottomRight = {picture.x + picture.w - 1, picture.y + picture.h - 1};
    EXPECT_EQ(windowPixel(picture.x, picture.y), 0xFF0000u);
    EXPECT_EQ(windowPixel(placement.white.x, placement.white.y), 0xFFFFFFu);
    EXPECT_EQ(windowPixel(bottomRight.x, bottomRight.y), 0x0000FFu);
    EXPECT_EQ(windowPixel(picture.x + picture.w / 2, picture.y + picture.h / 2), 0xFFFFFFu);
    const SDL_Point bars[] = {{0, 0}, {picture.x - 1, bottomRight.y}, {bottomRight.x + 1, picture.y},
                              {picture.x, picture.y - 1}, {bottomRight.x, bottomRight.y + 1},
                              {placement.width - 1, placement.height - 1}};
    for (const SDL_Point& bar : bars) {
      if (!SDL_PointInRect(&bar, &picture) && bar.x >= 0 && bar.y >= 0 && bar.x < placement.width && bar.y < placement.height) {
        EXPECT_EQ(windowPixel(bar.x, bar.y), 0u) << bar.x << "," << bar.y;
      }
    }
    EXPECT_EQ(SDL_GetRenderTarget(gRenderer) == nullptr, placement.width == 800 && placement.height == 600);
    Uint8 r, g, b, a;
    SDL_GetRenderDrawColor(gRenderer, &r, &g, &b, &a);
    EXPECT_EQ(static_cast<std::uint32_t>(r << 16 | g << 8 | b), 0xFFFFFFu);
  }
  closeSDL();
  testing_support::forgetLibraries();
}

// Lets the X server and SDL settle a change.
void pumpFor(Uint32 milliseconds) {
  for (const Uint32 end = SDL_GetTicks() + milliseconds; SDL_GetTicks() < end; SDL_Delay(10)) {
    testing_support::drainEvents();
  }
}

// Where the X server has the window and how big, and whether the window asks for a border (without
// a window manager SDL cannot tell X, so its own flag is what a window manager started later gets).
std::string windowState() {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(gWindow, &info) || info.subsystem != SDL_SYSWM_X11) return "no X11 window";
  std::string x = testing_support::commandOutput("xdotool getwindowgeometry --shell " + std::to_string(info.info.x11.window));
  x = x.substr(x.find('\n') + 1);  // after the window's id
  x = x.substr(0, x.find("SCREEN"));
  std::replace(x.begin(), x.end(), '\n', ' ');
  return x + ((SDL_GetWindowFlags(gWindow) & SDL_WINDOW_BORDERLESS) != 0 ? "borderless" : "bordered");
}

// A game frame with every look: 35 butterflies (each the next of the seven animation cells), the
// bird, shots of both sides, three feathers and the score line.
void setUpBusyField() {
  seedGameRandom(7);
  gNumberOfEnemies = gNumberOfPlayerProjectiles = gNumberOfEnemyProjectiles2 = 0;
  for (std::int32_t n = 0; n < 35; ++n) {
    addRandomEnemy();
    gEnemyList[n][kEnemyX] = 2500 + (n % 7) * 760;
    gEnemyList[n][kEnemyY] = (n / 7) * 1150;
  }
  for (std::int32_t n = 0; n < 10; ++n) gPlayerProjectileList[gNumberOfPlayerProjectiles++] = {2000 + n * 300, 800 + n * 400, 100, 0};
  for (std::int32_t n = 0; n < 40; ++n) gEnemyProjectileList2[gNumberOfEnemyProjectiles2++] = {1500 + n * 150, n * 140, -60, 0};
  gPlayerX = 600;
  gPlayerY = 2000;
  gPlayerHP = 3;
  gScore = 1234;
}

// The sky's scroll and the bird's wing beat move once per drawing call; without a renderer a call
// only moves them.
void advanceUnseen(void (*render)(), std::int32_t calls) {
  SDL_Renderer* renderer = std::exchange(gRenderer, nullptr);
  for (std::int32_t call = 0; call < calls; ++call) render();
  gRenderer = renderer;
}

// The frames drawn on the renderer initializeSDL chooses, each read back before it is presented:
// the sky at the start of its cycle of 3841, at both seams and at its end, the bird in each wing
// beat of its normal and its hit look. The sky and the wing beat end where they began.
std::vector<std::vector<std::uint32_t>> drawGameFrames(std::string& rendererName) {
  std::vector<std::vector<std::uint32_t>> frames;
  EXPECT_EQ(initializeSDL() + loadMedia(), 0) << SDL_GetError();
  SDL_RendererInfo info;
  SDL_GetRendererInfo(gRenderer, &info);
  rendererName = info.name;
  std::int32_t position = 0;
  for (const std::int32_t target : {0, 1519, 1520, 3439, 3440, 3840}) {
    advanceUnseen(renderBackground, (target - position + 3841) % 3841);
    setUpBusyField();
    gPlayerSkipFrames = target % 2 == 0 ? 0 : 20;
    SDL_SetRenderDrawColor(gRenderer, 0, 0, 0, 255);
    SDL_RenderClear(gRenderer);
    drawWorld();
    renderHP();
    drawScoreLine();
    frames.emplace_back(kWindowWidth * kWindowHeight);
    SDL_RenderReadPixels(gRenderer, nullptr, SDL_PIXELFORMAT_RGB888, frames.back().data(), kWindowWidth * 4);
    for (std::uint32_t& pixel : frames.back()) pixel &= 0xFFFFFF;  // the padding byte differs
    presentFrame();
    position = (target + 1) % 3841;
    advanceUnseen(renderPlayer, 7);  // eight draws show one wing-beat cell
  }
  advanceUnseen(renderBackground, 3841 - position);
  advanceUnseen(renderPlayer, 16);  // six frames of eight draws and 16 make two beats of 32
  closeSDL();
  return frames;
}

// Without a window manager to carry out a fullscreen request the window covers the whole screen
// itself, borderless, and comes back to its place, size and border, however often it is toggled.
TEST(WindowTest, TogglesBackToItsPlaceAndDrawsAlikeOnEitherRenderer) {
  if (!testing_support::runningUnderXvfb()) return;
  EXPECT_EQ(testing_support::printedBy([] { ASSERT_EQ(initializeSDL(), 0); }), "");
  EXPECT_STREQ(SDL_GetWindowTitle(gWindow), "Zellworth");
  SDL_SetWindowPosition(gWindow, 60, 40);  // where the player put it
  for (int toggles = 0; toggles < 5; ++toggles) {
    if (toggles > 0) toggleFullscreen();
    pumpFor(toggles == 0 ? 300 : 500);
    const bool windowed = toggles % 2 == 0;
    EXPECT_EQ(windowState(), windowed ? "X=60 Y=40 WIDTH=800 HEIGHT=600 bordered" : "X=0 Y=0 WIDTH=1024 HEIGHT=768 borderless");
    EXPECT_EQ(gIsFullscreen, windowed ? 0 : 1);
    EXPECT_EQ(SDL_GetWindowFlags(gWindow) & SDL_WINDOW_FULLSCREEN, 0u);  // the game covers the screen itself
  }
  closeSDL();
  gCharacterWidthToRender = 10;
  gCharacterHeightToRender = 15;
  std::string chosenName, openglName;
  const auto chosen = drawGameFrames(chosenName);
  setenv("SDL_RENDER_DRIVER", "opengl", 1);
  const auto opengl = drawGameFrames(openglName);
  unsetenv("SDL_RENDER_DRIVER");
  EXPECT_EQ(openglName, "opengl");
  EXPECT_TRUE(hasGraphicsHardware() || chosenName == "software") << chosenName;  // else either may be chosen
  ASSERT_EQ(chosen.size(), 6u);
  for (std::size_t frame = 0; frame < chosen.size(); ++frame) EXPECT_TRUE(chosen[frame] == opengl[frame]) << frame;
}


// A one-row sheet of the given RGBA pixels, in 24 bits when all are opaque.
void writeSheet(const std::string& path, const std::vector<SDL_Color>& pixels) {
  const bool opaque = std::all_of(pixels.begin(), pixels.end(), [](SDL_Color pixel) { return pixel.a == 255; });
  SDL_Surface* sheet = SDL_CreateRGBSurfaceWithFormat(0, static_cast<int>(pixels.size()), 1, opaque ? 24 : 32,
                                                      opaque ? SDL_PIXELFORMAT_RGB24 : SDL_PIXELFORMAT_RGBA32);
  for (std::size_t x = 0; x < pixels.size(); ++x) {
    std::memcpy(static_cast<std::uint8_t*>(sheet->pixels) + x * (opaque ? 3 : 4), &pixels[x], opaque ? 3 : 4);
  }
  fs::remove(path);  // not the committed file it links to
  ASSERT_EQ(IMG_SavePNG(sheet, path.c_str()), 0) << IMG_GetError();
  SDL_FreeSurface(sheet);
}

// Draws the texture at (10, 20) over green and reads back its first `count` pixels.
std::vector<std::uint32_t> drawnPixels(SDL_Texture* texture, int count) {
  testing_support::fillCanvas(0, 128, 0);
  const SDL_Rect destination{10, 20, count, 1};
  SDL_RenderCopy(gRenderer, texture, nullptr, &destination);
  std::vector<std::uint32_t> pixels;
  for (int x = 10; x < 10 + count; ++x) pixels.push_back(testing_support::rgbAt(x, 20));
  return pixels;
}

SDL_BlendMode blendModeOf(std::int32_t index) {
  SDL_BlendMode mode = SDL_BLENDMODE_INVALID;
  SDL_GetTextureBlendMode(gTexture[index], &mode);
  return mode;
}

// The committed sounds and music, and a 4 x 1 sheet for each picture: magenta, almost magenta,
// white, magenta. A window in the game's place, for the pixel format sheets are converted to.
class MediaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::enterFreshRunDirectory();
    testing_support::useSoftwareRenderer();
    gWindow = SDL_CreateWindow("", 0, 0, kWindowWidth, kWindowHeight, SDL_WINDOW_HIDDEN);
    for (const char* path : gTexturePath) writeSheet(path, {{255, 0, 255, 255}, {254, 0, 255, 255}, {255, 255, 255, 255}, {255, 0, 255, 255}});
  }
  void TearDown() override {
    Mix_HaltMusic();
    Mix_FreeMusic(gMus);
    gMus = nullptr;
    testing_support::releaseSoftwareRenderer();
    SDL_DestroyWindow(gWindow);
    gWindow = nullptr;
  }
};

// Exact magenta is transparent; a sheet without a transparent pixel (a keyed or a translucent
// one) is copied opaque, drawing its own pixels.
TEST_F(MediaTest, CompleteMediaLoadSilentlyKeyingExactMagentaAndCopyingOpaqueSheets) {
  writeSheet(gTexturePath[kTextureTitle], {{254, 0, 255, 255}, {255, 255, 255, 255}, {0, 0, 0, 255}, {255, 0, 254, 255}});
  writeSheet(gTexturePath[kTextureBird], {{10, 20, 30, 255}, {10, 20, 30, 200}});
  std::int32_t status = -1;
  EXPECT_EQ(printedBy([&] { status = loadMedia(); }), "");
  EXPECT_EQ(status, 0);
  for (SDL_Texture* texture : gTexture) EXPECT_NE(texture, nullptr);
  for (Mix_Chunk* sound : gSnd) EXPECT_NE(sound, nullptr);
  EXPECT_EQ(blendModeOf(kTextureTitle), SDL_BLENDMODE_NONE);
  EXPECT_EQ(blendModeOf(kTextureButterfly), SDL_BLENDMODE_BLEND);
  EXPECT_EQ(blendModeOf(kTextureBird), SDL_BLENDMODE_BLEND);
  EXPECT_EQ(drawnPixels(gTexture[kTextureButterfly], 4), std::vector<std::uint32_t>({0x008000, 0xFE00FF, 0xFFFFFF, 0x008000}));
  EXPECT_EQ(drawnPixels(gTexture[kTextureTitle], 4), std::vector<std::uint32_t>({0xFE00FF, 0xFFFFFF, 0x000000, 0xFF00FE}));
}

// The process's resident memory now ("VmRSS") or at its peak ("VmHWM"), in kB.
long residentKb(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  }
  return -1;
}

// The slot holds the last piece started, or nothing after one that cannot be loaded. Switching
// never holds two pieces at once (each carries a synthesiser with its sound font): the peak memory
// grows by much less than the first piece took.
TEST_F(MediaTest, TheMusicSlotHoldsOnePieceAtATimeOrNothing) {
  const long withoutMusic = residentKb("VmRSS");
  startMusic("../Common/mus01.mid");
  ASSERT_NE(gMus, nullptr);
  const long firstPiece = residentKb("VmRSS") - withoutMusic, peakWithOne = residentKb("VmHWM");
  for (const char* path : {"../Common/mus02.mid", "../Common/mus03.mid", "../Common/mus01.mid"}) {
    startMusic(path);
    ASSERT_NE(gMus, nullptr) << path;
    EXPECT_EQ(Mix_PlayingMusic(), 1);
  }
  // The sanitizers' allocator (redzones, a quarantine of freed blocks) changes the peak beyond telling.
  if (firstPiece >= 2048 && std::getenv("ASAN_OPTIONS") == nullptr) {
    EXPECT_LT(residentKb("VmHWM") - peakWithOne, firstPiece / 4) << firstPiece << " kB";
  }
  startMusic("../Common/mus09.mid");
  EXPECT_EQ(gMus, nullptr);
  EXPECT_EQ(Mix_PlayingMusic(), 0);
}

// Each sound plays once, on the first free channel: the mixer hands the channel exactly its bytes.
TEST_F(MediaTest, SoundsPlayOnceOnAFreeChannel) {
  ASSERT_EQ(loadMedia(), 0);
  Mix_HaltChannel(-1);
  static int mixed[2];
  for (int channel : {0, 1}) {
    mixed[channel] = 0;
    Mix_RegisterEffect(channel, [](int channel, void*, int length, void*) { mixed[channel] += length; }, nullptr, nullptr);
  }
  playSound(kSoundShot);
  playSound(kSoundMenu);
  EXPECT_EQ(Mix_Playing(-1), 2);
  EXPECT_EQ(Mix_GetChunk(0), gSnd[kSoundShot]);
  EXPECT_EQ(Mix_GetChunk(1), gSnd[kSoundMenu]);
  for (int wait = 0; wait < 200 && Mix_Playing(-1) != 0; ++wait) SDL_Delay(10);
  EXPECT_EQ(mixed[0], static_cast<int>(gSnd[kSoundShot]->alen));
  EXPECT_EQ(mixed[1], static_cast<int>(gSnd[kSoundMenu]->alen));
  Mix_UnregisterAllEffects(0);
  Mix_UnregisterAllEffects(1);
}

// SDL shut down whole, as the game leaves it, with the drivers named in the environment for the next start.
void shutDownSDL(const std::vector<std::pair<const char*, const char*>>& environment) {
  testing_support::releaseSoftwareRenderer();
  Mix_CloseAudio();
  Mix_Quit();
  IMG_Quit();
  SDL_Quit();
  testing_support::forgetLibraries();
  for (const auto& [name, value] : environment) setenv(name, value, 1);
}

// Each failure prints its own message, and closeSDL afterwards (twice) releases only what exists.
// SDL's dummy video driver offers only the software renderer, and a renderer named in the
// environment is asked for with the accelerated flags. (Without a display or an audio device the
// real binary is asked, with its messages, in the hostile cases.)
TEST(SetUpFailureTest, EachFailurePrintsItsMessageAndTheShutDownReleasesWhatExists) {
  using Environment = std::vector<std::pair<const char*, const char*>>;
  const std::pair<Environment, const char*> failures[] = {  // after the window is made
      {{{"SDL_RENDER_DRIVER", "opengl"}}, "Renderer could not be created! SDL Error: .+\n"},
      {{{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", "/nonexistent/out.raw"}},
       "SDL_mixer could not initialize! SDL_mixer Error: .+\n"},
      {{}, ""}};  // no set-up at all
  for (const auto& [environment, message] : failures) {
    SCOPED_TRACE(message);
    shutDownSDL(environment);
    if (*message != '\0') {
      std::int32_t status = -1;
      const std::string printed = printedBy([&] { status = initializeSDL(); });
      EXPECT_EQ(status, 1);
      EXPECT_TRUE(std::regex_match(printed, std::regex(message))) << printed;
      EXPECT_NE(gWindow, nullptr);
    }
    unsetenv("SDL_RENDER_DRIVER");
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    for (int again = 0; again < 2; ++again) closeSDL();
    EXPECT_EQ(gWindow, nullptr);
    EXPECT_EQ(gRenderer, nullptr);
    EXPECT_EQ(gMus, nullptr);
    for (SDL_Texture* texture : gTexture) EXPECT_EQ(texture, nullptr);
    for (Mix_Chunk* sound : gSnd) EXPECT_EQ(sound, nullptr);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_EVERYTHING), 0u);
  }
}

// Muted, only silence reaches the audio device (here SDL's disk driver, written as the clock runs).
TEST(MuteTest, OnlySilenceReachesTheDeviceWhileMuted) {
  const std::string output = testing_support::currentRunDirectory().root + "/sound.raw";
  shutDownSDL({{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", output.c_str()}});
  testing_support::initializeLibraries();
  Mix_Chunk* shot = Mix_LoadWAV(testing_support::committedAssetPath("snd01.wav").c_str());
  ASSERT_NE(shot, nullptr);
  std::size_t heard[2] = {0, 0};  // bytes other than zero captured while muted, then not
  for (const bool muted : {true, false}) {
    startMuting(muted);
    const std::size_t from = testing_support::readFileBytes(output).size();
    Mix_PlayChannel(-1, shot, 0);
    SDL_Delay(400);
    const auto bytes = testing_support::readFileBytes(output);
    heard[muted ? 0 : 1] = static_cast<std::size_t>(std::count_if(bytes.begin() + from, bytes.end(), [](auto b) { return b != 0; }));
    stopMuting();
  }
  EXPECT_EQ(heard[0], 0u);
  EXPECT_GT(heard[1], 1000u);
  Mix_FreeChunk(shot);
  shutDownSDL({{"SDL_AUDIODRIVER", "dummy"}});
}

}  // namespace
