// The game-over screen: a greeting, the final score and the best score on black, with its own
// music, and with --board the board's answer for the game beneath them.
#include "screens/gameover.h"

#include <SDL.h>

#include "app/board_mailbox.h"
#include "app/display.h"
#include "app/platform.h"
#include "app/scores.h"
#include "app/ticket.h"
#include "game/play.h"
#include "game/replay.h"
#include "text/text.h"

namespace {

constexpr std::int32_t kLeftMargin = 0;     // pixels
constexpr std::int32_t kRightBound = 800;   // pixels
constexpr std::int32_t kStyle = 2;

// Each line is composed in the text buffer, drawn alone, and the buffer emptied again.
void renderGameOverLines() {
  appendDebugText("%s", kGameOverGreeting);
  gTextX = kGameOverGreetingX;
  gTextY = kGameOverGreetingY;
  renderText(kLeftMargin, kRightBound, gDebugText, kStyle);
  gDebugTextIndex = 0;

  appendDebugText(kGameOverScoreFormat, gScore);
  gTextX = kGameOverScoreX;
  gTextY = kGameOverScoreY;
  renderText(kLeftMargin, kRightBound, gDebugText, kStyle);
  gDebugTextIndex = 0;

  appendDebugText(kGameOverBestFormat, bestScore());
  gTextX = kGameOverBestX;
  gTextY = kGameOverBestY;
  renderText(kLeftMargin, kRightBound, gDebugText, kStyle);
  gDebugTextIndex = 0;

  // Played with --board: the board's answer, from the frame it arrives in.
  const char* boardAnswer = boardLine();
  if (boardAnswer[0] == '\0') return;
  appendDebugText("%s", boardAnswer);
  gTextX = kGameOverBoardX;
  gTextY = kGameOverBoardY;
  renderText(kLeftMargin, kRightBound, gDebugText, kStyle);
  gDebugTextIndex = 0;
}

// The screen itself; `entering` puts the score into the table first.
static_assert(kScoresMaxReplaySize == kReplayMaxSize, "the table keeps every replay that can be played");

std::int32_t showGameOverScreen(bool entering) {
  SDL_Event event;

  // The score joins the table (and its file) once, before the first frame shows the best.
  if (entering) {
    finishRecording(gScore);
    const std::vector<std::uint8_t> replay = gRecordingWhole ? encodeReplay(gRecording) : std::vector<std::uint8_t>{};
    recordGameScore(gScore, gRecording.date, replay);
    const bool onTicket = !gRecording.ticket.empty();
    handGameToBoard(replay, onTicket);
    reportGameOverToPage(onTicket);
  }
  SDL_SetRenderDrawColor(gRenderer, 0, 0, 0, 255);
  startMusic(kGameOverMusicPath);

  // The first frame stays on screen through the pause; whatever arrived until its end, key
  // presses and a close request alike, is dropped.
  SDL_RenderClear(gRenderer);
  gDebugTextIndex = 0;
  renderGameOverLines();
  presentFrame();
  SDL_Delay(kGameOverPause);
  while (SDL_PollEvent(&event)) {
  }

  for (;;) {
    SDL_RenderClear(gRenderer);
    renderGameOverLines();
    presentFrame();
    while (SDL_PollEvent(&event)) {
      if (event.type == SDL_QUIT) return kGameOverQuit;
      if (event.type == SDL_KEYDOWN) return kGameOverKeyPressed;
    }
    SDL_Delay(kGameOverPassDelay);
  }
}

}  // namespace

std::int32_t displayGameOverScreen() { return showGameOverScreen(true); }

std::int32_t displayWatchedGameOverScreen() { return showGameOverScreen(false); }
