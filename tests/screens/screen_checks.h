// Checks shared by the screen tests: counting menu sounds, events that arrive while a screen
// runs, and comparing the canvas with glyph cells of the committed font sheet.
#pragma once

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/harness.h"

namespace screen_checks {

// Counts the sounds started since reset(): those still playing plus those that have finished.
class SoundCounter {
 public:
  void reset() {
    Mix_ChannelFinished(&SoundCounter::onFinished);
    Mix_HaltChannel(-1);
    finished() = 0;
  }
  std::int32_t started() const {
    const std::int32_t done = finished();
    return Mix_Playing(-1) + done;
  }

 private:
  // Written by the mixer's audio thread.
  static std::atomic<std::int32_t>& finished() {
    static std::atomic<std::int32_t> count{0};
    return count;
  }
  static void onFinished(int) { ++finished(); }
};

// An event pushed from a timer thread while the screen under test runs.
struct LaterEvent {
  Uint32 type;
  SDL_Keycode key;
};

inline void pushEvent(const LaterEvent& event) {
  if (event.type == SDL_QUIT) {
    testing_support::pushQuit();
  } else if (event.type == SDL_KEYDOWN) {
    testing_support::pushKeyDown(event.key);
  } else {
    testing_support::pushKeyUp(event.key);
  }
}

inline Uint32 pushLaterEvent(Uint32, void* param) {
  pushEvent(*static_cast<const LaterEvent*>(param));
  return 0;
}

// Pushes the event once after the delay; the event must outlive the timer (make it static).
inline SDL_TimerID pushLater(Uint32 delayMs, const LaterEvent& event) {
  return SDL_AddTimer(delayMs, &pushLaterEvent, const_cast<LaterEvent*>(&event));
}

// Feeds a screen once it has taken everything queued so far. start() queues a marker event
// (which the screens ignore) behind the events already pushed; a timer watches for the screen
// to take it from the queue and then pushes `events` one per tick, repeating the last one until
// the feeder is destroyed (which empties the queue), so a screen that is slower than expected still gets its event.
// With a canvas to watch, the canvas is copied on every tick until the marker is taken: the last
// copy shows what the screen had presented just before it read its queue.
class QueueFeeder {
 public:
  explicit QueueFeeder(std::vector<LaterEvent> events, const SDL_Surface* watched = nullptr)
      : events_(std::move(events)), watched_(watched) {}
  ~QueueFeeder() {
    if (timer_ != 0) SDL_RemoveTimer(timer_);
    SDL_Delay(3 * kTick);  // a tick already running finishes
    // What the screen left of the repeated events must not reach the next one.
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  }
  QueueFeeder(const QueueFeeder&) = delete;
  QueueFeeder& operator=(const QueueFeeder&) = delete;

  void start() {
    SDL_Event marker{};
    marker.type = SDL_USEREVENT;
    SDL_PushEvent(&marker);
    timer_ = SDL_AddTimer(kTick, &QueueFeeder::tick, this);
  }

  // The copy of the watched canvas, as a surface that lives as long as the feeder.
  const SDL_Surface* lastCopy() {
    if (copy_.empty() || watched_ == nullptr) return nullptr;
    copySurface_.reset(SDL_CreateRGBSurfaceWithFormatFrom(copy_.data(), watched_->w, watched_->h, 32, watched_->pitch,
                                                          watched_->format->format));
    return copySurface_.get();
  }

 private:
  static constexpr Uint32 kTick = 20;  // milliseconds

  static Uint32 tick(Uint32 interval, void* param) {
    auto* self = static_cast<QueueFeeder*>(param);
    if (!self->markerTaken_) {
      if (SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_USEREVENT, SDL_USEREVENT) > 0) {
        if (self->watched_ != nullptr) {
          const auto* pixels = static_cast<const std::uint8_t*>(self->watched_->pixels);
          self->copy_.assign(pixels, pixels + self->watched_->pitch * self->watched_->h);
        }
        return interval;
      }
      self->markerTaken_ = true;
    }
    pushEvent(self->events_[self->next_]);
    if (self->next_ + 1 < self->events_.size()) ++self->next_;
    return interval;
  }

  struct SurfaceFree {
    void operator()(SDL_Surface* surface) const { SDL_FreeSurface(surface); }
  };

  std::vector<LaterEvent> events_;
  const SDL_Surface* watched_;
  SDL_TimerID timer_ = 0;
  bool markerTaken_ = false;
  std::size_t next_ = 0;
  std::vector<std::uint8_t> copy_;
  std::unique_ptr<SDL_Surface, SurfaceFree> copySurface_;
};

// A committed sheet as an ARGB8888 surface.
inline SDL_Surface* loadSheet(const std::string& fileName) {
  SDL_Surface* loaded = IMG_Load(testing_support::committedAssetPath(fileName).c_str());
  if (loaded == nullptr) return nullptr;
  SDL_Surface* converted = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(loaded);
  return converted;
}

inline SDL_Color surfacePixel(const SDL_Surface* surface, std::int32_t x, std::int32_t y) {
  const auto* row = static_cast<const std::uint8_t*>(surface->pixels) + y * surface->pitch;
  Uint32 value = 0;
  std::memcpy(&value, row + 4 * x, sizeof value);
  SDL_Color color{};
  SDL_GetRGBA(value, surface->format, &color.r, &color.g, &color.b, &color.a);
  return color;
}

inline bool sameColour(SDL_Color a, SDL_Color b) { return a.r == b.r && a.g == b.g && a.b == b.b; }
inline bool isMagenta(SDL_Color c) { return c.r == 255 && c.g == 0 && c.b == 255; }

// The cell (16 x row + column) of a character in every glyph set of the font sheet; -1 if none.
inline std::int32_t fontCell(char character) {
  static const char kPunctuation[] = ",;|/\\'\"?!+-*=()_<>[]#$^";
  if (character >= '0' && character <= '9') return character - '0';
  if (character >= 'A' && character <= 'Z') return 10 + character - 'A';
  if (character >= 'a' && character <= 'z') return 36 + character - 'a';
  if (character == '.') return 62;
  if (character == ':') return 63;
  for (std::int32_t i = 0; kPunctuation[i] != '\0'; ++i) {
    if (kPunctuation[i] == character) return 64 + i;
  }
  return -1;
}

class FontSheet {
 public:
  FontSheet() : sheet_(loadSheet("Font.png")) {}
  ~FontSheet() { SDL_FreeSurface(sheet_); }
  FontSheet(const FontSheet&) = delete;
  FontSheet& operator=(const FontSheet&) = delete;

  bool loaded() const { return sheet_ != nullptr; }

  // True when every opaque pixel of the character's cell appears unchanged on `canvas` with the
  // cell's top-left corner at (x, y); transparent pixels of the cell are not compared.
  bool glyphAt(const SDL_Surface* canvas, std::int32_t x, std::int32_t y, char character,
               std::int32_t style) const {
    const std::int32_t cell = fontCell(character);
    if (cell < 0 || sheet_ == nullptr) return false;
    const std::int32_t cellX = 10 * (cell % 16);
    const std::int32_t cellY = 15 * (cell / 16) + 90 * style;
    std::int32_t compared = 0;
    for (std::int32_t dy = 0; dy < 15; ++dy) {
      for (std::int32_t dx = 0; dx < 10; ++dx) {
        const SDL_Color glyph = surfacePixel(sheet_, cellX + dx, cellY + dy);
        if (isMagenta(glyph) || glyph.a != 255) continue;
        ++compared;
        if (!sameColour(glyph, surfacePixel(canvas, x + dx, y + dy))) return false;
      }
    }
    return compared > 0;
  }

  // Checks a whole line of text drawn from (x, y) with an advance of 10 pixels; spaces are skipped.
  ::testing::AssertionResult textAt(const SDL_Surface* canvas, std::int32_t x, std::int32_t y,
                                    const std::string& text, std::int32_t style) const {
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == ' ') continue;
      const std::int32_t glyphX = x + 10 * static_cast<std::int32_t>(i);
      if (!glyphAt(canvas, glyphX, y, text[i], style)) {
        return ::testing::AssertionFailure()
               << "glyph '" << text[i] << "' of \"" << text << "\" missing at (" << glyphX << ", " << y << ")";
      }
    }
    return ::testing::AssertionSuccess();
  }

 private:
  SDL_Surface* sheet_;
};

// True when every pixel of the rectangle has the colour.
inline bool areaIs(const SDL_Surface* canvas, const SDL_Rect& area, SDL_Color colour) {
  for (std::int32_t y = area.y; y < area.y + area.h; ++y) {
    for (std::int32_t x = area.x; x < area.x + area.w; ++x) {
      if (!sameColour(surfacePixel(canvas, x, y), colour)) return false;
    }
  }
  return true;
}

}  // namespace screen_checks
