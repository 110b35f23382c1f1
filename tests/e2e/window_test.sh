#!/usr/bin/env bash
# The game opens one 800 x 600 window captioned "Zellworth" showing the title picture, and a close
# request on the title screen ends it at once with status 0 and nothing printed.
source "$(dirname "$0")/lib.sh"
e2e_init
e2e_start_game
e2e_wait_window

name=$(xdotool getwindowname "$WID")
[ "$name" = "Zellworth" ] || fail "caption is '$name'"
eval "$(xdotool getwindowgeometry --shell "$WID")"
[ "$WIDTH" -eq 800 ] && [ "$HEIGHT" -eq 600 ] || fail "window is ${WIDTH}x${HEIGHT}, expected 800x600"
[ "$(xdotool search --name '^Zellworth$' | wc -l)" -eq 1 ] || fail "more than one window"

# The title picture covers the window above the menu's frame rows.
e2e_wait_for 10 "the title picture" shows_sprite 0 0 Title.png 0 0 800 380
[ "$("$ZW_PROBE" size "$LAST_SHOT")" = "800 600" ] || fail "screenshot is not 800 x 600"

e2e_close_window
expect_exit_zero 5
[ ! -s "$SCRATCH/stdout" ] || fail "unexpected output: $(game_stdout)"
[ ! -e "$SCRATCH/Common/Settings.bin" ] || fail "Settings.bin was written without a key configuration"
pass
