// The platform: window, renderer, image and mixer set-up, the media tables and the music slot.
#pragma once

#include <SDL.h>
#include <SDL_mixer.h>

#include <cstdint>

constexpr std::int32_t kWindowWidth = 800;   // pixels
constexpr std::int32_t kWindowHeight = 600;  // pixels
constexpr std::int32_t kTextureCount = 8;
constexpr std::int32_t kTexturePathSize = 32;  // bytes per path slot, NUL included
constexpr std::int32_t kSoundCount = 14;

// Indices into gTexture, in load order.
constexpr std::int32_t kTextureButterfly = 0;
constexpr std::int32_t kTextureBird = 1;
constexpr std::int32_t kTextureTitle = 2;
constexpr std::int32_t kTextureFont = 3;
constexpr std::int32_t kTextureFeather = 4;
constexpr std::int32_t kTextureBackground0 = 5;
constexpr std::int32_t kTextureBackground1 = 6;
constexpr std::int32_t kTextureProjectiles = 7;

// Indices into gSnd of the sounds that something plays.
constexpr std::int32_t kSoundEnemyDestroyed = 0;
constexpr std::int32_t kSoundShot = 1;
constexpr std::int32_t kSoundPlayerHit = 6;
constexpr std::int32_t kSoundMenu = 13;

extern SDL_Window* gWindow;
extern SDL_Renderer* gRenderer;
extern std::int32_t gIsFullscreen;  // 1 while the window is fullscreen
extern Uint32 gFullscreenToggleTicks;  // SDL's milliseconds when the last toggle began; 0 before any
extern char gTexturePath[kTextureCount][kTexturePathSize];
extern SDL_Texture* gTexture[kTextureCount];
extern Mix_Chunk* gSnd[kSoundCount];
extern Mix_Music* gMus;  // the one current piece of music

// 0 when the window, renderer, image loader and mixer are ready; 1 after printing the first failure.
std::int32_t initializeSDL();
// Loads all 8 sheets and 14 sounds, reporting every failure; 0 when all loaded, 1 otherwise.
std::int32_t loadMedia();
void toggleFullscreen();
// Releases everything in a fixed order; safe after a failed or partial start-up.
void closeSDL();

// Starts a piece as the current music, looping without end; a piece that cannot be loaded
// leaves the game silent until the next one starts.
void startMusic(const char* path);
// Plays a sound once on the first free mixer channel.
void playSound(std::int32_t index);

// Hands the files just saved in ../Common/ to lasting storage: nothing to do on the desktop,
// where they are on disk already; in the browser, the page's storage (IndexedDB).
void syncSavedFiles();
// Tells the page that the game has ended with that exit status; nothing on the desktop.
void reportGameEnded(int status);
