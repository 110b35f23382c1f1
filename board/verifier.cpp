// The worker pool: each worker is a process fed over a pipe (a request is the replay's length as
// 4 bytes, then its bytes; the answer is a ReplayVerdict), waited for with a deadline.
#include "verifier.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "metrics.h"

namespace {

struct Worker {
  pid_t pid = -1;
  int input = -1;   // the worker's standard input
  int output = -1;  // the worker's standard output
  bool busy = false;
};

// A worker slot whose worker cannot start (out of descriptors or processes, for one) is tried
// again by the restarter, after a wait that doubles from the first to the last; the restarter
// also finds idle workers that died, every reap interval.
constexpr std::chrono::milliseconds kFirstRestartWait{500};
constexpr std::chrono::milliseconds kLastRestartWait{60000};
constexpr std::chrono::milliseconds kReapInterval{1000};

BoardLimits gLimits;
std::string gProgram;
std::vector<Worker> gWorkers;
std::int32_t gWaiting = 0;  // submissions queued for a worker
std::mutex gMutex;
std::condition_variable gFreed;
std::condition_variable gRestarterWake;
std::thread gRestarter;
bool gStopping = false;

bool spawnWorker(Worker& worker, std::string& error) {
  int toWorker[2];
  int fromWorker[2];
  if (pipe2(toWorker, O_CLOEXEC) != 0) {
    error = std::string("cannot start a verifier: ") + std::strerror(errno);
    return false;
  }
  if (pipe2(fromWorker, O_CLOEXEC) != 0) {
    error = std::string("cannot start a verifier: ") + std::strerror(errno);
    close(toWorker[0]);
    close(toWorker[1]);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toWorker[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fromWorker[1], STDOUT_FILENO);
  // No connection or database handle reaches a worker, so none outlives its closing here.
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  char* arguments[] = {const_cast<char*>(gProgram.c_str()), const_cast<char*>("--verifier"), nullptr};
  pid_t pid = -1;
  const int result = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, arguments, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(toWorker[0]);
  close(fromWorker[1]);
  if (result != 0) {
    error = std::string("cannot start a verifier: ") + std::strerror(result);
    close(toWorker[1]);
    close(fromWorker[0]);
    return false;
  }
  worker.pid = pid;
  worker.input = toWorker[1];
  worker.output = fromWorker[0];
  worker.busy = false;
  return true;
}

// Each pipe end is closed once: a number closed twice could by then be a connection's or the
// database's.
void closePipes(Worker& worker) {
  if (worker.input >= 0) close(worker.input);
  if (worker.output >= 0) close(worker.output);
  worker.input = -1;
  worker.output = -1;
}

void endWorker(Worker& worker) {
  if (worker.pid > 0) {
    kill(worker.pid, SIGKILL);
    while (waitpid(worker.pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  closePipes(worker);
  worker.pid = -1;
}

bool writeAll(int fd, const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = write(fd, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// Reads exactly `size` bytes; with a deadline, gives up when it passes.
bool readAll(int fd, void* data, std::size_t size, const std::chrono::steady_clock::time_point* deadline) {
  char* bytes = static_cast<char*>(data);
  while (size > 0) {
    if (deadline != nullptr) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd wait = {fd, POLLIN, 0};
      const int ready = poll(&wait, 1, static_cast<int>(left.count()));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) return false;
    }
    const ssize_t got = read(fd, bytes, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    bytes += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

enum class Exchange { kAnswered, kNotSent, kNoAnswer };

// A worker that died while idle (its pipe is closed) is found when the request cannot be sent.
Exchange exchange(const Worker& worker, const std::string& replay, ReplayVerdict& verdict) {
  const std::uint32_t size = static_cast<std::uint32_t>(replay.size());
  if (!writeAll(worker.input, &size, sizeof size)) return Exchange::kNotSent;
  if (!writeAll(worker.input, replay.data(), replay.size())) return Exchange::kNoAnswer;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(gLimits.verifyTimeout);
  if (!readAll(worker.output, &verdict, sizeof verdict, &deadline)) return Exchange::kNoAnswer;
  verdict.message[sizeof verdict.message - 1] = '\0';
  return Exchange::kAnswered;
}

// Kills the worker and starts another in its place; the pool's lock is held. One that cannot
// start leaves its slot to the restarter.
void replaceWorker(Worker& worker) {
  endWorker(worker);
  std::string error;
  if (!spawnWorker(worker, error)) std::fprintf(stderr, "zellworth-board: %s\n", error.c_str());
}

// Keeps the pool whole, off the request path: reaps idle workers that died and starts the
// missing ones, waiting longer after each failed start.
void restartWorkers() {
  std::chrono::milliseconds wait = kFirstRestartWait;
  std::unique_lock<std::mutex> lock(gMutex);
  while (!gStopping) {
    bool missing = false;
    std::string error;
    for (Worker& worker : gWorkers) {
      if (worker.busy) continue;  // a submission's thread owns it
      if (worker.pid > 0 && waitpid(worker.pid, nullptr, WNOHANG) == worker.pid) {
        worker.pid = -1;
        closePipes(worker);
      }
      if (worker.pid <= 0 && !spawnWorker(worker, error)) missing = true;
    }
    gFreed.notify_all();
    if (missing) {
      std::fprintf(stderr, "zellworth-board: %s; trying again in %lld ms\n", error.c_str(),
                   static_cast<long long>(wait.count()));
    }
    gRestarterWake.wait_for(lock, missing ? wait : kReapInterval, [] { return gStopping; });
    wait = missing ? std::min(wait * 2, kLastRestartWait) : kFirstRestartWait;
  }
}

}  // namespace

bool startVerifiers(const BoardLimits& limits, const char* program, std::string& error) {
  gLimits = limits;
  gProgram = program;
  // A worker that dies leaves its pipe closed; writing to it must fail, not end the server.
  signal(SIGPIPE, SIG_IGN);
  gWorkers.assign(static_cast<std::size_t>(limits.verifiers), Worker());
  for (Worker& worker : gWorkers) {
    if (!spawnWorker(worker, error)) return false;
  }
  gStopping = false;
  gRestarter = std::thread(restartWorkers);
  return true;
}

std::int32_t runningVerifiers() {
  std::lock_guard<std::mutex> lock(gMutex);
  std::int32_t running = 0;
  for (const Worker& worker : gWorkers) running += worker.pid > 0 ? 1 : 0;
  return running;
}

std::int32_t queuedSubmissions() {
  std::lock_guard<std::mutex> lock(gMutex);
  return gWaiting;
}

VerifyOutcome verifySubmission(const std::string& replay, ReplayVerdict& verdict) {
  std::size_t index = 0;
  {
    std::unique_lock<std::mutex> lock(gMutex);
    auto freeWorker = [&] {
      for (index = 0; index < gWorkers.size(); ++index) {
        if (!gWorkers[index].busy && gWorkers[index].pid > 0) return true;
      }
      return false;
    };
    // Without a single live worker (none could be started again) nothing would free the queue.
    const auto anyAlive = [] {
      for (const Worker& worker : gWorkers) {
        if (worker.pid > 0) return true;
      }
      return false;
    };
    if (!freeWorker()) {
      if (gWaiting >= gLimits.verifyQueue || !anyAlive()) return VerifyOutcome::kBusy;
      ++gWaiting;
      gFreed.wait(lock, [&] { return freeWorker() || !anyAlive(); });
      --gWaiting;
      if (index == gWorkers.size()) return VerifyOutcome::kBusy;
    }
    gWorkers[index].busy = true;
  }
  Worker& worker = gWorkers[index];
  const auto started = std::chrono::steady_clock::now();
  Exchange result = exchange(worker, replay, verdict);
  if (result == Exchange::kNotSent) {
    // It died before this replay reached it: the replay gets a fresh worker.
    std::lock_guard<std::mutex> lock(gMutex);
    replaceWorker(worker);
  }
  if (result == Exchange::kNotSent && worker.pid > 0) result = exchange(worker, replay, verdict);
  const bool played = result == Exchange::kAnswered;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    if (!played) replaceWorker(worker);
    worker.busy = false;
  }
  gFreed.notify_all();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
  countVerification(!played ? VerificationResult::kFailed
                    : verdict.status == 0 ? VerificationResult::kVerified
                                          : VerificationResult::kRefused,
                    took.count());
  return played ? VerifyOutcome::kPlayed : VerifyOutcome::kFailed;
}

void stopVerifiers() {
  {
    std::lock_guard<std::mutex> lock(gMutex);
    gStopping = true;
  }
  gRestarterWake.notify_all();
  if (gRestarter.joinable()) gRestarter.join();
  std::lock_guard<std::mutex> lock(gMutex);
  for (Worker& worker : gWorkers) {
    if (worker.pid > 0) endWorker(worker);
  }
}

int runVerifier() {
  // A hostile replay may make the game allocate or loop: the memory is capped here, the time by
  // the server's deadline. No core files.
  const rlimit memory = {kVerifierMemory, kVerifierMemory};
  setrlimit(RLIMIT_AS, &memory);
  const rlimit core = {0, 0};
  setrlimit(RLIMIT_CORE, &core);
  std::vector<std::uint8_t> replay;
  for (;;) {
    std::uint32_t size = 0;
    if (!readAll(STDIN_FILENO, &size, sizeof size, nullptr)) return 0;
    if (size > kVerifierReplayMax) return 1;
    replay.resize(size);
    if (!readAll(STDIN_FILENO, replay.data(), size, nullptr)) return 1;
    ReplayVerdict verdict{};
    verifyReplay(replay.data(), replay.size(), verdict);
    if (!writeAll(STDOUT_FILENO, &verdict, sizeof verdict)) return 1;
  }
}
