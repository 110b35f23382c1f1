// zellworth --board URL: a thread beside the game that holds a ticket of the board for the next
// game (asked at start-up and after each game) and, given a name, sends each game played on a
// ticket as it ends. Its lines go to standard output and, for the game-over screen, into the
// board mailbox. Desktop only.
#pragma once

// Starts the thread; `name` (valid UTF-8) may be null: then games are played on tickets but not sent.
void startBoardPlay(const char* boardUrl, const char* name);
// Ends it: a ticket request is given up, a game still to be sent is sent (within its time
// limit). Nothing to do when it never started.
void stopBoardPlay();
