// Program entry: start-up, the top-level loop that chains the screens, and shut-down.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "app/platform.h"
#include "app/settings.h"
#include "game/play.h"
#include "screens/keyconfig.h"
#include "screens/title.h"
#include "text/font.h"

namespace {

constexpr int kMusicVolume = 8;
constexpr int kEffectVolume = 30;
constexpr int kHitSoundVolume = 25;  // snd03.wav
constexpr int kFirstUnsetVolume = 9; // snd09.wav and later keep the mixer's full volume

void setVolumes() {
  Mix_VolumeMusic(kMusicVolume);
  for (int index = 0; index < kFirstUnsetVolume; ++index) {
    Mix_VolumeChunk(gSnd[index], index == 3 ? kHitSoundVolume : kEffectVolume);
  }
}

}  // namespace

int main(int, char*[]) {
  srand(static_cast<unsigned>(time(nullptr)));

  if (initializeSDL() != 0) {
    puts("Failed to initialize!");
  } else if (loadMedia() != 0) {
    puts("Failed to load media!");
  } else {
    gCharacterWidthToRender = 10;
    gCharacterHeightToRender = 15;
    loadSettings();
    setVolumes();

    std::int32_t result = 1;
    bool RestartTitleMusic = true;
    while (result != 0) {
      if (RestartTitleMusic) {
        startMusic("../Common/mus01.mid");
        RestartTitleMusic = false;
      }
      result = displayTitleScreen();
      if (result == kTitlePlay) {
        result = play();
        RestartTitleMusic = true;
      }
      if (result == kTitleKeyConfiguration) {
        result = adjustSettings();
      }
    }
  }

  closeSDL();
  // Status 1 after a failed start-up, so that a launcher or a script can tell; the glyph size is
  // set only once the platform and the media are up.
  return gCharacterWidthToRender == 0 ? EXIT_FAILURE : EXIT_SUCCESS;
}
