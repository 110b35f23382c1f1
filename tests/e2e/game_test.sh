#!/usr/bin/env bash
# A whole game: Return on the title starts it with the bird at (60, 200), three feathers, a score
# of 0 and the briefing box naming the attack key; holding the attack key clears the box, and the
# butterflies take the bird's hit points (the bird flies up and down through them) until the
# game-over screen shows its greeting, the score and the best score, and stays until a key leads
# back to the title. A second game's screen shows the better of the two as the best; a close
# request ends the program with status 0. Started again, a third game's screen still counts the
# first two, and --scores then lists all three games, best first, with today's date in the
# player's time zone. Each game kept its replay: --verify plays each to the score the table
# lists, and --replay 1 shows the best game again to its game-over screen with the same score,
# entering nothing in the table.
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
expect_text "$LAST_SHOT" 450 500 2 0 800 "Best score: $score"
scores=("$score")

# The screen stays through its one-second pause and after it; a key then leads to the title.
sleep 1.5
LAST_SHOT=$(e2e_shot after-pause)
shows_game_over >/dev/null || fail "the game-over screen went away by itself"
e2e_key space
wait_frame_at 390
# With ZW_GAMES=1 (the run on the OpenGL renderer) the scenario ends here, every screen of a game
# drawn once: the table across games, the restart and the replays are the same on any renderer.
if [ "${ZW_GAMES:-3}" -eq 1 ]; then
  e2e_close_window
  expect_exit_zero 5
  [ ! -s "$SCRATCH/stdout" ] || fail "unexpected output: $(game_stdout)"
  pass
fi

# Plays one more game from the title screen and reads its game-over screen: the score of that
# game and the best of all games so far.
play_another_game() {
  e2e_key Return
  e2e_wait_for 10 "the briefing box of game $((${#scores[@]} + 1))" briefing_names "Right Ctrl"
  e2e_keydown Control_R
  e2e_wait_for 10 "the briefing box of game $((${#scores[@]} + 1)) to disappear" briefing_gone
  fight_until_game_over 150
  e2e_keyup Control_R
  local score best
  score=$("$ZW_PROBE" number "$LAST_SHOT" 450 475 "$(media Font.png)" 2 0 800 'Your score: ' 100000) ||
    fail "game $((${#scores[@]} + 1)): the game-over screen does not show 'Your score: N'"
  scores+=("$score")
  best=$(printf '%s\n' "${scores[@]}" | sort -n | tail -1)
  expect_text "$LAST_SHOT" 450 500 2 0 800 "Best score: $best"
  log "game ${#scores[@]}: score $score, best $best read back from the screen"
  # Past the screen's one-second pause, which drops a close request as it drops keys.
  sleep 1.5
}
play_another_game
e2e_close_window
expect_exit_zero 5
[ ! -s "$SCRATCH/stdout" ] || fail "unexpected output: $(game_stdout)"

e2e_start_game
e2e_wait_window
wait_frame_at 390
play_another_game
e2e_close_window
expect_exit_zero 5
[ ! -s "$SCRATCH/stdout" ] || fail "unexpected output after the restart: $(game_stdout)"

# The table lists the three games, best first; of equal scores the earlier game first, which
# sort's stable numeric order on the game's number keeps too.
(cd "$SCRATCH/run" && "$ZW_GAME" --scores) >"$SCRATCH/scores.out" 2>&1 || fail "--scores: status $?"
today=$(date +%Y-%m-%d)
expected=$(for game in 0 1 2; do echo "${scores[$game]} $game"; done | sort -k1,1nr -k2,2n |
  awk -v day="$today" '{ printf "%2d. %10d  %s\n", NR, $1, day }')
log "--scores after three games:"
cat "$SCRATCH/scores.out"
[ "$(cat "$SCRATCH/scores.out")" = "$expected" ] || fail "--scores printed $(cat "$SCRATCH/scores.out"), expected $expected"
# Half past eleven in the evening UTC is already tomorrow 14 hours east.
far_east=$(cd "$SCRATCH/run" && TZ=Etc/GMT-14 "$ZW_GAME" --scores | awk 'NR == 1 { print $3 }')
[ "$far_east" = "$(TZ=Etc/GMT-14 date +%Y-%m-%d)" ] || fail "--scores dates are not in the player's time zone: $far_east"

for rank in 1 2 3; do
  listed=$(awk -v rank="$rank" 'NR == rank { print $2 }' "$SCRATCH/scores.out")
  verdict=$(cd "$SCRATCH/run" && "$ZW_GAME" --verify "$rank")
  status=$?
  log "--verify $rank: $verdict (status $status)"
  [ "$status" -eq 0 ] && [[ "$verdict" =~ ^verified:\ score\ $listed\ in\ [0-9]+\ frames$ ]] ||
    fail "--verify $rank of a game that scored $listed: $verdict (status $status)"
done

cp "$SCRATCH/Common/Scores.bin" "$SCRATCH/scores-before-replay"
best=$(awk 'NR == 1 { print $2 }' "$SCRATCH/scores.out")
ZW_GAME_ARGS="${ZW_GAME_ARGS:-} --replay 1" e2e_start_game
e2e_wait_window
e2e_wait_for 150 "the watched game's game-over screen" shows_game_over
expect_text "$LAST_SHOT" 450 475 2 0 800 "Your score: $best"
sleep 1.5
e2e_key space
expect_exit_zero 5
cmp -s "$SCRATCH/Common/Scores.bin" "$SCRATCH/scores-before-replay" || fail "watching a replay changed the table"
pass
