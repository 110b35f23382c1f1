// Media loading, its messages and colour key, the music slot, and set-up failures followed by
// shut-down, on SDL's dummy drivers with a media set made by the test.
#include "app/platform.h"

#include <SDL_image.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <utility>

#include "support/harness.h"

namespace fs = std::filesystem;

namespace {

const char* const kImageNames[kTextureCount] = {"Butterfly.png",   "Bird.png",        "Title.png",
                                                "Font.png",        "Feather.png",     "Background0.png",
                                                "Background1.png", "Projectiles.png"};

// A 4 x 1 sheet: magenta, almost magenta, white, magenta.
void writeTestImage(const std::string& path) {
  SDL_Surface* image = SDL_CreateRGBSurfaceWithFormat(0, 4, 1, 24, SDL_PIXELFORMAT_RGB24);
  auto* pixels = static_cast<std::uint8_t*>(image->pixels);
  const std::uint8_t colors[4][3] = {{255, 0, 255}, {254, 0, 255}, {255, 255, 255}, {255, 0, 255}};
  for (int pixel = 0; pixel < 4; ++pixel) {
    for (int channel = 0; channel < 3; ++channel) pixels[3 * pixel + channel] = colors[pixel][channel];
  }
  ASSERT_EQ(IMG_SavePNG(image, path.c_str()), 0) << IMG_GetError();
  SDL_FreeSurface(image);
}

// A short silent 16-bit stereo WAV.
void writeTestSound(const std::string& path) {
  const std::uint32_t dataBytes = 400;
  auto put32 = [](std::ofstream& out, std::uint32_t value) {
    for (int byte = 0; byte < 4; ++byte) out.put(static_cast<char>(value >> (8 * byte)));
  };
  auto put16 = [](std::ofstream& out, std::uint16_t value) {
    out.put(static_cast<char>(value & 0xFF));
    out.put(static_cast<char>(value >> 8));
  };
  std::ofstream out(path, std::ios::binary);
  out.write("RIFF", 4);
  put32(out, 36 + dataBytes);
  out.write("WAVEfmt ", 8);
  put32(out, 16);
  put16(out, 1);
  put16(out, 2);
  put32(out, 44100);
  put32(out, 44100 * 4);
  put16(out, 4);
  put16(out, 16);
  out.write("data", 4);
  put32(out, dataBytes);
  for (std::uint32_t byte = 0; byte < dataBytes; ++byte) out.put('\0');
}

class MediaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto& run = testing_support::enterFreshRunDirectory();
    common = run.common;
    for (const auto& entry : fs::directory_iterator(common)) fs::remove(entry.path());
    testing_support::useSoftwareRenderer();
    for (const char* name : kImageNames) writeTestImage(common + "/" + name);
    for (int index = 0; index < kSoundCount; ++index) {
      char name[16];
      snprintf(name, sizeof(name), "snd%02d.wav", index);
      writeTestSound(common + "/" + name);
    }
  }
  void TearDown() override {
    Mix_HaltMusic();
    Mix_FreeMusic(gMus);
    gMus = nullptr;
    testing_support::releaseSoftwareRenderer();
  }

  std::string loadMediaCapturingOutput(std::int32_t& status) {
    fflush(stdout);
    ::testing::internal::CaptureStdout();
    status = loadMedia();
    return ::testing::internal::GetCapturedStdout();
  }

  std::string common;
};

TEST_F(MediaTest, CompleteMediaLoadSilently) {
  std::int32_t status = -1;
  EXPECT_EQ(loadMediaCapturingOutput(status), "");
  EXPECT_EQ(status, 0);
  for (SDL_Texture* texture : gTexture) EXPECT_NE(texture, nullptr);
  for (Mix_Chunk* sound : gSnd) EXPECT_NE(sound, nullptr);
}

TEST_F(MediaTest, EveryMissingFileIsReportedAndTheRestStillLoad) {
  fs::remove(common + "/Feather.png");
  fs::remove(common + "/snd05.wav");
  fs::remove(common + "/snd07.wav");
  std::int32_t status = -1;
  const std::vector<std::string> printed = testing_support::lines(loadMediaCapturingOutput(status));
  EXPECT_EQ(status, 1);
  ASSERT_EQ(printed.size(), 3u);
  EXPECT_TRUE(std::regex_match(printed[0], std::regex(R"(Unable to load image \.\./Common/Feather\.png! SDL Error: .+)")))
      << printed[0];
  EXPECT_TRUE(std::regex_match(printed[1], std::regex(R"(Failed to load snd05 sound effect! SDL_mixer Error: .+)")))
      << printed[1];
  EXPECT_TRUE(std::regex_match(printed[2], std::regex(R"(Failed to load snd07 sound effect! SDL_mixer Error: .+)")))
      << printed[2];
  for (std::int32_t index = 0; index < kTextureCount; ++index) {
    EXPECT_EQ(gTexture[index] == nullptr, index == kTextureFeather) << "texture " << index;
  }
  for (std::int32_t index = 0; index < kSoundCount; ++index) {
    EXPECT_EQ(gSnd[index] == nullptr, index == 5 || index == 7) << "sound " << index;
  }
}

TEST_F(MediaTest, FileThatIsNoImageIsReportedWithItsPath) {
  std::ofstream(common + "/Projectiles.png") << "not an image";
  std::int32_t status = -1;
  const std::vector<std::string> printed = testing_support::lines(loadMediaCapturingOutput(status));
  EXPECT_EQ(status, 1);
  ASSERT_EQ(printed.size(), 1u);
  EXPECT_EQ(printed[0].rfind("Unable to load image ../Common/Projectiles.png! SDL Error: ", 0), 0u) << printed[0];
}

TEST_F(MediaTest, ExactMagentaIsTransparent) {
  std::int32_t status = -1;
  loadMediaCapturingOutput(status);
  ASSERT_EQ(status, 0);
  testing_support::fillCanvas(0, 128, 0);
  const SDL_Rect destination{10, 20, 4, 1};
  SDL_RenderCopy(gRenderer, gTexture[kTextureButterfly], nullptr, &destination);
  const SDL_Color expected[4] = {{0, 128, 0, 255}, {254, 0, 255, 255}, {255, 255, 255, 255}, {0, 128, 0, 255}};
  for (int pixel = 0; pixel < 4; ++pixel) {
    const SDL_Color actual = testing_support::pixelAt(10 + pixel, 20);
    EXPECT_EQ(actual.r, expected[pixel].r) << pixel;
    EXPECT_EQ(actual.g, expected[pixel].g) << pixel;
    EXPECT_EQ(actual.b, expected[pixel].b) << pixel;
  }
}

TEST_F(MediaTest, MusicSlotHoldsTheLastPieceOrNothing) {
  if (!fs::exists(testing_support::committedAssetPath("mus01.mid"))) GTEST_SKIP() << "no music generated yet";
  fs::copy_file(testing_support::committedAssetPath("mus01.mid"), common + "/mus01.mid");
  fs::copy_file(testing_support::committedAssetPath("mus02.mid"), common + "/mus02.mid");
  startMusic("../Common/mus01.mid");
  ASSERT_NE(gMus, nullptr);
  EXPECT_EQ(Mix_PlayingMusic(), 1);
  startMusic("../Common/mus02.mid");
  ASSERT_NE(gMus, nullptr);
  EXPECT_EQ(Mix_PlayingMusic(), 1);
  // A piece that cannot be loaded releases the old one and leaves the game silent.
  startMusic("../Common/mus09.mid");
  EXPECT_EQ(gMus, nullptr);
  EXPECT_EQ(Mix_PlayingMusic(), 0);
}

// A sheet without a transparent pixel is copied opaque; a colour-keyed or a translucent pixel
// keeps its sheet blended.
TEST_F(MediaTest, OnlySheetsWithoutTransparentPixelsAreCopiedOpaque) {
  // Opaque: near-magenta, white, black, near-magenta.
  SDL_Surface* opaque = SDL_CreateRGBSurfaceWithFormat(0, 4, 1, 24, SDL_PIXELFORMAT_RGB24);
  const std::uint8_t opaqueColors[4][3] = {{254, 0, 255}, {255, 255, 255}, {0, 0, 0}, {255, 0, 254}};
  std::memcpy(opaque->pixels, opaqueColors, sizeof(opaqueColors));
  ASSERT_EQ(IMG_SavePNG(opaque, (common + "/Title.png").c_str()), 0) << IMG_GetError();
  SDL_FreeSurface(opaque);
  // Translucent: no magenta, but one pixel with alpha 200.
  SDL_Surface* translucent = SDL_CreateRGBSurfaceWithFormat(0, 2, 1, 32, SDL_PIXELFORMAT_RGBA32);
  const std::uint8_t translucentColors[2][4] = {{10, 20, 30, 255}, {10, 20, 30, 200}};
  std::memcpy(translucent->pixels, translucentColors, sizeof(translucentColors));
  ASSERT_EQ(IMG_SavePNG(translucent, (common + "/Bird.png").c_str()), 0) << IMG_GetError();
  SDL_FreeSurface(translucent);

  std::int32_t status = -1;
  loadMediaCapturingOutput(status);
  ASSERT_EQ(status, 0);
  auto blendModeOf = [](std::int32_t index) {
    SDL_BlendMode mode = SDL_BLENDMODE_INVALID;
    SDL_GetTextureBlendMode(gTexture[index], &mode);
    return mode;
  };
  EXPECT_EQ(blendModeOf(kTextureTitle), SDL_BLENDMODE_NONE);
  EXPECT_EQ(blendModeOf(kTextureButterfly), SDL_BLENDMODE_BLEND);
  EXPECT_EQ(blendModeOf(kTextureBird), SDL_BLENDMODE_BLEND);

  testing_support::fillCanvas(0, 128, 0);
  const SDL_Rect destination{10, 20, 4, 1};
  SDL_RenderCopy(gRenderer, gTexture[kTextureTitle], nullptr, &destination);
  for (int pixel = 0; pixel < 4; ++pixel) {
    const SDL_Color actual = testing_support::pixelAt(10 + pixel, 20);
    EXPECT_EQ(actual.r, opaqueColors[pixel][0]) << pixel;
    EXPECT_EQ(actual.g, opaqueColors[pixel][1]) << pixel;
    EXPECT_EQ(actual.b, opaqueColors[pixel][2]) << pixel;
  }
}

// The committed sky and title sheets have no transparent pixel, so they are copied opaque; drawn
// as the game draws them (the sky scaled by two, the title unscaled), every pixel is the one
// that blending them gave.
TEST(CommittedSheetsTest, OpaqueCopiesDrawWhatBlendingDrew) {
  testing_support::enterFreshRunDirectory();
  ASSERT_EQ(testing_support::useSoftwareRendererWithMedia(), 0);
  const SDL_Rect skySource{700, 0, 400, 300};
  const SDL_Rect titleSource{0, 0, 800, 600};
  const std::pair<std::int32_t, const SDL_Rect*> sheets[] = {
      {kTextureBackground0, &skySource}, {kTextureBackground1, &skySource}, {kTextureTitle, &titleSource}};
  SDL_Surface* canvas = testing_support::canvas();
  const std::size_t canvasBytes = static_cast<std::size_t>(canvas->pitch) * canvas->h;
  for (const auto& [index, source] : sheets) {
    SDL_BlendMode loaded = SDL_BLENDMODE_INVALID;
    SDL_GetTextureBlendMode(gTexture[index], &loaded);
    EXPECT_EQ(loaded, SDL_BLENDMODE_NONE) << "sheet " << index;

    testing_support::fillCanvas(0, 0, 0);
    SDL_RenderCopy(gRenderer, gTexture[index], source, nullptr);
    const std::string copied(static_cast<const char*>(canvas->pixels), canvasBytes);
    SDL_SetTextureBlendMode(gTexture[index], SDL_BLENDMODE_BLEND);
    testing_support::fillCanvas(0, 0, 0);
    SDL_RenderCopy(gRenderer, gTexture[index], source, nullptr);
    const std::string blended(static_cast<const char*>(canvas->pixels), canvasBytes);
    EXPECT_TRUE(copied == blended) << "sheet " << index << " draws other pixels when copied opaque";
  }
  testing_support::releaseSoftwareRenderer();
}

// The process's resident memory now ("VmRSS") or at its peak ("VmHWM"), in kB.
long residentKb(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  }
  return -1;
}

// Switching pieces never holds two at once: starting the other pieces in turn raises the peak
// memory by much less than the first piece took. (Holding a second MIDI piece with its own
// synthesiser and sound font costs about half of what the first one took.)
TEST_F(MediaTest, SwitchingMusicHoldsOnePieceAtATime) {
  for (const char* name : {"mus01.mid", "mus02.mid", "mus03.mid"}) {
    if (!fs::exists(testing_support::committedAssetPath(name))) GTEST_SKIP() << "no music generated yet";
    fs::copy_file(testing_support::committedAssetPath(name), common + "/" + name);
  }
  const long residentWithoutMusic = residentKb("VmRSS");
  startMusic("../Common/mus01.mid");
  ASSERT_NE(gMus, nullptr);
  const long firstPieceCost = residentKb("VmRSS") - residentWithoutMusic;
  if (firstPieceCost < 2048) GTEST_SKIP() << "a piece costs only " << firstPieceCost << " kB on this mixer";

  const long peakWithOnePiece = residentKb("VmHWM");
  for (const char* path : {"../Common/mus02.mid", "../Common/mus03.mid", "../Common/mus01.mid"}) {
    startMusic(path);
    ASSERT_NE(gMus, nullptr) << path;
  }
  const long switchingGrowth = residentKb("VmHWM") - peakWithOnePiece;
  EXPECT_LT(switchingGrowth, firstPieceCost / 4)
      << "the first piece took " << firstPieceCost << " kB; switching raised the peak by " << switchingGrowth << " kB";
}

TEST_F(MediaTest, SoundsPlayOnAFreeChannelOnce) {
  std::int32_t status = -1;
  loadMediaCapturingOutput(status);
  ASSERT_EQ(status, 0);
  Mix_HaltChannel(-1);
  playSound(kSoundShot);
  playSound(kSoundShot);
  EXPECT_EQ(Mix_Playing(-1), 2);
  EXPECT_EQ(Mix_GetChunk(0), gSnd[kSoundShot]);
  EXPECT_EQ(Mix_GetChunk(1), gSnd[kSoundShot]);
  Mix_HaltChannel(-1);
}

// Set-up failures: each prints its own message, and closeSDL afterwards releases only what exists.
class SetUpFailureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::releaseSoftwareRenderer();
    Mix_CloseAudio();
    Mix_Quit();
    IMG_Quit();
    SDL_Quit();
    testing_support::forgetLibraries();
  }
  void TearDown() override {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
  }

  std::string initializeCapturingOutput(std::int32_t& status) {
    fflush(stdout);
    ::testing::internal::CaptureStdout();
    status = initializeSDL();
    return ::testing::internal::GetCapturedStdout();
  }

  void expectAllReleased() {
    EXPECT_EQ(gWindow, nullptr);
    EXPECT_EQ(gRenderer, nullptr);
    EXPECT_EQ(gMus, nullptr);
    for (SDL_Texture* texture : gTexture) EXPECT_EQ(texture, nullptr);
    for (Mix_Chunk* sound : gSnd) EXPECT_EQ(sound, nullptr);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_EVERYTHING), 0u);
  }
};

TEST_F(SetUpFailureTest, AudioDriverThatCannotOpenStopsAtSdlInit) {
  setenv("SDL_AUDIODRIVER", "nonexistent", 1);
  std::int32_t status = -1;
  const std::vector<std::string> printed = testing_support::lines(initializeCapturingOutput(status));
  EXPECT_EQ(status, 1);
  ASSERT_EQ(printed.size(), 1u);
  EXPECT_TRUE(std::regex_match(printed[0], std::regex(R"(SDL could not initialize! SDL Error: .+)"))) << printed[0];
  EXPECT_EQ(gWindow, nullptr);
  closeSDL();
  expectAllReleased();
}

TEST_F(SetUpFailureTest, NoAcceleratedRendererStopsAfterTheWindow) {
  // SDL's dummy video driver offers only the software renderer, and a renderer named in the
  // environment is asked for with the accelerated flags.
  setenv("SDL_RENDER_DRIVER", "opengl", 1);
  std::int32_t status = -1;
  const std::vector<std::string> printed = testing_support::lines(initializeCapturingOutput(status));
  unsetenv("SDL_RENDER_DRIVER");
  EXPECT_EQ(status, 1);
  ASSERT_EQ(printed.size(), 1u);
  EXPECT_TRUE(std::regex_match(printed[0], std::regex(R"(Renderer could not be created! SDL Error: .+)")))
      << printed[0];
  ASSERT_NE(gWindow, nullptr);
  EXPECT_STREQ(SDL_GetWindowTitle(gWindow), "Zellworth");
  int width = 0;
  int height = 0;
  SDL_GetWindowSize(gWindow, &width, &height);
  EXPECT_EQ(width, 800);
  EXPECT_EQ(height, 600);
  closeSDL();
  expectAllReleased();
}

TEST_F(SetUpFailureTest, CloseWithoutAnySetUpIsHarmless) {
  closeSDL();
  closeSDL();
  expectAllReleased();
}

}  // namespace
