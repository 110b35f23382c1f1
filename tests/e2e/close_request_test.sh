#!/usr/bin/env bash
# The window manager's close request ends the program with status 0 on every screen, and never
# saves a half-captured key configuration. (The title screen's case is in window_test.sh, the
# game-over screen's in game_test.sh.)
source "$(dirname "$0")/lib.sh"
e2e_init

# On the key configuration screen, after one key was taken.
e2e_start_game
e2e_wait_window
wait_frame_at 390
e2e_key Down Return
e2e_wait_for 10 "the key configuration screen" settings_step 9 "${DEFAULT_KEY_NAMES[@]}"
e2e_key w
e2e_wait_for 10 "W taken as move up" settings_step 8 W Down Left Right "Right Ctrl" Return Backspace F4
e2e_close_window
expect_exit_zero 5
[ ! -s "$SCRATCH/stdout" ] || fail "unexpected output: $(game_stdout)"
[ ! -e "$SCRATCH/Common/Settings.bin" ] || fail "a closed key configuration wrote Settings.bin"
log "closed on the key configuration screen"

# In the middle of a game, while firing.
e2e_start_game
e2e_wait_window
wait_frame_at 390
e2e_key Return
e2e_wait_for 10 "the briefing box" briefing_names "Right Ctrl"
e2e_keydown Control_R
sleep 3
e2e_close_window
expect_exit_zero 5
e2e_keyup Control_R
[ ! -s "$SCRATCH/stdout" ] || fail "unexpected output: $(game_stdout)"
log "closed during a game"
pass
