// The floor: the least a program can do to show the title screen on this stack. Same window,
// renderer, audio device, title picture and title music as the game, nothing else; run from a
// directory whose ../Common/ holds the media, it paints the picture every 25 ms until closed.
// With --software it draws with SDL's software renderer straight into the window (no OpenGL at
// all), as the game does on a machine without graphics hardware; otherwise with the first
// accelerated renderer and vsync.
#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>

#include <cstdio>

namespace {

constexpr int kWindowWidth = 800;       // pixels
constexpr int kWindowHeight = 600;      // pixels
constexpr Uint32 kPassDelay = 25;       // milliseconds per pass, as the title screen waits
constexpr int kMusicVolume = 8;         // the game's music volume, 0 to 128
constexpr int kAudioFrequency = 44100;  // Hz
constexpr int kAudioChannels = 2;
constexpr int kAudioChunkSize = 2048;   // samples

bool quitRequested() {
  SDL_Event event;
  while (SDL_PollEvent(&event) != 0) {
    if (event.type == SDL_QUIT) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  const bool software = argc > 1 && SDL_strcmp(argv[1], "--software") == 0;
  if (software) SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO) < 0) {
    printf("SDL_Init: %s\n", SDL_GetError());
    return 1;
  }
  SDL_Window* window = SDL_CreateWindow("Zellworth floor", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                        kWindowWidth, kWindowHeight, SDL_WINDOW_SHOWN);
  SDL_Renderer* renderer =
      window == nullptr ? nullptr
                        : SDL_CreateRenderer(window, -1,
                                             software ? SDL_RENDERER_SOFTWARE
                                                      : SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
  if (renderer == nullptr || (IMG_Init(IMG_INIT_PNG) & IMG_INIT_PNG) == 0 ||
      Mix_OpenAudio(kAudioFrequency, AUDIO_S16LSB, kAudioChannels, kAudioChunkSize) < 0) {
    printf("set-up failed: %s\n", SDL_GetError());
    SDL_Quit();
    return 1;
  }

  SDL_Texture* title = nullptr;
  if (SDL_Surface* surface = IMG_Load("../Common/Title.png")) {
    SDL_SetColorKey(surface, SDL_TRUE, SDL_MapRGB(surface->format, 255, 0, 255));
    title = SDL_CreateTextureFromSurface(renderer, surface);
    SDL_FreeSurface(surface);
  }
  if (title == nullptr) {
    printf("Title.png: %s\n", SDL_GetError());
    SDL_Quit();
    return 1;
  }
  Mix_VolumeMusic(kMusicVolume);
  Mix_Music* music = Mix_LoadMUS("../Common/mus01.mid");
  if (music != nullptr) Mix_PlayMusic(music, -1);

  const SDL_Rect picture = {0, 0, kWindowWidth, kWindowHeight};
  while (!quitRequested()) {
    SDL_RenderClear(renderer);
    SDL_RenderCopy(renderer, title, &picture, &picture);
    SDL_RenderPresent(renderer);
    SDL_Delay(kPassDelay);
  }

  Mix_FreeMusic(music);
  SDL_DestroyTexture(title);
  SDL_DestroyRenderer(renderer);
  SDL_DestroyWindow(window);
  Mix_CloseAudio();
  Mix_Quit();
  IMG_Quit();
  SDL_Quit();
  return 0;
}
