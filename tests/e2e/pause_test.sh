#!/usr/bin/env bash
# The pause under a window manager. Before the first shot, when nothing can hit the bird: the
# fullscreen toggle does not pause; another window taking the focus does, coming back does not
# resume, the paused picture follows a new window size, and P resumes. Then, with a butterfly
# about, P freezes the picture on the paused frame at next to no CPU and resumes with the score
# and feathers as they were. Paused again by Escape, the game is given up with Backspace, and the
# game-over screen shows the score so far; the game kept in the table verifies to that score.
# Where the board is built, the game runs with --board and --name against a real one: the game is
# played on the board's ticket, sent as it ends, and its rank shows under the best score.
source "$(dirname "$0")/lib.sh"
e2e_init
BOARD_PID=""
if [ -x "${ZW_BUILD:-}/zellworth-board" ]; then
  trap 'status=$?; [ -z "$BOARD_PID" ] || kill "$BOARD_PID"; (exit $status); e2e_cleanup' EXIT
  board_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
  board_url=http://127.0.0.1:$board_port
  "$ZW_BUILD/zellworth-board" --listen "127.0.0.1:$board_port" --db "$SCRATCH/board.db" >"$SCRATCH/board.log" 2>&1 &
  BOARD_PID=$!
  for _ in $(seq 100); do curl -sf "$board_url/api/health" >/dev/null && break; sleep 0.05; done
  ZW_GAME_ARGS="--board $board_url --name Pat"
fi
e2e_start_game
e2e_wait_window
wait_frame_at 390
e2e_key Return
e2e_wait_for 10 "the briefing box" briefing_names "Right Ctrl"
moving() { [ "$("$ZW_PROBE" differ "$(e2e_shot "$1")" "$(sleep 0.5; e2e_shot "$1")" 0 0 800 600)" -gt 0 ]; }
e2e_key F4
sleep 2.5  # longer than a focus lost to the window manager is given to come back
moving fullscreen || fail "the fullscreen toggle paused the game"
e2e_key F4

xmessage -geometry 200x50+820+700 "another window" &
OTHER_PID=$!
e2e_wait_for 5 "the pause when another window takes the focus" shows_paused
kill "$OTHER_PID"
timeout 10 xdotool windowactivate --sync "$WID" || fail "the window did not get the focus back"
sleep 1
LAST_SHOT=$(e2e_shot back) && shows_paused >/dev/null || fail "coming back resumed the game"
timeout 10 xdotool windowmove --sync "$WID" 0 0 windowsize --sync "$WID" 1000 700 || fail "the window kept its size"
E2E_PICTURE="33 0 933 700"
e2e_wait_for 5 "the paused picture in the window at 1000 x 700" shows_paused
e2e_key p
moving resumed || fail "the picture stands still after the pause"
e2e_keydown Control_R
sleep 0.1
e2e_keyup Control_R
# The first butterfly comes 3 s after the first shot, and its shots need over a second more to
# reach the bird: the score and feathers can change neither just before nor just after the pause.
sleep 3.2
score_and_feathers() {
  "$ZW_PROBE" number "$1" 0 -15 "$(media Font.png)" 2 0 800 $'\nScore: ' 100000 || echo none
  for x in 10 42 74; do "$ZW_PROBE" sprite "$1" "$x" 16 "$(media Feather.png)" 0 0 32 32 >/dev/null && echo "$x"; done
}
# The probes read the shots while the game is paused, so that it runs on for no longer than a
# screenshot takes, however slow the machine.
before_shot=$(e2e_shot before)
e2e_key p
before=$(score_and_feathers "$before_shot")
e2e_wait_for 5 "the paused picture" shows_paused
frozen=$LAST_SHOT
cpu=$(awk '{ print $14 + $15 }' "/proc/$GAME_PID/stat")
sleep 5
cpu=$(($(awk '{ print $14 + $15 }' "/proc/$GAME_PID/stat") - cpu))  # ticks of 10 ms: 5 are 1% of 5 s
log "CPU while paused: $cpu ticks of 10 ms in 5 s ($((cpu * 100 / 500)).$((cpu * 1000 / 500 % 10))% of a core)"
[ "$cpu" -le 5 ] || fail "the paused game took $cpu ticks of CPU in 5 s"
[ "$("$ZW_PROBE" differ "$frozen" "$(e2e_shot still)" 0 0 800 600)" -eq 0 ] || fail "the paused picture changed"
e2e_key p
after_shot=$(e2e_shot after)
e2e_key Escape
after=$(score_and_feathers "$after_shot")
log "score and feathers before and after: $(echo $before) / $(echo $after)"
[ "$before" = "$after" ] || fail "the score or the feathers changed"
e2e_wait_for 5 "the paused picture" shows_paused
e2e_key BackSpace
e2e_wait_for 5 "the game-over screen with the score so far" shows_text 450 475 2 0 800 "Your score: ${after%%$'\n'*}"
if [ -n "$BOARD_PID" ]; then
  e2e_wait_for 15 "the board's rank under the best score" shows_text 450 525 2 0 800 "On the board: rank 1"
  grep -q "^Submitted: rank 1 on the board with ${after%%$'\n'*} points (entry 1)\.$" "$SCRATCH/stdout" ||
    fail "the game's line for the board: $(cat "$SCRATCH/stdout")"
fi
sleep 1.1  # the screen drops a close request during its first second
e2e_close_window
expect_exit_zero 5
# The given-up game's replay ends where it was given up, and verifies to the same score.
verdict=$(cd "$SCRATCH/run" && "$ZW_GAME" --verify 1) ||
  fail "--verify of the given-up game: $verdict"
[[ $verdict == "verified: score ${after%%$'\n'*} in "* ]] || fail "--verify of the given-up game: $verdict"
pass
