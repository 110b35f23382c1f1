// A save of the key bindings or of the best scores that fails, or is cut off as by a kill, at any of
// the C library calls it makes leaves its file as it was or whole with the new contents, and the
// other file untouched. The calls pass through wrappers (link option --wrap) that make the n-th
// call fail or end the process just before or just after it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include "app/scores.h"
#include "app/settings.h"
#include "support/harness.h"

namespace {

enum Fault { kNone, kFail, kDieBefore, kDieAfter };
Fault gFault = kNone;
int gFaultCall = -1;          // the wrapped call, counted from 0, that the fault hits
int gCalls = 0;               // wrapped calls since the fault was armed
int gRenameCall = -1;         // the call that was the last rename
int gDirectorySyncCall = -1;  // the call that was the last fsync of a directory
int gCreateFlags = 0;         // the flags of the last open that may create a file
constexpr int kDiedInSave = 86;

void arm(Fault fault, int call) {
  gFault = fault;
  gFaultCall = call;
  gCalls = 0;
}

bool faultHere() {  // true when this call is to fail
  if (gFault == kNone || gCalls++ != gFaultCall) return false;
  if (gFault == kDieBefore) _exit(kDiedInSave);
  return gFault == kFail;
}

void dieAfterIfArmed() {
  if (gFault == kDieAfter && gCalls - 1 == gFaultCall) _exit(kDiedInSave);
}

void noteDirectorySync(int descriptor) {
  struct stat status;
  if (fstat(descriptor, &status) == 0 && S_ISDIR(status.st_mode)) gDirectorySyncCall = gCalls;
}

}  // namespace

#define WRAP(type, name, failure, error, before, params, args) \
  type __real_##name params;                                    \
  type __wrap_##name params {                                   \
    before;                                                     \
    if (faultHere()) {                                          \
      errno = error;                                            \
      return failure;                                           \
    }                                                           \
    type result = __real_##name args;                           \
    dieAfterIfArmed();                                          \
    return result;                                              \
  }
#define CREATION_MODE                                                                                    \
  va_list more;                                                                                          \
  va_start(more, flags);                                                                                 \
  const mode_t mode = (flags & O_CREAT) != 0 ? static_cast<mode_t>(va_arg(more, unsigned)) : 0;          \
  va_end(more);                                                                                          \
  if ((flags & O_CREAT) != 0) gCreateFlags = flags

extern "C" {
WRAP(int, open, -1, EACCES, CREATION_MODE, (const char* path, int flags, ...), (path, flags, mode))
WRAP(int, openat, -1, ENOSPC, CREATION_MODE, (int at, const char* path, int flags, ...), (at, path, flags, mode))
WRAP(int, faccessat, -1, EACCES, , (int at, const char* path, int mode, int flags), (at, path, mode, flags))
WRAP(int, fchmod, -1, EPERM, , (int descriptor, mode_t mode), (descriptor, mode))
WRAP(FILE*, fdopen, nullptr, ENOMEM, , (int descriptor, const char* mode), (descriptor, mode))
WRAP(size_t, fwrite, 0, ENOSPC, , (const void* data, size_t size, size_t count, FILE* file), (data, size, count, file))
WRAP(int, fflush, EOF, ENOSPC, , (FILE * file), (file))
WRAP(int, fsync, -1, EIO, noteDirectorySync(descriptor), (int descriptor), (descriptor))
// A failed close still releases the stream.
WRAP(int, fclose, (__real_fclose(file), EOF), EIO, , (FILE * file), (file))
WRAP(int, renameat, -1, EXDEV, gRenameCall = gCalls, (int from, const char* old, int to, const char* name),
     (from, old, to, name))
}

namespace {

const SDL_Keycode kOldBindings[kKeyBindingCount] = {'w', 's', 'a', 'd', ' ', SDLK_RETURN, SDLK_ESCAPE, SDLK_F11};

// The old file saved, the new contents in memory: other bindings, or an eleventh score that
// pushes the tenth and its replay out of a full table whose entries each have a replay.
void putOldBindingsBack() {
  std::copy(kOldBindings, kOldBindings + kKeyBindingCount, gKeyBindings);
  ASSERT_EQ(saveSettings(), kSettingsSaved);
  std::copy(kDefaultKeyBindings, kDefaultKeyBindings + kKeyBindingCount, gKeyBindings);
}
void putOldTableBack() {
  gBestScoreCount = 0;
  for (std::int32_t date = 1; date <= kBestScoreCapacity; ++date) enterScore(1000 - date, date, std::vector<std::uint8_t>(date * 100, date));
  ASSERT_EQ(saveScores(), kScoresSaved);
  enterScore(3000, 11, std::vector<std::uint8_t>(1100, 11));
}

TEST(SaveFaultTest, AFailureOrACutAtAnyCallKeepsTheOldFileOrTheWholeNewOneAndTheOther) {
  // The calls: the directory opened, the old file's write access, the file created, its mode, its
  // stream, the writes (one per binding, one for the table), flush, sync, close, rename and the
  // directory's sync.
  struct SavedFile {
    const char* path;
    std::int32_t (*save)();
    std::int32_t saved, failed;
    const char *openError, *writeError;
    void (*putOldBack)();
    int calls;
  };
  const SavedFile files[] = {
      {kSettingsPath, saveSettings, kSettingsSaved, kSettingsSaveFailed, "Error opening file Settings.bin",
       "Error writing file Settings.bin", putOldBindingsBack, 18},
      {kScoresPath, saveScores, kScoresSaved, kScoresSaveFailed,
       "Error opening file Scores.bin; the best scores are not saved.\n",
       "Error writing file Scores.bin; the best scores are not saved.\n", putOldTableBack, 11}};
  testing_support::enterFreshRunDirectory();
  putOldBindingsBack();
  putOldTableBack();
  for (const SavedFile& file : files) {
    const SavedFile& other = files[&file == files ? 1 : 0];
    const std::string temporary = std::string(file.path) + ".tmp";
    const std::vector<std::uint8_t> otherBytes = testing_support::readFileBytes(other.path);
    file.putOldBack();
    const std::vector<std::uint8_t> oldBytes = testing_support::readFileBytes(file.path);
    chmod(file.path, 0604);  // the player's mode, which the new file keeps
    arm(kFail, 1 << 30);
    ASSERT_EQ(file.save(), file.saved);
    const int calls = gCalls, renameCall = gRenameCall;
    arm(kNone, -1);
    const std::vector<std::uint8_t> newBytes = testing_support::readFileBytes(file.path);
    EXPECT_NE(newBytes, oldBytes);
    EXPECT_EQ(calls, file.calls) << file.path;
    struct stat status;
    EXPECT_EQ(stat(file.path, &status) == 0 ? status.st_mode & 07777 : 0, 0604u);
    EXPECT_EQ(renameCall, calls - 2);
    EXPECT_EQ(gDirectorySyncCall, calls - 1);
    // The temporary file is always a new one: neither a file nor a link that someone put there.
    EXPECT_EQ(gCreateFlags & (O_CREAT | O_EXCL | O_NOFOLLOW), O_CREAT | O_EXCL | O_NOFOLLOW);
    file.putOldBack();

    for (const Fault fault : {kFail, kDieBefore, kDieAfter}) {
      for (int call = 0; call < calls; ++call) {
        SCOPED_TRACE(std::string(file.path) + ": fault " + std::to_string(fault) + " at call " + std::to_string(call));
        int status = 0;
        const std::string printed = testing_support::printedBy([&] {
          const pid_t child = fork();
          if (child == 0) {
            arm(fault, call);
            const std::int32_t result = file.save();
            fflush(stdout);
            _exit(result);
          }
          waitpid(child, &status, 0);
        });
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), fault == kFail ? file.failed : kDiedInSave);
        if (fault == kFail) {  // five calls open the directory, the file and its stream before the writes
          EXPECT_EQ(printed, call >= 5 && call != renameCall ? file.writeError : file.openError);
          EXPECT_EQ(access(temporary.c_str(), F_OK), -1);
        }
        const bool renamed = call > renameCall || (call == renameCall && fault == kDieAfter);
        EXPECT_EQ(testing_support::readFileBytes(file.path), renamed ? newBytes : oldBytes);
        EXPECT_EQ(testing_support::readFileBytes(other.path), otherBytes);
        file.putOldBack();  // which must replace what a cut left at the temporary name
        EXPECT_EQ(access(temporary.c_str(), F_OK), -1);
      }
    }
    // Anything but a regular file at the name (here a FIFO) is left alone.
    remove(file.path);
    ASSERT_EQ(mkfifo(file.path, 0600), 0);
    EXPECT_EQ(testing_support::printedBy([&] { EXPECT_EQ(file.save(), file.failed); }), file.openError);
    struct stat fifo;
    EXPECT_TRUE(lstat(file.path, &fifo) == 0 && S_ISFIFO(fifo.st_mode));
    remove(file.path);
    file.putOldBack();
  }
}

}  // namespace
