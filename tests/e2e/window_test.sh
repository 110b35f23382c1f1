#!/usr/bin/env bash
# The game opens one 800 x 600 window captioned "Zellworth" showing the title picture, and a close
# request on the title screen ends it at once with status 0 and nothing printed. Its command-line
# options: --help, --version and --scores (before any game: no best scores yet) answer and leave, a misused option is refused with a message and
# status 2 before any window opens, and --fullscreen starts on the whole screen.
source "$(dirname "$0")/lib.sh"
e2e_init

# run_options EXPECTED_STATUS OPTION...: runs the game with the options; its output is in
# $SCRATCH/options.out and $SCRATCH/options.err.
run_options() {
  local expected=$1 status
  shift
  (cd "$SCRATCH/run" && timeout 10 env SDL_AUDIODRIVER=dummy "$ZW_GAME" "$@") \
    >"$SCRATCH/options.out" 2>"$SCRATCH/options.err"
  status=$?
  [ "$status" -eq "$expected" ] || fail "$* ended with status $status, expected $expected"
}
run_options 0 --help
grep -q '^Usage: zellworth \[--fullscreen\] \[--scale N\] \[--mute\] \[--replay RANK|FILE\]$' "$SCRATCH/options.out" || fail "--help: $(cat "$SCRATCH/options.out")"
grep -q -- '--scale N' "$SCRATCH/options.out" || fail "--help does not explain --scale"
grep -q -- '--scores' "$SCRATCH/options.out" || fail "--help does not explain --scores"
run_options 0 --scores
[ "$(cat "$SCRATCH/options.out")" = "No best scores yet." ] || fail "--scores: $(cat "$SCRATCH/options.out")"
[ ! -e "$SCRATCH/Common/Scores.bin" ] || fail "--scores made a scores file"
run_options 0 --version
grep -qx 'zellworth [0-9.]*' "$SCRATCH/options.out" || fail "--version: $(cat "$SCRATCH/options.out")"
for misuse in "--bogus" "--scale" "--scale 0" "--scale two" "--scale=9999" "--scale=" "--scale 2" "--scale=2" \
  "--name Ada" "--submit 1" "--board ftp://127.0.0.1" $'--board http://127.0.0.1 --name \xff'; do
  # shellcheck disable=SC2086
  run_options 2 $misuse
  [ -s "$SCRATCH/options.err" ] && [ ! -s "$SCRATCH/options.out" ] || fail "$misuse: no message, or one on standard output"
  # This screen is 1024 x 768: twice 800 x 600 does not fit, however the option is spelt.
  if [ "${misuse#--scale?}" = 2 ]; then
    grep -q "a window of 1600x1200 (--scale 2) does not fit the desktop's 1024x768" "$SCRATCH/options.err" ||
      fail "$misuse: $(cat "$SCRATCH/options.err")"
  fi
done
[ -z "$(xdotool search --name '^Zellworth$' 2>/dev/null)" ] || fail "a refused start opened a window"

# Started in fullscreen: the window covers the screen; the fullscreen key brings the 800 x 600
# window back.
ZW_GAME_ARGS=--fullscreen e2e_start_game
e2e_wait_window
e2e_wait_for 10 "the window covering the screen" window_is 1024 768
e2e_key F4
e2e_wait_for 10 "the window back at 800 x 600" window_is 800 600
e2e_close_window
expect_exit_zero 5

e2e_start_game
e2e_wait_window

# Without graphics hardware the game draws with SDL's software renderer and never loads an
# OpenGL driver, which would only rasterise on the CPU at several times the cost.
if ! ls /dev/dri/renderD* >/dev/null 2>&1 && [ -z "${ZW_RENDERER:-}" ]; then
  gl=$(grep -E 'libGL|_dri\.so|libLLVM|libgallium' "/proc/$GAME_PID/maps" | awk '{ print $6 }' | sort -u)
  [ -z "$gl" ] || fail "OpenGL loaded without graphics hardware: $gl"
fi
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
