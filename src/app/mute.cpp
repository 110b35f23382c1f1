// Muting: the mixer's output is replaced by silence after everything is mixed, so the sound comes
// back at exactly the volumes the game set, with the music where it would have been.
#include "app/mute.h"

#include <SDL_mixer.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <iterator>

#include "app/settings.h"

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

namespace {

std::atomic<bool> Muted{false};  // read on the audio thread
bool Listening = false;
bool KeyActive = true;

#ifdef __EMSCRIPTEN__
// The page's Sound button shows and remembers the state, whoever changed it.
EM_JS(void, tellPageSound, (int on), {
  if (Module['onSoundChanged']) Module['onSoundChanged'](on !== 0);
});
#else
void tellPageSound(int) {}
#endif

// The mixer's format is signed 16-bit, whose silence is all zero bytes.
void SDLCALL silenceWhileMuted(void*, Uint8* stream, int length) {
  if (Muted.load()) SDL_memset(stream, 0, static_cast<size_t>(length));
}

// Sees every event as SDL queues it; the screens still get the key and, M being none of their
// keys, ignore it.
int SDLCALL noteMuteKey(void*, SDL_Event* event) {
  if (event->type != SDL_KEYDOWN || event->key.repeat != 0 || event->key.keysym.sym != kMuteKey || !KeyActive) return 1;
  if (std::find(std::begin(gKeyBindings), std::end(gKeyBindings), kMuteKey) != std::end(gKeyBindings)) return 1;
  setMuted(!isMuted());
  return 1;
}

}  // namespace

void startMuting(bool muted) {
  Muted.store(muted);
  Mix_SetPostMix(&silenceWhileMuted, nullptr);
  SDL_AddEventWatch(&noteMuteKey, nullptr);
  Listening = true;
  tellPageSound(muted ? 0 : 1);
}

void setMuteKeyActive(bool active) { KeyActive = active; }

void setMuted(bool muted) {
  Muted.store(muted);
  tellPageSound(muted ? 0 : 1);
}

bool isMuted() { return Muted.load(); }

void stopMuting() {
  if (!Listening) return;
  SDL_DelEventWatch(&noteMuteKey, nullptr);
  Mix_SetPostMix(nullptr, nullptr);
  Listening = false;
}

#ifdef __EMSCRIPTEN__
extern "C" void setSoundFromPage(std::int32_t on) { setMuted(on == 0); }
#endif
