// Recorded games: the replay file, recording the game being played, and verifying a replay by
// playing its inputs through the game's own frames.
//
// A replay file, every number little-endian:
//   offset  size
//        0     4  "ZWRP", which marks the file as one of this game's replays
//        4     4  format version: 1 for a game played without the board's ticket, 2 for one
//                 played on a ticket
//        8     4  rules version (kRulesVersion of the build that recorded it)
//       12     4  seed: the calendar time the game's random sequence was seeded with; in
//                 format 2, the ticket's seed
//       16     4  draws: how many numbers the sequence had given before this game began; 0 in
//                 format 2
//       20     8  date: when the game ended (signed, seconds since 1970-01-01 UTC)
//       28     4  frames played, the last one (game over) included
//       32     4  final score (signed)
//       36     4  number of input changes
//       40    44  format 2 only: the ticket the game was played on, as the board dealt it
//                 (app/ticket.h); the changes then start at 84. A replay with a ticket is
//                 written as format 2, one without as format 1.
//    40/84        the input changes: for each, one unsigned LEB128 number, the frames since the
//                 previous change (since the first frame for the first) times 32 plus the
//                 actions held from that frame on (bits: 1 up, 2 down, 4 left, 8 right,
//                 16 attack); no actions are held before the first change
//         4 each  state checks: after every kReplayCheckInterval-th frame, a CRC-32 of the
//                 game's state (score, bird, butterflies, shots, random sequence)
//       end-4  4  CRC-32 (the polynomial of zip and PNG) of all the bytes before it
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/ticket.h"

// The rules version: changes whenever a change to the game would change a replay's outcome.
constexpr std::uint32_t kRulesVersion = 1;
constexpr std::uint32_t kReplayFormatUnticketed = 1;
constexpr std::uint32_t kReplayFormatTicketed = 2;
constexpr std::uint32_t kReplayCheckInterval = 100;    // frames between state checks
constexpr std::uint32_t kReplayMaxFrames = 576000;     // four hours at 40 frames a second
constexpr std::uint32_t kReplayMaxDraws = 1u << 28;    // numbers drawn before a game
constexpr std::size_t kReplayHeaderSize = 40;          // bytes, the ticket not included
constexpr std::size_t kReplayMaxSize = 1u << 20;       // bytes

// The five actions held in a frame, one bit each.
constexpr std::uint8_t kActionUp = 1;
constexpr std::uint8_t kActionDown = 2;
constexpr std::uint8_t kActionLeft = 4;
constexpr std::uint8_t kActionRight = 8;
constexpr std::uint8_t kActionAttack = 16;
constexpr std::uint8_t kActionsAll = 31;

// kTicketMismatch: a format 2 file whose seed or draws are not its ticket's, which no game makes.
enum class ReplayProblem : std::int32_t {
  kNone, kDamaged, kForeign, kUnknownFormat, kUnknownRules, kTooLong, kTicketMismatch
};

struct ReplayVerdict {
  std::int32_t status;         // as --verify exits: 0 verified, 2 unreadable (see problem), 3 does not match
  ReplayProblem problem;       // why the status is 2; kNone otherwise
  std::int32_t score;          // the score this build's frames give the recorded inputs
  std::int32_t recordedScore;  // the final score the file records
  std::uint32_t frames;        // frames played
  std::uint32_t recordedFrames;  // frames the file records: more than `frames` when inputs go past the game over
  std::uint32_t rulesVersion;  // as the file says
  std::uint32_t seed;
  std::int64_t date;           // seconds since 1970 UTC, when the game was played
  char message[200];           // the one line that --verify prints, e.g. "verified: score 125 in 4230 frames"
};

// A replay as read from or written to its file.
struct Replay {
  std::uint32_t formatVersion;
  std::uint32_t rulesVersion;
  std::uint32_t seed;
  std::uint32_t draws;
  std::int64_t date;
  std::int32_t score;
  std::vector<std::uint8_t> actions;  // one per frame played
  std::vector<std::uint32_t> checks;  // one per kReplayCheckInterval frames
  std::vector<std::uint8_t> ticket;   // the board's ticket it was played on (format 2); empty for none
};

// The file's bytes of a replay.
std::vector<std::uint8_t> encodeReplay(const Replay& replay);
// Reads a replay file's bytes, checking sizes before allocating for them; kNone when whole.
// A replay of another rules version is read all the same (kUnknownRules), so that it can say
// which version it needs.
ReplayProblem decodeReplay(const std::uint8_t* bytes, std::size_t size, Replay& replay);
// The one line saying why a replay cannot be played, into `text`.
void describeReplayProblem(ReplayProblem problem, const Replay& replay, char* text, std::size_t size);

// A short check of the game's state: a CRC-32 over the score, the bird, the butterflies, the
// shots and the random sequence, leaving out what only drawing changes (wing beats, hit look).
std::uint32_t gameStateCheck();

// The game being played, or the last one played, as recorded so far.
extern Replay gRecording;
extern bool gRecordingWhole;  // false once the game outlived kReplayMaxFrames: no replay is kept

// Starts recording a game that begins now, from the random sequence as it stands, and on
// `ticket` when one is given (the sequence then starts from its seed).
void startRecording(const std::vector<std::uint8_t>& ticket = {});
// Records a frame's actions after its rules ran, and the state check every kReplayCheckInterval frames.
void recordFrame(std::uint8_t actions);
// Records the final score, and the date: now.
void finishRecording(std::int32_t score);

// Plays a replay file's bytes through the game's own frame code without a window or sound, as
// fast as the machine goes. Works in a process that never called SDL_Init (a server). Not
// reentrant: the game's state is global, so one call at a time per process.
void verifyReplay(const std::uint8_t* bytes, std::size_t size, ReplayVerdict& verdict);
