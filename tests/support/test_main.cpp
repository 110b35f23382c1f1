// Every unit test runs without a display or a sound card, from a scratch run directory.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/harness.h"

int main(int argc, char** argv) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  testing::InitGoogleTest(&argc, argv);
  testing_support::enterFreshRunDirectory();
  const int result = RUN_ALL_TESTS();
  testing_support::removeRunDirectory();
  return result;
}
