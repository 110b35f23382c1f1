// The board mailbox, behind one lock: the board thread blocks on it, the game's frames never do
// for longer than a copy.
#include "app/board_mailbox.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

constexpr std::size_t kBoardLineMax = 64;  // bytes of the screen's line, terminating NUL included

std::mutex gBoardMutex;
std::condition_variable gBoardWake;
std::deque<BoardJob> gBoardJobs;
bool gBoardOpen = false;
bool gBoardSendsGames = false;
std::uint32_t gBoardGame = 0;  // games ended since the mailbox opened
std::string gBoardLine;        // the answer for game gBoardGame

}  // namespace

void handGameToBoard(const std::vector<std::uint8_t>& replay, bool onTicket) {
  std::lock_guard<std::mutex> lock(gBoardMutex);
  if (!gBoardOpen) return;
  ++gBoardGame;
  gBoardLine.clear();
  // The ticket first: the next game may start before a verified answer comes back.
  gBoardJobs.push_back(BoardJob{true, gBoardGame, {}, false});
  if (gBoardSendsGames) gBoardJobs.push_back(BoardJob{false, gBoardGame, replay, onTicket});
  gBoardWake.notify_one();
}

const char* boardLine() {
  static char shown[kBoardLineMax];
  std::lock_guard<std::mutex> lock(gBoardMutex);
  const std::size_t length = std::min(gBoardLine.size(), kBoardLineMax - 1);
  gBoardLine.copy(shown, length);
  shown[length] = '\0';
  return shown;
}

void openBoardMailbox(bool sendGames) {
  std::lock_guard<std::mutex> lock(gBoardMutex);
  gBoardOpen = true;
  gBoardSendsGames = sendGames;
  gBoardJobs.push_back(BoardJob{true, gBoardGame, {}, false});
}

bool takeBoardJob(BoardJob& job, std::chrono::steady_clock::time_point renewal) {
  std::unique_lock<std::mutex> lock(gBoardMutex);
  const auto ready = [] { return !gBoardJobs.empty() || !gBoardOpen; };
  if (renewal == std::chrono::steady_clock::time_point::max()) {
    gBoardWake.wait(lock, ready);
  } else if (!gBoardWake.wait_until(lock, renewal, ready)) {
    job = BoardJob{true, gBoardGame, {}, false};
    return true;
  }
  if (gBoardJobs.empty()) return false;
  job = std::move(gBoardJobs.front());
  gBoardJobs.pop_front();
  return true;
}

void postBoardLine(std::uint32_t game, const std::string& line) {
  std::lock_guard<std::mutex> lock(gBoardMutex);
  if (game == gBoardGame) gBoardLine = line;
}

void closeBoardMailbox() {
  std::lock_guard<std::mutex> lock(gBoardMutex);
  gBoardOpen = false;
  gBoardJobs.erase(std::remove_if(gBoardJobs.begin(), gBoardJobs.end(), [](const BoardJob& job) { return job.ticket; }),
                   gBoardJobs.end());
  gBoardLine.clear();
  gBoardWake.notify_all();
}
