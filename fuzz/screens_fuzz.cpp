// Fuzz target: the event streams of the title, game, game-over and key configuration screens.
// The first byte picks the screen; the rest is events cut into frames. Each wait of the screen
// brings the next frame's events, and once they are used up a quit request, which every screen
// must answer with one of its result codes. Waits and the clock run on a virtual clock (link
// option --wrap), so a whole game takes no real time; music loads as none.
#include <SDL.h>
#include <SDL_mixer.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <vector>

#include "app/platform.h"
#include "app/settings.h"
#include "fuzz_support.h"
#include "game/play.h"
#include "screens/gameover.h"
#include "screens/keyconfig.h"
#include "screens/title.h"

namespace {

constexpr std::size_t kMaxFrames = 160;         // frames of events taken from one input
constexpr std::size_t kMaxEventsPerFrame = 48;
constexpr std::size_t kQuitRequestsAllowed = 8;  // waits after the stream before a screen must have returned

enum Screen : std::uint8_t { kTitle, kGame, kGameOver, kKeyConfiguration, kScreenCount };

const SDL_Keycode kKeyTable[16] = {SDLK_UP,    SDLK_DOWN, SDLK_LEFT,   SDLK_RIGHT, SDLK_RCTRL, SDLK_RETURN,
                                   SDLK_BACKSPACE, SDLK_F4, SDLK_a, SDLK_ESCAPE, SDLK_SPACE, SDLK_LCTRL,
                                   SDLK_UNKNOWN, SDLK_z, SDLK_KP_ENTER, SDLK_F11};

std::vector<std::vector<SDL_Event>> gFrames;
std::size_t gNextFrame = 0;
std::size_t gQuitRequests = 0;
Uint32 gVirtualTicks = 0;

void parseFrames(fuzz_support::ByteReader& reader) {
  static const Uint32 kOtherTypes[4] = {SDL_MOUSEMOTION, SDL_MOUSEBUTTONDOWN, SDL_KEYMAPCHANGED, SDL_USEREVENT};
  gFrames.assign(1, {});
  while (!reader.empty() && gFrames.size() <= kMaxFrames) {
    const std::uint8_t operation = reader.takeByte();
    const std::uint8_t kind = operation % 8;  // 0 ends the frame; the 0x08 bit is the repeat flag
    std::vector<SDL_Event>& frame = gFrames.back();
    if (kind == 0 || frame.size() >= kMaxEventsPerFrame) {
      gFrames.emplace_back();
    } else if (kind <= 4) {  // a press or release of a key from the table (1, 2) or of any code (3, 4)
      const SDL_Keycode key = kind <= 2 ? kKeyTable[reader.takeByte() % 16] : reader.takeInt32();
      frame.push_back(testing_support::keyEvent(kind % 2 == 1 ? SDL_KEYDOWN : SDL_KEYUP, key, (operation & 0x08) != 0));
    } else if (kind == 6) {
      frame.push_back(SDL_Event{SDL_QUIT});
    } else {  // a window event (5) or another kind (7)
      SDL_Event event{};
      event.type = kind == 5 ? static_cast<Uint32>(SDL_WINDOWEVENT) : kOtherTypes[reader.takeByte() % 4];
      if (kind == 5) event.window.event = static_cast<Uint8>(reader.takeByte() % (SDL_WINDOWEVENT_DISPLAY_CHANGED + 1));
      frame.push_back(event);
    }
  }
}

// Called at every wait of a screen: the next frame's events arrive, or a quit request.
void feedNextFrame() {
  if (gNextFrame < gFrames.size()) {
    for (SDL_Event& event : gFrames[gNextFrame]) SDL_PushEvent(&event);
    ++gNextFrame;
    return;
  }
  if (++gQuitRequests > kQuitRequestsAllowed) fuzz_support::fail("a screen kept running after quit requests");
  testing_support::pushQuit();
}

}  // namespace

extern "C" Uint32 __wrap_SDL_GetTicks(void) { return gVirtualTicks; }

extern "C" Mix_Music* __wrap_Mix_LoadMUS(const char*) { return nullptr; }

extern "C" void __wrap_SDL_Delay(Uint32 milliseconds) {
  gVirtualTicks += milliseconds;
  feedNextFrame();
}

// The pause's wait for the player: with nothing queued, the next frame's events arrive at once.
extern "C" int __wrap_SDL_WaitEvent(SDL_Event* event) {
  if (SDL_PollEvent(nullptr) == 0) feedNextFrame();
  return event == nullptr ? 1 : SDL_PollEvent(event);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_support::setUpOnce();
  fuzz_support::ByteReader reader(data, size);
  const auto screen = static_cast<Screen>(reader.takeByte() % kScreenCount);
  const std::int32_t score = screen == kGameOver ? reader.takeInt32() : 0;
  parseFrames(reader);
  gNextFrame = 0;
  gQuitRequests = 0;
  testing_support::resetToStartUpState();
  remove(kSettingsPath);
  fuzz_support::clearCanvas();
  feedNextFrame();  // what is pending as the screen starts

  switch (screen) {
    case kTitle: {
      const std::int32_t result = displayTitleScreen();
      if (result != kTitleQuit && result != kTitlePlay && result != kTitleKeyConfiguration) {
        fuzz_support::fail("the title screen returned an unknown code");
      }
      break;
    }
    case kGame: {
      const std::int32_t result = play();
      if (result != 0 && result != 1) fuzz_support::fail("the game returned an unknown code");
      break;
    }
    case kGameOver: {
      gScore = score;
      const std::int32_t result = displayGameOverScreen();
      if (result != kGameOverQuit && result != kGameOverKeyPressed) fuzz_support::fail("the game-over screen returned an unknown code");
      break;
    }
    default: {
      const std::int32_t result = adjustSettings();
      if (result == 0 && std::ifstream(kSettingsPath)) fuzz_support::fail("a quit on the key configuration saved");
      if (result != 0 && result != kSettingsSaved) fuzz_support::fail("the key configuration failed to save");
      // A save writes exactly the bindings' 32 bytes, no key twice.
      const std::vector<std::uint8_t> file = testing_support::readFileBytes(kSettingsPath);
      if (result == kSettingsSaved && (file.size() != sizeof gKeyBindings || std::memcmp(file.data(), gKeyBindings, file.size()) != 0)) {
        fuzz_support::fail("the saved file differs from the bindings");
      }
      if (result == kSettingsSaved && std::set<SDL_Keycode>(gKeyBindings, gKeyBindings + kKeyBindingCount).size() != sizeof gKeyBindings / 4) {
        fuzz_support::fail("two bindings share a key");
      }
      break;
    }
  }
  fuzz_support::checkCanvasGuards();
  testing_support::resetToStartUpState();
  return 0;
}
