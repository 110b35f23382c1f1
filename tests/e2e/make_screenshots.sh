#!/usr/bin/env bash
# Takes the README's screenshots of the real game under Xvfb and writes them to docs/:
# the title screen, a game in progress, the paused game, the key configuration and the game-over
# screen.
# Usage: tests/e2e/make_screenshots.sh [BUILD_DIR]   (default: build; build it first)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=$(cd "${1:-$source_dir/build}" && pwd)
export ZW_GAME="$build_dir/zellworth"
export ZW_MEDIA="$source_dir/assets/Common"
export ZW_X="$build_dir/tests/e2e/zellworth_e2e_x"
export ZW_PROBE="$build_dir/tests/e2e/zellworth_e2e_image"
export ZW_WORK="$build_dir/tests/e2e/scratch"
source "$source_dir/tests/e2e/lib.sh"
docs="$source_dir/docs"
mkdir -p "$docs"
e2e_init
e2e_start_game
e2e_wait_window
wait_frame_at 390
cp "$LAST_SHOT" "$docs/title.png"

e2e_key Down Return
e2e_wait_for 10 "the key configuration screen" settings_step 9 "${DEFAULT_KEY_NAMES[@]}"
e2e_key Up Down Left
e2e_wait_for 10 "three keys taken" settings_step 6 "${DEFAULT_KEY_NAMES[@]}"
cp "$LAST_SHOT" "$docs/key-configuration.png"
e2e_key Right Control_R Return BackSpace F4 space
wait_frame_at 390

# A game: fly up a little and fire for a while, so that butterflies and shots are on screen.
e2e_key Return
e2e_wait_for 10 "the briefing box" briefing_names "Right Ctrl"
e2e_keydown Control_R
e2e_keydown Up
sleep 0.3
e2e_keyup Up
sleep 9
cp "$(e2e_shot game)" "$docs/game.png"
e2e_key p
e2e_wait_for 5 "the paused picture" shows_paused
cp "$LAST_SHOT" "$docs/paused.png"
e2e_key p
fight_until_game_over 150
e2e_keyup Control_R
cp "$LAST_SHOT" "$docs/game-over.png"
sleep 1.5  # a close request during the screen's first second is dropped
e2e_close_window
expect_exit_zero 5
log "screenshots written to $docs"
pass
