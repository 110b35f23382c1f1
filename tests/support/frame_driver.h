// Drives a screen's loop frame by frame through the events it polls.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <functional>
#include <utility>

namespace testing_support {

// Runs a script at the start of every frame. SDL ends each polling cycle with a sentinel event and
// the screens empty the queue once a frame, so a watch on it sees frame 0 (for play(), the events
// dropped as the game starts), then 1, 2, ...; the script sees the state and the picture the
// previous frame left, and what it pushes is handled in this frame.
class FrameDriver {
 public:
  explicit FrameDriver(std::function<void(std::int32_t)> script) : script_(std::move(script)) {
    SDL_AddEventWatch(&FrameDriver::watch, this);
  }
  ~FrameDriver() { SDL_DelEventWatch(&FrameDriver::watch, this); }
  FrameDriver(const FrameDriver&) = delete;
  FrameDriver& operator=(const FrameDriver&) = delete;

 private:
  static int SDLCALL watch(void* self, SDL_Event* event) {
    auto* driver = static_cast<FrameDriver*>(self);
    if (event->type == SDL_POLLSENTINEL) driver->script_(++driver->frame_);
    return 1;
  }
  std::function<void(std::int32_t)> script_;
  std::int32_t frame_ = -1;
};

}  // namespace testing_support
