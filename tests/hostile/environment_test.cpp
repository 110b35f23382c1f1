// Set-up without a display: the platform set-up fails with its message instead of running the
// game on SDL's off-screen driver, where nobody would see it. Each case runs in a child process
// with its own environment and its own SDL.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/platform.h"

namespace {

// Runs initializeSDL() in a child without DISPLAY, WAYLAND_DISPLAY and SDL_VIDEODRIVER; returns
// its result (or -1) and what it printed.
int initializeWithoutDisplay(std::string& printed) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return -1;
  fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipeEnds[1], STDOUT_FILENO);
    close(pipeEnds[0]);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
    const std::int32_t result = initializeSDL();
    fflush(stdout);
    _exit(result);
  }
  close(pipeEnds[1]);
  char buffer[512];
  ssize_t count = 0;
  while ((count = read(pipeEnds[0], buffer, sizeof(buffer))) > 0) printed.append(buffer, static_cast<std::size_t>(count));
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(EnvironmentTest, WithoutADisplayTheSetUpFailsWithItsMessage) {
  std::string printed;
  EXPECT_EQ(initializeWithoutDisplay(printed), 1);
  EXPECT_EQ(printed.rfind("SDL could not initialize! SDL Error: ", 0), 0u) << printed;
  EXPECT_GT(printed.size(), std::string("SDL could not initialize! SDL Error: \n").size()) << "no error text";
}

}  // namespace
