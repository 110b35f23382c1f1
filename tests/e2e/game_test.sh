#!/usr/bin/env bash
# A whole game: Return on the title starts it with the bird at (60, 200), three feathers, a score
# of 0 and the briefing box naming the attack key; holding the attack key clears the box, and the
# butterflies take the bird's hit points (the bird flies up and down through them) until the
# game-over screen shows its greeting and the score, and stays until a close request ends the
# program with status 0.
source "$(dirname "$0")/lib.sh"
e2e_init
e2e_start_game
e2e_wait_window
wait_frame_at 390

e2e_key Return
e2e_wait_for 10 "the briefing box naming Right Ctrl" briefing_names "Right Ctrl"
first=$LAST_SHOT
log "game started"
bird_at "$first" 60 200 || fail "the bird is not drawn from Bird.png at (60, 200): $first"
score_is 0 || fail "the score line does not read 'Score: 0'"
# The three hit-point feathers: Feather.png drawn at 32 x 32 from x 10, 42 and 74 at y 16.
read -r feather_w feather_h <<<"$("$ZW_PROBE" size "$(media Feather.png)")"
if [ "$feather_w" -eq 32 ] && [ "$feather_h" -eq 32 ]; then
  for x in 10 42 74; do
    "$ZW_PROBE" sprite "$first" "$x" 16 "$(media Feather.png)" 0 0 32 32 >/dev/null ||
      fail "no feather at ($x, 16)"
  done
else
  log "Feather.png is ${feather_w}x${feather_h}, drawn scaled: feathers not compared"
fi

# Nothing happens while the player waits: the box stays and the bird keeps its place.
sleep 2
LAST_SHOT=$(e2e_shot waiting)
briefing_names "Right Ctrl" >/dev/null || fail "the briefing box went away without a shot"
bird_at "$LAST_SHOT" 60 200 || fail "the bird moved without a key"

# Fire until the bird has lost its hit points.
briefing_gone() {
  ! briefing_names "Right Ctrl" &&
    [ "$("$ZW_PROBE" count "$LAST_SHOT" 321 201 318 138 255 255 255)" -lt 20000 ]
}
e2e_keydown Control_R
e2e_wait_for 10 "the briefing box to disappear with the first shot" briefing_gone
log "briefing box gone; firing and flying up and down"
fight_started=$(date +%s)
fight_until_game_over 150
e2e_keyup Control_R
log "game over after $(($(date +%s) - fight_started)) s of fighting"
score=$("$ZW_PROBE" number "$LAST_SHOT" 450 475 "$(media Font.png)" 2 0 800 'Your score: ' 100000) ||
  fail "the game-over screen does not show 'Your score: N'"
log "final score $score"

# The screen stays through its one-second pause and after it; a close request then ends the
# program. (A key press leading back to the title is part of sound_test.sh.)
sleep 1.5
LAST_SHOT=$(e2e_shot after-pause)
shows_game_over >/dev/null || fail "the game-over screen went away by itself"
e2e_close_window
expect_exit_zero 5
[ ! -s "$SCRATCH/stdout" ] || fail "unexpected output: $(game_stdout)"
pass
