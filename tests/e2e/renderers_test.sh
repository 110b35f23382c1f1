#!/usr/bin/env bash
# The game's own choice of renderer (SDL's software renderer straight into the window where there
# is no graphics hardware) and OpenGL draw the same pixels: the title screen and Flight Control,
# shot on both, match each other pixel for pixel, and the media. (The game and its game-over
# screen are compared with the media on OpenGL by the game scenario's OpenGL variant.)
source "$(dirname "$0")/lib.sh"
e2e_init

# shoot_screens NAME: starts the game, shoots the title and Flight Control as NAME-title.png and
# NAME-keys.png in the scratch tree, and closes it.
shoot_screens() {
  e2e_start_game
  e2e_wait_window
  wait_frame_at 390
  hint_names F4 >/dev/null || fail "$1: the hint line does not read 'Toggle fullscreen : F4'"
  cp "$LAST_SHOT" "$SCRATCH/$1-title.png"
  e2e_key Down
  wait_frame_at 444
  e2e_key Return
  e2e_wait_for 10 "$1: Flight Control at its first step" settings_step 9 "${DEFAULT_KEY_NAMES[@]}"
  cp "$LAST_SHOT" "$SCRATCH/$1-keys.png"
  e2e_close_window
  expect_exit_zero 5
}

ZW_RENDERER="" shoot_screens chosen
ZW_RENDERER=opengl shoot_screens opengl
for screen in title keys; do
  differing=$("$ZW_PROBE" differ "$SCRATCH/chosen-$screen.png" "$SCRATCH/opengl-$screen.png" 0 0 800 600)
  [ "$differing" -eq 0 ] || fail "$screen: $differing pixels differ between the renderers"
done
pass
