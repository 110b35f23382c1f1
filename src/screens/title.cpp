// Placeholder until the title menu is written: a window close ends the program.
#include "screens/title.h"

#include <SDL.h>

std::int32_t displayTitleScreen() {
  SDL_Event event;
  for (;;) {
    while (SDL_PollEvent(&event)) {
      if (event.type == SDL_QUIT) return kTitleQuit;
    }
    SDL_Delay(25);
  }
}
