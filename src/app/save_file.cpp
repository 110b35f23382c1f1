// Careful replacement and reading of a file in ../Common/, shared by the settings, the best scores
// and the replays.
#include "app/save_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

// The names are relative to the directory, which the replacement holds open from start to end.
struct Target {
  int directory;
  const char* fileName;
  const char* temporaryName;
};

// A fresh temporary file for writing, never one that was there before: a stale file, or a link
// planted at its name, is removed first, and O_EXCL|O_NOFOLLOW refuse whatever appears in
// between. It gets the mode of the file it is to replace (`old`, when there is one), since a
// rename installs the temporary file's mode along with its bytes.
FILE* createTemporaryFile(const Target& target, const struct stat* old) {
  unlinkat(target.directory, target.temporaryName, 0);
  const int descriptor =
      openat(target.directory, target.temporaryName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (descriptor < 0) return nullptr;
  FILE* file = nullptr;
  if (old == nullptr || fchmod(descriptor, old->st_mode & 07777) == 0) file = fdopen(descriptor, "wb");
  if (file == nullptr) {
    close(descriptor);
    unlinkat(target.directory, target.temporaryName, 0);
  }
  return file;
}

// Writes the contents, flushes and syncs them and closes `file` in every case; false when any of
// these failed.
bool writeAndClose(FILE* file, FileWriter write) {
  bool written = write(file);
  written = written && fflush(file) == 0;
  written = written && fsync(fileno(file)) == 0;
  const bool closed = fclose(file) == 0;
  return written && closed;
}

std::int32_t replaceInDirectory(const Target& target, FileWriter write) {
  // Renaming over a file needs only the directory's permission; a file that the player made
  // read-only is theirs to keep, refused like any file that cannot be opened for writing.
  // Anything but a regular file at the name (a FIFO, a device, a directory) is left alone too.
  struct stat old;
  const bool found = fstatat(target.directory, target.fileName, &old, 0) == 0;
  if (found && !S_ISREG(old.st_mode)) return kFileNotOpened;
  const bool replacing = found;
  if (replacing && faccessat(target.directory, target.fileName, W_OK, 0) != 0) return kFileNotOpened;

  FILE* file = createTemporaryFile(target, replacing ? &old : nullptr);
  if (file == nullptr) return kFileNotOpened;
  if (!writeAndClose(file, write)) {
    unlinkat(target.directory, target.temporaryName, 0);
    return kFileNotWritten;
  }
  // Fails when the file cannot be replaced, for instance by a directory of that name.
  if (renameat(target.directory, target.temporaryName, target.directory, target.fileName) != 0) {
    unlinkat(target.directory, target.temporaryName, 0);
    return kFileNotOpened;
  }
  // The new name reaches the disk only with the directory. A file system that does not sync
  // directories at all (EINVAL) leaves nothing more to do.
  if (fsync(target.directory) != 0 && errno != EINVAL) return kFileNotWritten;
  return kFileReplaced;
}

}  // namespace

std::int32_t replaceFile(const char* directory, const char* fileName, const char* temporaryName, FileWriter write) {
  const int descriptor = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return kFileNotOpened;
  const std::int32_t result = replaceInDirectory({descriptor, fileName, temporaryName}, write);
  close(descriptor);
  return result;
}

// Opened without blocking, so that a FIFO with no writer cannot hold the start; then only a
// regular file is read.
std::int32_t readSavedFile(const char* path, std::size_t limit, std::vector<unsigned char>& bytes) {
  bytes.clear();
  struct stat status;
  const int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (descriptor < 0) return errno == ENOENT ? kFileMissing : kFileUnreadable;
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(descriptor);
    return S_ISDIR(status.st_mode) ? kFileUnreadable : kFileNotRegular;
  }
  bytes.resize(limit + 1);
  std::size_t size = 0;
  while (size < bytes.size()) {
    const ssize_t got = read(descriptor, bytes.data() + size, bytes.size() - size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      close(descriptor);
      bytes.clear();
      return kFileUnreadable;
    }
    if (got == 0) break;
    size += static_cast<std::size_t>(got);
  }
  close(descriptor);
  bytes.resize(size);
  return kFileRead;
}
