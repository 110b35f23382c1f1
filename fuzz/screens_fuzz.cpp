// Fuzz target: the event streams of the title, game, game-over and key configuration screens.
// The first byte picks the screen; the rest is key presses and releases (with and without the
// repeat flag), window events, quit requests and other events, cut into frames. Each wait of the
// screen brings the next frame's events, and once they are used up a quit request, which every
// screen must answer with one of its result codes. Waits and the clock run on a virtual clock
// (link option --wrap), so a whole game takes no real time; music loads as none.
#include <SDL.h>
#include <SDL_mixer.h>

#include <cstdio>
#include <cstring>
#include <fstream>
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

SDL_Event otherEvent(std::uint8_t choice) {
  static const Uint32 kTypes[4] = {SDL_MOUSEMOTION, SDL_MOUSEBUTTONDOWN, SDL_KEYMAPCHANGED, SDL_USEREVENT};
  SDL_Event event{};
  event.type = kTypes[choice % 4];
  return event;
}

void parseFrames(fuzz_support::ByteReader& reader) {
  gFrames.assign(1, {});
  while (!reader.empty() && gFrames.size() <= kMaxFrames) {
    const std::uint8_t operation = reader.takeByte();
    const bool repeat = (operation & 0x08) != 0;
    std::vector<SDL_Event>& frame = gFrames.back();
    if (operation % 8 == 0 || frame.size() >= kMaxEventsPerFrame) {
      gFrames.emplace_back();
      continue;
    }
    switch (operation % 8) {
      case 1: frame.push_back(testing_support::keyEvent(SDL_KEYDOWN, kKeyTable[reader.takeByte() % 16], repeat)); break;
      case 2: frame.push_back(testing_support::keyEvent(SDL_KEYUP, kKeyTable[reader.takeByte() % 16], repeat)); break;
      case 3: frame.push_back(testing_support::keyEvent(SDL_KEYDOWN, reader.takeInt32(), repeat)); break;
      case 4: frame.push_back(testing_support::keyEvent(SDL_KEYUP, reader.takeInt32(), repeat)); break;
      case 5: {
        SDL_Event event{};
        event.type = SDL_WINDOWEVENT;
        event.window.event = static_cast<Uint8>(reader.takeByte() % (SDL_WINDOWEVENT_DISPLAY_CHANGED + 1));
        frame.push_back(event);
        break;
      }
      case 6: frame.push_back(SDL_Event{SDL_QUIT}); break;
      default: frame.push_back(otherEvent(reader.takeByte())); break;
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

// The settings file holds exactly the bindings' 32 bytes.
bool fileHoldsBindings() {
  const std::vector<std::uint8_t> bytes = testing_support::readFileBytes(kSettingsPath);
  return bytes.size() == sizeof gKeyBindings && std::memcmp(bytes.data(), gKeyBindings, bytes.size()) == 0;
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

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::setUpOnce();
  return 0;
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
      if (result != kGameOverQuit && result != kGameOverKeyPressed) {
        fuzz_support::fail("the game-over screen returned an unknown code");
      }
      break;
    }
    default: {
      const std::int32_t result = adjustSettings();
      if (result == 0 && std::ifstream(kSettingsPath)) fuzz_support::fail("a quit on the key configuration saved");
      if (result == kSettingsSaved && !fileHoldsBindings()) fuzz_support::fail("the saved file differs from the bindings");
      if (result == kSettingsSaved) {
        for (std::int32_t first = 0; first < kKeyBindingCount; ++first) {
          for (std::int32_t second = first + 1; second < kKeyBindingCount; ++second) {
            if (gKeyBindings[first] == gKeyBindings[second]) fuzz_support::fail("two bindings share a key");
          }
        }
      }
      if (result != 0 && result != kSettingsSaved) fuzz_support::fail("the key configuration failed to save");
      break;
    }
  }
  fuzz_support::checkCanvasGuards();
  testing_support::resetToStartUpState();
  return 0;
}
