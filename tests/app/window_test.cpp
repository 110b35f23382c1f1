// The real window on an X server: its caption and size, and the fullscreen toggle's way back to
// the window's place, size and border.
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

std::string xWindowId() {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(gWindow, &info) || info.subsystem != SDL_SYSWM_X11) return "";
  return std::to_string(info.info.x11.window);
}

// What the X server sees of the window: one of xdotool's geometry fields ("Geometry", "Position").
std::string xGeometry(const std::string& field = "Geometry") {
  const std::string output = testing_support::commandOutput("xdotool getwindowgeometry " + xWindowId());
  std::smatch match;
  if (!std::regex_search(output, match, std::regex(field + R"(: (\d+[x,]\d+))"))) return output;
  return match[1];
}

// Whether the window asks for a border. Without a window manager SDL cannot tell X so (the hint's
// atom does not exist yet), so its own flag is what a window manager started later would get.
std::string border() { return (SDL_GetWindowFlags(gWindow) & SDL_WINDOW_BORDERLESS) != 0 ? "borderless" : "bordered"; }

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
  SDL_SetWindowPosition(gWindow, 60, 40);  // where the player put it
  pumpFor(300);
  EXPECT_EQ(xGeometry("Position"), "60,40");

  toggleFullscreen();
  pumpFor(500);
  EXPECT_EQ(gIsFullscreen, 1);
  // This X server has no window manager to carry out a fullscreen request: the window covers
  // the whole 1024 x 768 screen itself, without a border.
  EXPECT_EQ(xGeometry(), "1024x768");
  EXPECT_EQ(xGeometry("Position"), "0,0");
  EXPECT_EQ(border(), "borderless");
  EXPECT_EQ(sdlSize(), "1024x768");

  toggleFullscreen();
  pumpFor(500);
  EXPECT_EQ(gIsFullscreen, 0);
  EXPECT_EQ(SDL_GetWindowFlags(gWindow) & SDL_WINDOW_FULLSCREEN, 0u);
  EXPECT_EQ(sdlSize(), "800x600");
  EXPECT_EQ(xGeometry(), "800x600");
  // Back where it was, with its border for a window manager to draw.
  EXPECT_EQ(xGeometry("Position"), "60,40");
  EXPECT_EQ(border(), "bordered");
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
