// Drives a screen's loop frame by frame through the events it polls.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <functional>
#include <utility>

namespace testing_support {

// Runs a script at the start of every frame of a screen's loop. SDL marks the end of each polling
// cycle by pushing a sentinel event, and the screens empty the queue exactly once per frame, so a
// watch on that sentinel sees frame 0 (the first cycle: for play(), the events dropped when the
// game starts), then frames 1, 2, ... The script sees the state left by the previous frame and
// the picture it presented, and the events it pushes are handled in this frame.
class FrameDriver {
 public:
  using Script = std::function<void(std::int32_t frame)>;

  explicit FrameDriver(Script script) : script_(std::move(script)) { SDL_AddEventWatch(&FrameDriver::watch, this); }
  ~FrameDriver() { SDL_DelEventWatch(&FrameDriver::watch, this); }
  FrameDriver(const FrameDriver&) = delete;
  FrameDriver& operator=(const FrameDriver&) = delete;

 private:
  static int SDLCALL watch(void* self, SDL_Event* event) {
    if (event->type != SDL_POLLSENTINEL) return 1;
    auto* driver = static_cast<FrameDriver*>(self);
    driver->script_(++driver->frame_);
    return 1;
  }

  Script script_;
  std::int32_t frame_ = -1;
};

}  // namespace testing_support
