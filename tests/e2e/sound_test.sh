#!/usr/bin/env bash
# What the player hears, captured with SDL's disk audio driver (signed 16-bit little-endian,
# 44100 Hz, stereo): the title music, the game music and the game-over music are each audible and
# not clipped, they are three different pieces, the title piece plays again after a game, and the
# effects (the menu's sound, the shots) stand out above the music.
source "$(dirname "$0")/lib.sh"
: "${ZW_AUDIO:?}"
e2e_init
audio="$SCRATCH/audio.raw"
BYTES_PER_SECOND=176400

# The capture's length so far, in seconds: the disk driver writes in step with the clock, so this
# marks where in the recording the current moment lies.
mark() {
  awk -v bytes="$(stat -c %s "$audio")" -v rate=$BYTES_PER_SECOND 'BEGIN { printf "%.2f", bytes / rate }'
}
plus() {
  awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a + b }'
}
# One value of sox's statistics for a window of the capture: sox_stat START LENGTH NAME.
sox_stat() {
  sox -t raw -r 44100 -e signed-integer -b 16 -c 2 "$audio" -n trim "$1" "$2" stat 2>&1 |
    awk -v name="$3" -F: '$1 ~ "^" name { gsub(/ /, "", $2); print $2 }'
}
# Checks that a window is audible and not clipped; prints its RMS amplitude.
audible() {
  local what=$1 start=$2 length=$3 rms peak
  rms=$(sox_stat "$start" "$length" "RMS +amplitude")
  peak=$(sox_stat "$start" "$length" "Maximum +amplitude")
  log "$what: from ${start}s for ${length}s, RMS $rms, peak $peak" >&2
  awk -v r="$rms" 'BEGIN { exit !(r > 0.002) }' || fail "$what is silent (RMS $rms)"
  awk -v p="$peak" 'BEGIN { exit !(p < 0.99) }' || fail "$what is clipped (peak $peak)"
  echo "$rms"
}
louder() {  # louder A B DB: A is at least DB decibels above B
  awk -v a="$1" -v b="$2" -v db="$3" 'BEGIN { exit !(20 * log(a / b) / log(10) >= db) }'
}
similarity() {
  "$ZW_AUDIO" similarity "$audio" "$1" "$2" "$3" || fail "cannot compare $1 and $2"
}

e2e_start_game SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$audio"
e2e_wait_window
wait_frame_at 390
title_start=$(mark)
sleep 3.5

# The menu's sound, twice: down and back up.
effect_start=$(mark)
e2e_key Down
wait_frame_at 444
e2e_key Up
wait_frame_at 390
sleep 0.5

e2e_key Return
e2e_wait_for 10 "the briefing box" briefing_names "Right Ctrl"
game_start=$(mark)
sleep 3.5

e2e_keydown Control_R
shots_start=$(mark)
sleep 2.5
e2e_wait_for 200 "the game-over screen" shows_game_over
e2e_keyup Control_R
over_start=$(mark)
sleep 4.5

e2e_key space
wait_frame_at 390
again_start=$(mark)
sleep 3.5
e2e_close_window
expect_exit_zero 5

title=$(audible "title music" "$(plus "$title_start" 0.3)" 3)
menu=$(audible "menu sound" "$effect_start" 1)
game=$(audible "game music" "$(plus "$game_start" 0.3)" 3)
shots=$(audible "shots" "$(plus "$shots_start" 0.3)" 2)
over=$(audible "game-over music" "$(plus "$over_start" 1.5)" 3)
again=$(audible "title music after the game" "$(plus "$again_start" 0.3)" 3)

louder "$menu" "$title" 3 || fail "the menu sound does not stand out from the title music"
louder "$shots" "$game" 3 || fail "the shots do not stand out from the game music"

same=$(similarity "$(plus "$title_start" 0.3)" "$(plus "$again_start" 0.3)" 3)
title_game=$(similarity "$(plus "$title_start" 0.3)" "$(plus "$game_start" 0.3)" 3)
game_over=$(similarity "$(plus "$game_start" 0.3)" "$(plus "$over_start" 1.5)" 3)
title_over=$(similarity "$(plus "$title_start" 0.3)" "$(plus "$over_start" 1.5)" 3)
log "spectral similarity: title/title again $same, title/game $title_game, game/game over $game_over, title/game over $title_over"
# The same piece measures near 1 (0.99 and more here), different pieces well below (about 0.5).
awk -v s="$same" 'BEGIN { exit !(s >= 0.9) }' || fail "the title music differs after a game ($same)"
for pair in "title/game $title_game" "game/game-over $game_over" "title/game-over $title_over"; do
  set -- $pair
  awk -v s="$2" 'BEGIN { exit !(s <= 0.8) }' || fail "the $1 music is the same piece ($2)"
done
pass
