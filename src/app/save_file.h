// Careful replacement of a file the game keeps in ../Common/: a fresh temporary file, a rename
// over the old one, the directory synced.
#pragma once

#include <cstdint>
#include <cstdio>

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
