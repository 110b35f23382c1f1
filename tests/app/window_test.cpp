// The real window on an X server: its caption and size, and the fullscreen toggle's way back.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "app/platform.h"
#include "support/harness.h"

// Last: the X11 headers define macros (None, Bool) that clash with names in the others.
#include <SDL_syswm.h>

namespace {

// Lets the X server and SDL settle a size change.
void pumpFor(Uint32 milliseconds) {
  const Uint32 end = SDL_GetTicks() + milliseconds;
  while (SDL_GetTicks() < end) {
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    SDL_Delay(10);
  }
}

std::string xGeometry() {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(gWindow, &info) || info.subsystem != SDL_SYSWM_X11) return "not an X window";
  const std::string output =
      testing_support::commandOutput("xdotool getwindowgeometry " + std::to_string(info.info.x11.window));
  std::smatch match;
  if (!std::regex_search(output, match, std::regex(R"(Geometry: (\d+x\d+))"))) return output;
  return match[1];
}

std::string sdlSize() {
  int width = 0;
  int height = 0;
  SDL_GetWindowSize(gWindow, &width, &height);
  return std::to_string(width) + "x" + std::to_string(height);
}

std::string rendererSize() {
  int width = 0;
  int height = 0;
  SDL_GetRendererOutputSize(gRenderer, &width, &height);
  return std::to_string(width) + "x" + std::to_string(height);
}

TEST(WindowTest, OpensCaptionedAndTogglesBackToItsSize) {
  if (!testing_support::runningUnderXvfb()) return;
  fflush(stdout);
  ::testing::internal::CaptureStdout();
  const std::int32_t status = initializeSDL();
  const std::string printed = ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(status, 0) << printed;
  EXPECT_EQ(printed, "");
  pumpFor(300);
  EXPECT_STREQ(SDL_GetWindowTitle(gWindow), "Zellworth");
  EXPECT_EQ(sdlSize(), "800x600");
  EXPECT_EQ(xGeometry(), "800x600");
  EXPECT_EQ(gIsFullscreen, 0);

  toggleFullscreen();
  pumpFor(500);
  EXPECT_EQ(gIsFullscreen, 1);
  // This X server has no window manager to carry out a fullscreen request: the window covers
  // the whole 1024 x 768 screen itself.
  EXPECT_EQ(xGeometry(), "1024x768");
  EXPECT_EQ(sdlSize(), "1024x768");

  toggleFullscreen();
  pumpFor(500);
  EXPECT_EQ(gIsFullscreen, 0);
  EXPECT_EQ(SDL_GetWindowFlags(gWindow) & SDL_WINDOW_FULLSCREEN, 0u);
  EXPECT_EQ(sdlSize(), "800x600");
  EXPECT_EQ(xGeometry(), "800x600");
  // Drawing coordinates are window pixels again.
  EXPECT_EQ(rendererSize(), "800x600");

  // And once more, as a player pressing the key again and again would.
  toggleFullscreen();
  pumpFor(300);
  toggleFullscreen();
  pumpFor(500);
  EXPECT_EQ(sdlSize(), "800x600");
  EXPECT_EQ(xGeometry(), "800x600");
  closeSDL();
}

}  // namespace
