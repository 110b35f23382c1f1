#!/usr/bin/env bash
# The picture fits any screen and window. Fullscreen on a screen without an 800 x 600 mode shows
# the whole frame, centred between black bars and scaled, in the title and in a game, where the
# butterflies enter at the right edge of the picture; back in a window it is as large as before,
# and a window resized to another shape shows the whole picture too. Run on several screens, with
# and without a window manager (ZW_SCREEN, ZW_WM), and with --scale (ZW_GAME_ARGS).
source "$(dirname "$0")/lib.sh"
e2e_init

# Where the picture must lie in an output of W x H ("X Y W H"): the largest of the 4:3 shape,
# by whole factors from twice the size on, centred.
expected_picture() {
  case "$1x$2" in
    800x600) echo "0 0 800 600" ;;
    1000x700) echo "33 0 933 700" ;;           # 1.17 times
    1024x768) echo "0 0 1024 768" ;;           # 1.28 times
    1600x1200) echo "0 0 1600 1200" ;;         # twice
    1920x1080) echo "240 0 1440 1080" ;;       # 1.8 times, bars left and right
    2560x1440) echo "480 120 1600 1200" ;;     # 2.4 fits: twice
    *) fail "no expected picture for an output of $1x$2" ;;
  esac
}
window_size() {
  eval "$(xdotool getwindowgeometry --shell "$WID")"
  echo "$WIDTH $HEIGHT"
}
# Asks for the window's size again until it has it: a window manager may still be busy with a
# window that has just appeared.
resized_to() {
  window_is "$1" "$2" && return 0
  xdotool windowsize "$WID" "$1" "$2"
  return 1
}
# The bars around the picture of $LAST_SHOT's screen shot are black, and the picture lies where
# expected.
picture_in_black_bars() {
  local screen=${LAST_SHOT%.png}-screen.png
  [ "$("$ZW_PROBE" picture "$screen")" = "$E2E_PICTURE" ]
}
# Anywhere in the picture's right half: on a loaded machine a screenshot of a large screen can
# take longer than a butterfly needs to cross a narrower strip.
butterfly_near_right_edge() {
  local cell
  for cell in 0 45 90 135 180 225 270; do
    "$ZW_PROBE" findsprite "$LAST_SHOT" 400 0 755 555 "$(media Butterfly.png)" "$cell" 0 45 45 && return 0
  done
  return 1
}
score_shown() {
  "$ZW_PROBE" number "$LAST_SHOT" 0 -15 "$(media Font.png)" 2 0 800 $'\nScore: ' 100000
}

scale=1
[[ "${ZW_GAME_ARGS:-}" =~ --scale\ ([0-9]+) ]] && scale=${BASH_REMATCH[1]}
e2e_start_game
e2e_wait_window
read -r width height <<<"$(window_size)"
[ "$width $height" = "$((800 * scale)) $((600 * scale))" ] ||
  fail "the window is ${width}x${height}, expected $((800 * scale))x$((600 * scale))"
E2E_PICTURE=$(expected_picture "$width" "$height")
wait_frame_at 390
cp "${LAST_SHOT%.png}-screen.png" "$SCRATCH/window-title.png"

# Resized to another shape (at the screen's corner, so that all of it can be seen): the whole
# picture, centred.
xdotool windowmove "$WID" 0 0
e2e_wait_for 10 "the window at 1000x700" resized_to 1000 700
E2E_PICTURE=$(expected_picture 1000 700)
e2e_wait_for 10 "the whole title picture in the resized window" picture_in_black_bars
wait_frame_at 390
cp "${LAST_SHOT%.png}-screen.png" "$SCRATCH/resized-title.png"

# Fullscreen: the whole screen shows the picture.
screen=${ZW_SCREEN:-1024x768}
e2e_key F4
E2E_SHOT_WINDOW=root
E2E_PICTURE=$(expected_picture "${screen%x*}" "${screen#*x}")
log "fullscreen picture expected at $E2E_PICTURE"
e2e_wait_for 10 "the fullscreen title between black bars" picture_in_black_bars
wait_frame_at 390
cp "${LAST_SHOT%.png}-screen.png" "$SCRATCH/fullscreen-title.png"
e2e_key Return
e2e_wait_for 10 "the briefing box naming Right Ctrl" briefing_names "Right Ctrl"
bird_at "$LAST_SHOT" 60 200 || fail "the bird is not drawn from Bird.png at (60, 200)"
picture_in_black_bars || fail "the game's picture is not at $E2E_PICTURE between black bars"
e2e_keydown Control_R
e2e_wait_for 30 "a butterfly entering the right half of the picture" butterfly_near_right_edge
e2e_keyup Control_R
cp "${LAST_SHOT%.png}-screen.png" "$SCRATCH/fullscreen-game.png"

# Back in a window, of the size the player gave it.
e2e_key F4
E2E_SHOT_WINDOW=""
e2e_wait_for 10 "the window back at 1000x700" window_is 1000 700
E2E_PICTURE=$(expected_picture 1000 700)
e2e_wait_for 10 "the game in the window" score_shown

cp "${LAST_SHOT%.png}-screen.png" "$SCRATCH/window-game.png"
# ZW_SHOTS names a directory to keep the screenshots in, for people to look at.
if [ -n "${ZW_SHOTS:-}" ]; then
  mkdir -p "$ZW_SHOTS"
  for shot in window-title resized-title fullscreen-title fullscreen-game window-game; do
    cp "$SCRATCH/$shot.png" "$ZW_SHOTS/$shot-${ZW_SCREEN:-1024x768}${ZW_WM:+-$ZW_WM}.png"
  done
fi

e2e_close_window
expect_exit_zero 5
[ ! -s "$SCRATCH/stdout" ] || fail "unexpected output: $(game_stdout)"
pass
