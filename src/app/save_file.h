// Careful replacement of a file the game keeps in ../Common/: a fresh temporary file, a rename
// over the old one, the directory synced. Careful reading of the game's files and replays: only
// a regular file is read, so that a FIFO or a device at its path never blocks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

// Results of replaceFile.
constexpr std::int32_t kFileReplaced = 0;
constexpr std::int32_t kFileNotOpened = 1;   // no directory, a file the player cannot write, no rename
constexpr std::int32_t kFileNotWritten = 2;  // a write, the flush, a sync or the close failed

// Writes the file's new contents to `file`; false when a write failed. Stops at the first failure.
using FileWriter = bool (*)(FILE* file);

// Replaces `fileName` in `directory` with what `write` produces, through `temporaryName` in the
// same directory. A failed or interrupted replacement leaves the old file as it was; the new
// file takes the old file's mode. A file the player cannot write is left alone (kFileNotOpened).
std::int32_t replaceFile(const char* directory, const char* fileName, const char* temporaryName, FileWriter write);

// Results of readSavedFile.
constexpr std::int32_t kFileRead = 0;
constexpr std::int32_t kFileMissing = 1;
constexpr std::int32_t kFileNotRegular = 2;  // a FIFO, a device, a socket: never read
constexpr std::int32_t kFileUnreadable = 3;  // no permission, a directory, a failed read

// Reads a regular file, at most `limit` bytes and one more, so that a longer file is told apart
// from a whole one.
std::int32_t readSavedFile(const char* path, std::size_t limit, std::vector<unsigned char>& bytes);
