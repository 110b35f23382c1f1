// Placeholder until the platform set-up is written.
#include "app/platform.h"

SDL_Window* gWindow = nullptr;
SDL_Renderer* gRenderer = nullptr;
std::int32_t gIsFullscreen = 0;
char gTexturePath[kTextureCount][kTexturePathSize] = {
    "../Common/Butterfly.png", "../Common/Bird.png",        "../Common/Title.png",
    "../Common/Font.png",      "../Common/Feather.png",     "../Common/Background0.png",
    "../Common/Background1.png", "../Common/Projectiles.png"};
SDL_Texture* gTexture[kTextureCount] = {};
Mix_Chunk* gSnd[kSoundCount] = {};
Mix_Music* gMus = nullptr;

std::int32_t initializeSDL() { return 1; }
std::int32_t loadMedia() { return 1; }
void toggleFullscreen() {}
void closeSDL() {}
void startMusic(const char*) {}
void playSound(std::int32_t) {}
