// Checks that a music file is a Standard MIDI File the mixer can play to its end.
#include "app/midi_file.h"

#include <SDL.h>

#include <cstddef>
#include <cstdint>

namespace {

std::uint32_t readBigEndian(const std::uint8_t* bytes, std::int32_t count) {
  std::uint32_t value = 0;
  for (std::int32_t index = 0; index < count; ++index) value = value << 8 | bytes[index];
  return value;
}

// Reads a variable-length quantity of at most four bytes at `position`, which it advances.
bool readVariableLength(const std::uint8_t* bytes, std::size_t end, std::size_t& position, std::uint32_t& value) {
  value = 0;
  for (std::int32_t count = 0; count < 4 && position < end; ++count) {
    const std::uint8_t byte = bytes[position++];
    value = value << 7 | (byte & 0x7F);
    if ((byte & 0x80) == 0) return true;
  }
  return false;
}

// Walks one track's events; true when they end with the end-of-track event inside the chunk.
// `ticks` receives the track's length.
bool walkTrack(const std::uint8_t* bytes, std::size_t position, std::size_t end, std::uint64_t& ticks) {
  std::uint8_t runningStatus = 0;
  ticks = 0;
  while (position < end) {
    std::uint32_t delta = 0;
    if (!readVariableLength(bytes, end, position, delta) || position >= end) return false;
    ticks += delta;
    std::uint8_t status = bytes[position];
    if ((status & 0x80) != 0) {
      ++position;
    } else if (runningStatus != 0) {
      status = runningStatus;
    } else {
      return false;
    }
    std::uint32_t length = 0;
    if (status == 0xFF) {  // meta event: type, length, data
      if (position >= end) return false;
      const std::uint8_t type = bytes[position++];
      if (!readVariableLength(bytes, end, position, length) || length > end - position) return false;
      if (type == 0x2F) return true;
      runningStatus = 0;
    } else if (status == 0xF0 || status == 0xF7) {  // system exclusive: length, data
      if (!readVariableLength(bytes, end, position, length) || length > end - position) return false;
      runningStatus = 0;
    } else if (status > 0xF0) {
      return false;
    } else {  // channel message: program change and channel pressure carry one data byte
      runningStatus = status;
      length = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
      if (length > end - position) return false;
    }
    position += length;
  }
  return false;
}

}  // namespace

bool isPlayableMidi(const char* path) {
  std::size_t size = 0;
  auto* bytes = static_cast<std::uint8_t*>(SDL_LoadFile(path, &size));
  if (bytes == nullptr) return false;
  bool playable = size >= 14 && SDL_memcmp(bytes, "MThd", 4) == 0 && readBigEndian(bytes + 4, 4) >= 6 &&
                  readBigEndian(bytes + 12, 2) != 0;  // ticks per quarter note or per frame
  std::uint32_t tracksLeft = playable ? readBigEndian(bytes + 10, 2) : 0;
  playable = playable && tracksLeft != 0;
  std::uint64_t longestTrack = 0;
  std::size_t position = 8 + static_cast<std::size_t>(readBigEndian(bytes + 4, 4));
  while (playable && tracksLeft != 0) {
    if (size < 8 || position > size - 8) {
      playable = false;
      break;
    }
    const std::size_t length = readBigEndian(bytes + position + 4, 4);
    const std::size_t start = position + 8;
    if (length > size - start) {
      playable = false;
      break;
    }
    if (SDL_memcmp(bytes + position, "MTrk", 4) == 0) {  // chunks of other kinds are skipped
      std::uint64_t ticks = 0;
      playable = walkTrack(bytes, start, start + length, ticks);
      if (ticks > longestTrack) longestTrack = ticks;
      --tracksLeft;
    }
    position = start + length;
  }
  SDL_free(bytes);
  return playable && longestTrack > 0;
}
