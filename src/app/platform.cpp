// The platform: SDL2, SDL2_image and SDL2_mixer set-up, the media tables, fullscreen and shut-down.
#include "app/platform.h"

#include <SDL_image.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

#include "app/display.h"
#include "app/midi_file.h"

SDL_Window* gWindow = nullptr;
SDL_Renderer* gRenderer = nullptr;
std::int32_t gIsFullscreen = 0;
Uint32 gFullscreenToggleTicks = 0;
char gTexturePath[kTextureCount][kTexturePathSize] = {
    "../Common/Butterfly.png", "../Common/Bird.png",        "../Common/Title.png",
    "../Common/Font.png",      "../Common/Feather.png",     "../Common/Background0.png",
    "../Common/Background1.png", "../Common/Projectiles.png"};
SDL_Texture* gTexture[kTextureCount] = {};
Mix_Chunk* gSnd[kSoundCount] = {};
Mix_Music* gMus = nullptr;

namespace {

constexpr const char* kWindowCaption = "Zellworth";
constexpr int kAudioFrequency = 44100;  // Hz
constexpr int kAudioChannels = 2;       // stereo
constexpr int kAudioChunkSize = 2048;   // samples
constexpr std::int32_t kSoundPathSize = 32;
#ifdef __EMSCRIPTEN__
// The page draws the picture at its own size (CSS scales the 800 x 600 canvas), so the window
// never changes size.
constexpr Uint32 kWindowFlags = SDL_WINDOW_SHOWN;
// Browsers have no MIDI synthesiser: the pieces ship as Ogg Vorbis rendered from the MIDI files
// with the desktop's sound font, at a third of the synthesiser's gain at full volume so that no
// peak clips; the music volume is raised three times once to make up for it.
constexpr std::int32_t kMusicPathSize = 64;
constexpr int kRenderedMusicAttenuation = 3;
bool renderedMusicVolumeRaised = false;
#else
constexpr Uint32 kWindowFlags = SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE;
#endif

// The raw value of the pixel at `pixel`, as SDL reads 3- and 4-byte pixels.
Uint32 readPixel(const Uint8* pixel, int bytesPerPixel) {
  if (bytesPerPixel == 4) {
    Uint32 value;
    SDL_memcpy(&value, pixel, sizeof(value));
    return value;
  }
#if SDL_BYTEORDER == SDL_LIL_ENDIAN
  return pixel[0] | (pixel[1] << 8) | (pixel[2] << 16);
#else
  return (pixel[0] << 16) | (pixel[1] << 8) | pixel[2];
#endif
}

// True when no pixel of the sheet is transparent: none has the colour key and none has less
// than full alpha. Only 3- and 4-byte pixels are examined; other sheets count as transparent.
bool isOpaqueSheet(SDL_Surface* surface) {
  const SDL_PixelFormat* format = surface->format;
  const int bytesPerPixel = format->BytesPerPixel;
  if (bytesPerPixel != 3 && bytesPerPixel != 4) return false;
  const Uint32 usedBits = bytesPerPixel == 4 ? format->Rmask | format->Gmask | format->Bmask | format->Amask : 0xFFFFFF;
  Uint32 key = 0;
  const bool keyed = SDL_GetColorKey(surface, &key) == 0;
  key &= usedBits;
  if (SDL_LockSurface(surface) != 0) return false;
  bool opaque = true;
  for (int y = 0; y < surface->h && opaque; ++y) {
    const Uint8* row = static_cast<const Uint8*>(surface->pixels) + y * surface->pitch;
    for (int x = 0; x < surface->w; ++x) {
      const Uint32 value = readPixel(row + x * bytesPerPixel, bytesPerPixel) & usedBits;
      if ((keyed && value == key) || (value & format->Amask) != format->Amask) {
        opaque = false;
        break;
      }
    }
  }
  SDL_UnlockSurface(surface);
  return opaque;
}

// A sheet without a transparent pixel needs no colour key, and in the window's own pixel format
// the software renderer copies it row by row instead of converting every pixel. The pixels stay
// the same; a sheet that cannot be converted is kept as it is.
SDL_Surface* inWindowFormat(SDL_Surface* surface) {
  if (gWindow == nullptr) return surface;
  SDL_Surface* converted = SDL_ConvertSurfaceFormat(surface, SDL_GetWindowPixelFormat(gWindow), 0);
  if (converted == nullptr) return surface;
  SDL_SetColorKey(converted, SDL_FALSE, 0);
  SDL_FreeSurface(surface);
  return converted;
}

#ifdef __EMSCRIPTEN__
// The page's window holds its pixels in BGR888. A sheet with transparent pixels, made ABGR8888
// (the colour key becomes alpha), is blended by SDL's copy for equal channel masks, which costs
// a fraction of reordering every pixel's channels; the pixels drawn stay the same.
SDL_Surface* inWindowChannelOrder(SDL_Surface* surface) {
  SDL_Surface* converted = SDL_ConvertSurfaceFormat(surface, SDL_PIXELFORMAT_ABGR8888, 0);
  if (converted == nullptr) return surface;
  SDL_FreeSurface(surface);
  return converted;
}
#endif

}  // namespace

std::int32_t initializeSDL() {
  preferShownVideoDrivers();
  // Scaled sprites keep their hard pixel edges.
  SDL_SetHintWithPriority(SDL_HINT_RENDER_SCALE_QUALITY, "nearest", SDL_HINT_DEFAULT);
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO) < 0) {
    printf("SDL could not initialize! SDL Error: %s\n", SDL_GetError());
    return 1;
  }
  gWindow = SDL_CreateWindow(kWindowCaption, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                             kWindowWidth * gWindowScale, kWindowHeight * gWindowScale,
                             kWindowFlags);
  if (gWindow == nullptr) {
    printf("Window could not be created! SDL Error: %s\n", SDL_GetError());
    return 1;
  }
  gRenderer = SDL_CreateRenderer(gWindow, -1, chooseRendererFlags());
  if (gRenderer == nullptr) {
    printf("Renderer could not be created! SDL Error: %s\n", SDL_GetError());
    return 1;
  }
  startPictureScaling();
  SDL_SetRenderDrawColor(gRenderer, 0, 0, 0, 255);
  SDL_SetRenderDrawBlendMode(gRenderer, SDL_BLENDMODE_BLEND);
  if ((IMG_Init(IMG_INIT_PNG) & IMG_INIT_PNG) == 0) {
    printf("SDL_image could not initialize! SDL_image Error: %s\n", IMG_GetError());
    return 1;
  }
  if (Mix_OpenAudio(kAudioFrequency, AUDIO_S16LSB, kAudioChannels, kAudioChunkSize) < 0) {
    printf("SDL_mixer could not initialize! SDL_mixer Error: %s\n", Mix_GetError());
    return 1;
  }
  return 0;
}

// Every one of the 22 files is tried, and every failure is reported.
std::int32_t loadMedia() {
  std::int32_t status = 0;
  for (std::int32_t index = 0; index < kTextureCount; ++index) {
    SDL_Surface* surface = IMG_Load(gTexturePath[index]);
    if (surface == nullptr) {
      printf("Unable to load image %s! SDL Error: %s\n", gTexturePath[index], SDL_GetError());
      status = 1;
      continue;
    }
    // Magenta pixels are transparent.
    SDL_SetColorKey(surface, SDL_TRUE, SDL_MapRGB(surface->format, 255, 0, 255));
    const bool opaque = isOpaqueSheet(surface);
    if (opaque) surface = inWindowFormat(surface);
#ifdef __EMSCRIPTEN__
    if (!opaque) surface = inWindowChannelOrder(surface);
#endif
    gTexture[index] = SDL_CreateTextureFromSurface(gRenderer, surface);
    if (gTexture[index] == nullptr) {
      printf("Unable to create texture from %s! SDL Error: %s\n", gTexturePath[index], SDL_GetError());
      status = 1;
    } else if (opaque) {
      // Blending a sheet without transparent pixels gives its own pixels; copying them costs less.
      SDL_SetTextureBlendMode(gTexture[index], SDL_BLENDMODE_NONE);
    }
    SDL_FreeSurface(surface);
  }
  for (std::int32_t index = 0; index < kSoundCount; ++index) {
    char path[kSoundPathSize];
    snprintf(path, sizeof(path), "../Common/snd%02d.wav", static_cast<int>(index));
    gSnd[index] = Mix_LoadWAV_RW(SDL_RWFromFile(path, "rb"), 1);
    if (gSnd[index] == nullptr) {
      printf("Failed to load snd%02d sound effect! SDL_mixer Error: %s\n", static_cast<int>(index), Mix_GetError());
      status = 1;
    }
  }
  return status;
}

// The flag flips whatever the window system makes of the request.
void toggleFullscreen() {
  gFullscreenToggleTicks = SDL_GetTicks();
  if (gIsFullscreen != 0) {
    leaveFullscreen();
    gIsFullscreen = 0;
  } else {
    enterFullscreen();
    gIsFullscreen = 1;
  }
}

// Handles that were never created are null; the libraries ignore them.
void closeSDL() {
  for (SDL_Texture*& texture : gTexture) {
    SDL_DestroyTexture(texture);
    texture = nullptr;
  }
  Mix_FreeMusic(gMus);
  gMus = nullptr;
  for (Mix_Chunk*& sound : gSnd) {
    Mix_FreeChunk(sound);
    sound = nullptr;
  }
  stopPictureScaling();
  SDL_DestroyRenderer(gRenderer);
  gRenderer = nullptr;
  SDL_DestroyWindow(gWindow);
  gWindow = nullptr;
  Mix_Quit();
  IMG_Quit();
  SDL_Quit();
}

// The old piece is released before the new one is loaded: a MIDI piece carries a synthesiser
// with its sound font, and holding two of them at once would only keep the old tune playing
// for the few milliseconds of the load. A file that is not a playable piece counts as one that
// cannot be loaded.
void startMusic(const char* path) {
  Mix_FreeMusic(gMus);
#ifdef __EMSCRIPTEN__
  // "../Common/mus01.mid" plays as "../Common/mus01.ogg".
  char rendered[kMusicPathSize];
  const char* extension = std::strrchr(path, '.');
  const int stem = static_cast<int>(extension != nullptr ? extension - path : std::strlen(path));
  snprintf(rendered, sizeof(rendered), "%.*s.ogg", stem, path);
  gMus = Mix_LoadMUS(rendered);
  if (!renderedMusicVolumeRaised) {
    Mix_VolumeMusic(Mix_VolumeMusic(-1) * kRenderedMusicAttenuation);
    renderedMusicVolumeRaised = true;
  }
#else
  gMus = isPlayableMidi(path) ? Mix_LoadMUS(path) : nullptr;
#endif
  if (gMus != nullptr) Mix_PlayMusic(gMus, -1);
}

void playSound(std::int32_t index) { Mix_PlayChannelTimed(-1, gSnd[index], 0, -1); }

#ifdef __EMSCRIPTEN__
namespace {
// Both hand over to the page's own script (web/pre.js and web/page.js).
EM_JS(void, syncSavedFilesOfPage, (), {
  if (Module['syncSavedFiles']) Module['syncSavedFiles']();
});

// A message without a line end (a failed save's) waits in the page's output buffer (web/pre.js);
// the page gets it before it hears of the end, as a terminal shows it when the program exits.
EM_JS(void, reportGameEndedToPage, (int status), {
  if (Module['flushOutput']) Module['flushOutput']();
  if (Module['onGameEnded']) Module['onGameEnded'](status);
});

// The frame clock: 25 ms, a frame of the game.
constexpr double kFrameClockMilliseconds = 25.0;
// Shorter waits (SDL's own, while it waits for events) are left as they are.
constexpr Uint32 kShortestFrameWait = 2;
// A wait that would end this close after a tick ends on that tick: the game's own measure of its
// frame is in whole milliseconds.
constexpr double kTickTolerance = 2.0;

double LastWake = 0.0;  // when the last frame's wait ended, on the page's clock (milliseconds)

double tickAtOrBefore(double time) { return std::floor(time / kFrameClockMilliseconds) * kFrameClockMilliseconds; }
}  // namespace

// The browser runs SDL_Delay as a timer of the page, which fires late, and a screen that waits a
// fixed 25 ms after drawing (the title) would lose its drawing time and the lateness on every
// frame. So a wait ends on a tick of a 25 ms clock: the tick its time after the last wait's end
// reaches, while that is still ahead (a screen's fixed wait), else the one its time from now
// reaches (the game, which waits for what is left of its frame). Both run 40 frames a second.
extern "C" void __real_SDL_Delay(Uint32 milliseconds);
extern "C" void __wrap_SDL_Delay(Uint32 milliseconds) {
  if (milliseconds < kShortestFrameWait) {
    __real_SDL_Delay(milliseconds);
    return;
  }
  const double now = emscripten_get_now();
  double tick = tickAtOrBefore(LastWake + milliseconds + kTickTolerance);
  if (tick <= now) tick = tickAtOrBefore(now + milliseconds + kTickTolerance);
  __real_SDL_Delay(tick > now ? static_cast<Uint32>(std::ceil(tick - now)) : 0);
  LastWake = emscripten_get_now();
}

void syncSavedFiles() { syncSavedFilesOfPage(); }

void reportGameEnded(int status) {
  std::fflush(stdout);
  reportGameEndedToPage(status);
}
#else
void syncSavedFiles() {}

void reportGameEnded(int) {}
#endif
