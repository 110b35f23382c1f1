// Fuzz target: any bytes as the settings file. The loaded bindings must be exactly the file's
// whole records over the defaults, and the key configuration screen at every step and the title
// screen must draw their names without writing outside the window.
#include <SDL.h>

#include <cstring>

#include "app/platform.h"
#include "app/settings.h"
#include "fuzz_support.h"
#include "screens/keyconfig.h"
#include "screens/title.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::setUpOnce();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_support::setUpOnce();
  fuzz_support::restoreDefaultBindings();
  fuzz_support::writeSettingsFile(data, size);
  loadSettings();

  for (std::int32_t index = 0; index < kKeyBindingCount; ++index) {
    SDL_Keycode expected = kDefaultKeyBindings[index];
    const std::size_t offset = static_cast<std::size_t>(index) * 4;
    if (offset + 4 <= size) {
      const std::uint32_t bits = static_cast<std::uint32_t>(data[offset]) |
                                 static_cast<std::uint32_t>(data[offset + 1]) << 8 |
                                 static_cast<std::uint32_t>(data[offset + 2]) << 16 |
                                 static_cast<std::uint32_t>(data[offset + 3]) << 24;
      expected = static_cast<SDL_Keycode>(static_cast<std::int32_t>(bits));
    }
    if (gKeyBindings[index] != expected) fuzz_support::fail("a binding differs from its record in the file");
  }

  for (std::int32_t step = kFirstCaptureStep; step >= kFinalKeyStep; --step) {
    fuzz_support::clearCanvas();
    renderSettings(step);
    fuzz_support::checkCanvasGuards();
  }

  // The title screen draws one frame with the hint line, then takes the quit.
  fuzz_support::drainEvents();
  fuzz_support::pushQuit();
  if (displayTitleScreen() != kTitleQuit) fuzz_support::fail("the title screen did not take the quit");
  fuzz_support::checkCanvasGuards();
  return 0;
}
