// A save of the key bindings or of the best scores that fails or is cut off at any point leaves
// its file either as it was or complete with the new contents, never anything between, and the
// other file untouched. The C library
// calls the save makes (open, openat, fchmod, fdopen, fwrite, fflush, fsync, fclose, renameat)
// pass through wrappers (link option --wrap) that can make the n-th call fail, or end the
// process just before or just after it, as a kill or a crash would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/scores.h"
#include "app/settings.h"
#include "support/harness.h"

namespace {

enum class Fault { kNone, kFail, kDieBefore, kDieAfter };

Fault gFault = Fault::kNone;
int gFaultCall = -1;  // the n-th wrapped call, from 0, that the fault hits
int gCalls = 0;       // wrapped calls made since the fault was armed
int gRenameCall = -1; // the wrapped call that was the last rename
int gDirectorySyncCall = -1;  // the wrapped call that was the last fsync of a directory
int gCreateFlags = 0;         // the flags of the last open that may create a file
constexpr int kDiedInSave = 86;

void arm(Fault fault, int call) {
  gFault = fault;
  gFaultCall = call;
  gCalls = 0;
}

// What the wrapper of one call does: true when that call is to fail.
bool faultHere() {
  if (gFault == Fault::kNone) return false;
  const int call = gCalls++;
  if (call != gFaultCall) return false;
  if (gFault == Fault::kDieBefore) _exit(kDiedInSave);
  return gFault == Fault::kFail;
}

void dieAfterIfArmed() {
  if (gFault == Fault::kDieAfter && gCalls - 1 == gFaultCall) _exit(kDiedInSave);
}

}  // namespace

extern "C" {
int __real_open(const char* path, int flags, ...);
int __real_openat(int directory, const char* path, int flags, ...);
int __real_fchmod(int descriptor, mode_t mode);
FILE* __real_fdopen(int descriptor, const char* mode);
size_t __real_fwrite(const void* data, size_t size, size_t count, FILE* file);
int __real_fflush(FILE* file);
int __real_fsync(int descriptor);
int __real_fclose(FILE* file);
int __real_renameat(int fromDirectory, const char* from, int toDirectory, const char* to);

int __wrap_open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = (flags & O_CREAT) != 0 ? static_cast<mode_t>(va_arg(arguments, unsigned)) : 0;
  va_end(arguments);
  if (faultHere()) {
    errno = EACCES;
    return -1;
  }
  const int descriptor = __real_open(path, flags, mode);
  dieAfterIfArmed();
  return descriptor;
}
int __wrap_openat(int directory, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = (flags & O_CREAT) != 0 ? static_cast<mode_t>(va_arg(arguments, unsigned)) : 0;
  va_end(arguments);
  if ((flags & O_CREAT) != 0) gCreateFlags = flags;
  if (faultHere()) {
    errno = ENOSPC;
    return -1;
  }
  const int descriptor = __real_openat(directory, path, flags, mode);
  dieAfterIfArmed();
  return descriptor;
}
int __wrap_fchmod(int descriptor, mode_t mode) {
  if (faultHere()) {
    errno = EPERM;
    return -1;
  }
  const int result = __real_fchmod(descriptor, mode);
  dieAfterIfArmed();
  return result;
}
FILE* __wrap_fdopen(int descriptor, const char* mode) {
  if (faultHere()) {
    errno = ENOMEM;
    return nullptr;
  }
  FILE* file = __real_fdopen(descriptor, mode);
  dieAfterIfArmed();
  return file;
}
size_t __wrap_fwrite(const void* data, size_t size, size_t count, FILE* file) {
  if (faultHere()) {
    errno = ENOSPC;
    return 0;
  }
  const size_t written = __real_fwrite(data, size, count, file);
  dieAfterIfArmed();
  return written;
}
int __wrap_fflush(FILE* file) {
  if (faultHere()) {
    errno = ENOSPC;
    return EOF;
  }
  const int result = __real_fflush(file);
  dieAfterIfArmed();
  return result;
}
int __wrap_fsync(int descriptor) {
  struct stat status;
  if (fstat(descriptor, &status) == 0 && S_ISDIR(status.st_mode)) gDirectorySyncCall = gCalls;
  if (faultHere()) {
    errno = EIO;
    return -1;
  }
  const int result = __real_fsync(descriptor);
  dieAfterIfArmed();
  return result;
}
int __wrap_fclose(FILE* file) {
  if (faultHere()) {
    __real_fclose(file);  // a failed close still releases the stream
    errno = EIO;
    return EOF;
  }
  const int result = __real_fclose(file);
  dieAfterIfArmed();
  return result;
}
int __wrap_renameat(int fromDirectory, const char* from, int toDirectory, const char* to) {
  gRenameCall = gCalls;
  if (faultHere()) {
    errno = EXDEV;
    return -1;
  }
  const int result = __real_renameat(fromDirectory, from, toDirectory, to);
  dieAfterIfArmed();
  return result;
}
}

namespace {

std::vector<unsigned char> bytesOf(const SDL_Keycode (&bindings)[kKeyBindingCount]) {
  std::vector<unsigned char> bytes;
  for (const SDL_Keycode keycode : bindings) {
    for (int byte = 0; byte < 4; ++byte) bytes.push_back(static_cast<unsigned char>(static_cast<std::uint32_t>(keycode) >> (8 * byte)));
  }
  return bytes;
}

std::vector<unsigned char> settingsFile() {
  std::ifstream file(kSettingsPath, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool fileExists(const char* path) { return access(path, F_OK) == 0; }

const SDL_Keycode kOldBindings[kKeyBindingCount] = {'w', 's', 'a', 'd', ' ', SDLK_RETURN, SDLK_ESCAPE, SDLK_F11};
const SDL_Keycode kNewBindings[kKeyBindingCount] = {SDLK_UP,    SDLK_DOWN,   SDLK_LEFT,      SDLK_RIGHT,
                                                   SDLK_RCTRL, SDLK_RETURN, SDLK_BACKSPACE, SDLK_F4};
constexpr const char* kTemporaryPath = "../Common/Settings.bin.tmp";

class SaveFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::enterFreshRunDirectory();
    std::copy(std::begin(kOldBindings), std::end(kOldBindings), gKeyBindings);
    arm(Fault::kNone, -1);
    ASSERT_EQ(saveSettings(), kSettingsSaved);
    ASSERT_EQ(settingsFile(), bytesOf(kOldBindings));
    std::copy(std::begin(kNewBindings), std::end(kNewBindings), gKeyBindings);
  }
  void TearDown() override { arm(Fault::kNone, -1); }

  // Counts the wrapped calls that a save without faults makes, and finds its rename and its sync
  // of the directory among them.
  void countCallsOfOneSave() {
    arm(Fault::kFail, 1 << 30);
    EXPECT_EQ(saveSettings(), kSettingsSaved);
    calls = gCalls;
    renameCall = gRenameCall;
    directorySyncCall = gDirectorySyncCall;
    arm(Fault::kNone, -1);
    std::copy(std::begin(kOldBindings), std::end(kOldBindings), gKeyBindings);
    EXPECT_EQ(saveSettings(), kSettingsSaved);
    std::copy(std::begin(kNewBindings), std::end(kNewBindings), gKeyBindings);
  }
  int calls = 0;
  int renameCall = -1;
  int directorySyncCall = -1;
};

TEST_F(SaveFaultTest, TheSaveWritesAFreshFileAndSyncsTheDirectoryAfterTheRenameLast) {
  countCallsOfOneSave();
  // open the directory, create, mode, stream, eight records, flush, sync, close, rename, sync
  EXPECT_EQ(calls, 17);
  EXPECT_EQ(renameCall, calls - 2);
  EXPECT_EQ(directorySyncCall, calls - 1);
  // The temporary file is always a new one: neither a file nor a link that someone put there.
  const int required = O_CREAT | O_EXCL | O_NOFOLLOW;
  EXPECT_EQ(gCreateFlags & required, required) << std::hex << gCreateFlags;
}

TEST_F(SaveFaultTest, AFailureAtAnyCallIsReportedAndLeavesTheOldFileUntilTheRename) {
  countCallsOfOneSave();
  ASSERT_GE(renameCall, 0);
  for (int call = 0; call < calls; ++call) {
    SCOPED_TRACE("failing call " + std::to_string(call));
    testing::internal::CaptureStdout();
    arm(Fault::kFail, call);
    const std::int32_t result = saveSettings();
    arm(Fault::kNone, -1);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, kSettingsSaveFailed);
    EXPECT_NE(printed.find("Settings.bin"), std::string::npos) << printed;
    EXPECT_EQ(settingsFile(), call > renameCall ? bytesOf(kNewBindings) : bytesOf(kOldBindings));
    EXPECT_FALSE(fileExists(kTemporaryPath));
    if (call > renameCall) {
      std::copy(std::begin(kOldBindings), std::end(kOldBindings), gKeyBindings);
      ASSERT_EQ(saveSettings(), kSettingsSaved);
      std::copy(std::begin(kNewBindings), std::end(kNewBindings), gKeyBindings);
    }
  }
}

// A cut leaves the temporary file behind; the next save, which puts the old file back, must
// replace it.
TEST_F(SaveFaultTest, ASaveCutOffBeforeOrAfterAnyCallLeavesTheOldOrTheNewCompleteFile) {
  countCallsOfOneSave();
  ASSERT_GE(renameCall, 0);
  int oldFiles = 0;
  int newFiles = 0;
  for (const Fault fault : {Fault::kDieBefore, Fault::kDieAfter}) {
    for (int call = 0; call < calls; ++call) {
      SCOPED_TRACE((fault == Fault::kDieBefore ? "dying before call " : "dying after call ") + std::to_string(call));
      fflush(nullptr);
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        arm(fault, call);
        saveSettings();
        _exit(0);
      }
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFEXITED(status));
      EXPECT_EQ(WEXITSTATUS(status), kDiedInSave);
      const std::vector<unsigned char> bytes = settingsFile();
      const bool renamed = call > renameCall || (call == renameCall && fault == Fault::kDieAfter);
      EXPECT_EQ(bytes, renamed ? bytesOf(kNewBindings) : bytesOf(kOldBindings));
      (bytes == bytesOf(kNewBindings) ? newFiles : oldFiles) += 1;
      // Put the old file back for the next cut.
      std::copy(std::begin(kOldBindings), std::end(kOldBindings), gKeyBindings);
      ASSERT_EQ(saveSettings(), kSettingsSaved);
      EXPECT_FALSE(fileExists(kTemporaryPath));
      std::copy(std::begin(kNewBindings), std::end(kNewBindings), gKeyBindings);
    }
  }
  EXPECT_EQ(oldFiles + newFiles, 2 * calls);
  EXPECT_EQ(newFiles, 2 * (calls - 1 - renameCall) + 1);
  RecordProperty("cut_points", 2 * calls);
}

TEST_F(SaveFaultTest, ADirectoryAtTheTemporaryPathFailsTheSaveAndKeepsTheOldFile) {
  ASSERT_EQ(mkdir(kTemporaryPath, 0755), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(saveSettings(), kSettingsSaveFailed);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error opening file Settings.bin");
  EXPECT_EQ(settingsFile(), bytesOf(kOldBindings));
  rmdir(kTemporaryPath);
}

// The best scores go through the same careful replacement: a full table with the replays of its
// games on disk, an eleventh score in memory that pushes the tenth and its replay out, and the
// settings file beside them that no scores save may touch.
class ScoresSaveFaultTest : public SaveFaultTest {
 protected:
  void SetUp() override {
    SaveFaultTest::SetUp();
    putOldTableBack();
    oldTable = scoresFile();
    ASSERT_EQ(saveScores(), kScoresSaved);
    newTable = scoresFile();
    putOldTableBack();
  }
  void TearDown() override {
    SaveFaultTest::TearDown();
    gBestScoreCount = 0;
  }
  static std::vector<unsigned char> scoresFile() {
    std::ifstream file(kScoresPath, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  // The replay of the game made at `date`: as many bytes as the date, each the date.
  static std::vector<std::uint8_t> replayOf(std::int64_t date) {
    return std::vector<std::uint8_t>(static_cast<std::size_t>(date) * 100, static_cast<std::uint8_t>(date));
  }
  // Saves the old table, then takes the eleventh score into memory.
  static void putOldTableBack() {
    gBestScoreCount = 0;
    for (std::int64_t date = 1; date <= kBestScoreCapacity; ++date) {
      enterScore(static_cast<std::int32_t>(1000 - date), date, replayOf(date));
    }
    ASSERT_EQ(saveScores(), kScoresSaved);
    enterScore(3000, 11, replayOf(11));
  }
  std::vector<unsigned char> oldTable;
  std::vector<unsigned char> newTable;
};

TEST_F(ScoresSaveFaultTest, AFailureOrACutAtAnyCallKeepsTheOldTableOrTheWholeNewOneAndTheSettings) {
  arm(Fault::kFail, 1 << 30);
  ASSERT_EQ(saveScores(), kScoresSaved);
  const int calls = gCalls;
  const int renameCall = gRenameCall;
  arm(Fault::kNone, -1);
  // open the directory, create, mode, stream, one write, flush, sync, close, rename, sync
  EXPECT_EQ(calls, 10);
  EXPECT_EQ(renameCall, calls - 2);
  EXPECT_EQ(gDirectorySyncCall, calls - 1);
  putOldTableBack();

  // Each table reads back with every entry's own replay; the one pushed out took its replay along.
  for (const auto* table : {&oldTable, &newTable}) {
    std::ofstream(kScoresPath, std::ios::binary).write(reinterpret_cast<const char*>(table->data()),
                                                       static_cast<std::streamsize>(table->size()));
    loadScores();
    ASSERT_EQ(gBestScoreCount, kBestScoreCapacity);
    for (const BestScore& entry : gBestScores) EXPECT_EQ(entry.replay, replayOf(entry.date)) << entry.date;
    EXPECT_EQ(gBestScores[9].date, table == &oldTable ? 10 : 9);
  }
  putOldTableBack();

  for (const Fault fault : {Fault::kFail, Fault::kDieBefore, Fault::kDieAfter}) {
    for (int call = 0; call < calls; ++call) {
      SCOPED_TRACE("fault " + std::to_string(static_cast<int>(fault)) + " at call " + std::to_string(call));
      fflush(nullptr);
      testing::internal::CaptureStdout();
      const pid_t child = fork();  // a failing save, too, runs in a child and reports by its status
      ASSERT_GE(child, 0);
      if (child == 0) {
        arm(fault, call);
        const std::int32_t result = saveScores();
        fflush(stdout);
        _exit(result);
      }
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      const std::string printed = testing::internal::GetCapturedStdout();
      ASSERT_TRUE(WIFEXITED(status));
      EXPECT_EQ(WEXITSTATUS(status), fault == Fault::kFail ? kScoresSaveFailed : kDiedInSave);
      if (fault == Fault::kFail) {
        EXPECT_NE(printed.find("Scores.bin"), std::string::npos) << printed;
        EXPECT_FALSE(fileExists("../Common/Scores.bin.tmp"));
      }
      const bool renamed = call > renameCall || (call == renameCall && fault == Fault::kDieAfter);
      EXPECT_EQ(scoresFile(), renamed ? newTable : oldTable);
      EXPECT_EQ(settingsFile(), bytesOf(kOldBindings));
      putOldTableBack();
    }
  }
  RecordProperty("cut_points", 2 * calls);
}

}  // namespace
