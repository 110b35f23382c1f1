#!/usr/bin/env bash
# The title menu's white frame follows the bound Up and Down keys and wraps at both ends, the hint
# line names the fullscreen key, and confirming the bottom entry ends the program with status 0.
source "$(dirname "$0")/lib.sh"
e2e_init
expect_title_picture_not_white_under_frames
e2e_start_game
e2e_wait_window

wait_frame_at 390
hint_names F4 >/dev/null || fail "the hint line does not read 'Toggle fullscreen : F4'"

# Down walks the rows top to bottom and wraps to the top; Up walks back and wraps to the bottom.
for row in 444 498 390; do
  e2e_key Down
  wait_frame_at "$row"
done
for row in 498 444 390 498; do
  e2e_key Up
  wait_frame_at "$row"
done

# The bottom entry quits.
e2e_key Return
expect_exit_zero 5
[ ! -s "$SCRATCH/stdout" ] || fail "unexpected output: $(game_stdout)"
pass
