// Media loading, its messages and colour key, the music slot, the sounds, and set-up failures
// followed by shut-down, on SDL's dummy drivers.
#include "app/platform.h"

#include <SDL_image.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>

#include "app/mute.h"
#include "support/harness.h"

namespace fs = std::filesystem;
using testing_support::printedBy;

namespace {

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
