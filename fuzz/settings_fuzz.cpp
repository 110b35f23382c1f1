// Fuzz target: any bytes as the settings file. The loaded bindings must be exactly the file's
// whole records over the defaults, and the key configuration screen at every step and the title
// screen must draw their names without writing outside the window.
#include <SDL.h>

#include "app/platform.h"
#include "app/settings.h"
#include "fuzz_support.h"
#include "screens/keyconfig.h"
#include "screens/title.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_support::setUpOnce();
  testing_support::resetToStartUpState();
  testing_support::writeFileBytes(kSettingsPath, {data, data + size});
  loadSettings();

  fuzz_support::ByteReader records(data, size);
  for (std::int32_t index = 0; index < kKeyBindingCount; ++index) {
    const SDL_Keycode record = records.takeInt32();
    const bool whole = static_cast<std::size_t>(index) * 4 + 4 <= size;
    if (gKeyBindings[index] != (whole ? record : kDefaultKeyBindings[index])) fuzz_support::fail("a binding differs from its record");
  }

  for (std::int32_t step = kFirstCaptureStep; step >= kFinalKeyStep; --step) {
    fuzz_support::clearCanvas();
    renderSettings(step);
    fuzz_support::checkCanvasGuards();
  }

  // The title screen draws one frame with the hint line, then takes the quit.
  testing_support::drainEvents();
  testing_support::pushQuit();
  if (displayTitleScreen() != kTitleQuit) fuzz_support::fail("the title screen did not take the quit");
  fuzz_support::checkCanvasGuards();
  return 0;
}
