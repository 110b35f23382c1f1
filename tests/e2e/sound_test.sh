#!/usr/bin/env bash
# What the player hears, captured with SDL's disk audio driver (signed 16-bit little-endian,
# 44100 Hz, stereo): the title music, the game music and the game-over music are each audible and
# not clipped, they are three different pieces, and the title piece plays again from its start
# after a game, sample for sample. In a second run without the music files, the game is silent
# until the effects (the menu's sound, the shots) are heard. Each effect heard, the bird's hits
# during the fight included, is mixed at the volume the game gives it.
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
# A loaded machine can hold the audio thread back, so that the capture falls behind the clock:
# a window is waited for until the capture holds it, and a key that sets off the next sound is
# pressed only then, so that whatever it sets off lies after the window.
capture_until() {
  local deadline=$(($(date +%s) + 60))
  until awk -v now="$(mark)" -v until_="$1" 'BEGIN { exit !(now >= until_) }'; do
    [ "$(date +%s)" -lt "$deadline" ] || fail "the capture did not reach ${1}s in 60s (at $(mark)s)"
    sleep 0.1
  done
}
# A window of LENGTH seconds from START + SKIP, once captured: window START SKIP LENGTH prints
# "FROM LENGTH".
window() {
  capture_until "$(plus "$1" "$(plus "$2" "$3")")"
  echo "$(plus "$1" "$2") $3"
}
# Where a piece begins, once captured: a window aligned on it holds the same passage however late
# the screen is seen. audio_probe first|again ARGUMENTS... (see audio_probe.cpp) DESCRIPTION
piece_start() {
  local deadline=$(($(date +%s) + 30)) at
  until at=$("$ZW_AUDIO" "$1" "$audio" "${@:2:$#-2}"); do
    [ "$(date +%s)" -lt "$deadline" ] || fail "${*: -1} is not in the capture after 30 s"
    sleep 0.1
  done
  echo "$at"
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
silent() {
  local what=$1 start=$2 length=$3 rms
  rms=$(sox_stat "$start" "$length" "RMS +amplitude")
  log "$what: from ${start}s for ${length}s, RMS $rms"
  awk -v r="$rms" 'BEGIN { exit !(r < 0.0002) }' || fail "$what is not silent (RMS $rms)"
}
# The effect FILE, found in the capture's window, was mixed at the volume the game sets for it
# (of the mixer's 128): effect_volume WHAT START LENGTH FILE VOLUME [AT_ONCE]. Where the effect
# can start twice in one frame (two hits at once), AT_ONCE 2 also takes twice the volume.
effect_volume() {
  local volume
  volume=$("$ZW_AUDIO" volume "$audio" "$2" "$3" "$(media "$4")") || fail "cannot measure $4 in the $1"
  log "$1: $4 mixed at volume $volume, expected $5"
  awk -v v="$volume" -v e="$5" -v most="${6:-1}" 'BEGIN { for (k = 1; k <= most; k++)
    if (v > k * e * 0.88 && v < k * e * 1.12) exit 0; exit 1 }' ||
    fail "the $1 ($4) is mixed at volume $volume, not $5"
}
similarity() {
  "$ZW_AUDIO" similarity "$audio" "$1" "$2" "$3" || fail "cannot compare $1 and $2"
}

e2e_start_game SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$audio"
e2e_wait_window
wait_frame_at 390
# The title piece is heard twice for 6 s from its first sample.
title_start=$(piece_start first "the title piece") || exit 1
title=$(window "$title_start" 0 6) || exit 1

e2e_key Return
e2e_wait_for 10 "the briefing box" briefing_names "Right Ctrl"
game_start=$(mark)
game=$(window "$game_start" 0.3 3) || exit 1

# The first shot starts the butterflies; the bird then fights without firing, so that neither its
# own shots nor the butterflies they destroy sound over its hits. The key is held until the shot
# is seen: a press and release within one frame fire nothing.
briefing_gone() { ! briefing_names "Right Ctrl"; }
e2e_keydown Control_R
e2e_wait_for 10 "the first shot, which takes the briefing box away" briefing_gone
e2e_keyup Control_R
fight_until_game_over 150
over=$(window "$(mark)" 1.5 3) || exit 1
over_end=$(mark)

e2e_key space
wait_frame_at 390
again_start=$(piece_start again "$title_start" "$over_end" "the title piece's start after the game") || exit 1
again=$(window "$again_start" 0 6) || exit 1
e2e_close_window
expect_exit_zero 5

# Until well into the game-over screen, which plays no effect: a loaded machine may not have
# written the last hit's sound whole by the time the screen is seen.
effect_volume "bird being hit" "$game_start" "$(plus "$over_end" "-$game_start")" snd06.wav 30 2
# shellcheck disable=SC2086
{
  audible "title music" $title >/dev/null
  audible "game music" $game >/dev/null
  audible "game-over music" $over >/dev/null
  audible "title music after the game" $again >/dev/null
}

# Two windows compared over the shorter one's length: compare "START LENGTH" "START LENGTH".
compare() {
  local a=($1) b=($2)
  similarity "${a[0]}" "${b[0]}" "$(awk -v x="${a[1]}" -v y="${b[1]}" 'BEGIN { print (x < y ? x : y) }')"
}
same=$(compare "$title" "$again")
title_game=$(compare "$title" "$game")
game_over=$(compare "$game" "$over")
title_over=$(compare "$title" "$over")
log "spectral similarity: title/title again $same, title/game $title_game, game/game over $game_over, title/game over $title_over"
# The same piece measures near 1 (0.99 and more here), different pieces well below (about 0.5).
awk -v s="$same" 'BEGIN { exit !(s >= 0.9) }' || fail "the title music differs after a game ($same)"
for pair in "title/game $title_game" "game/game-over $game_over" "title/game-over $title_over"; do
  set -- $pair
  awk -v s="$2" 'BEGIN { exit !(s <= 0.8) }' || fail "the $1 music is the same piece ($2)"
done

# Without music: silence, then the menu's sound on Down and Up, silence in the briefing, and the
# shots while the attack key is held (the first butterfly comes three seconds after the first
# shot, so these are the bird's shots alone).
audio="$SCRATCH/effects.raw"
rm "$SCRATCH"/Common/mus0?.mid
e2e_start_game SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$audio"
e2e_wait_window
wait_frame_at 390
quiet_title=$(window "$(mark)" 0.1 0.8) || exit 1
menu_start=$(mark)
e2e_key Down
wait_frame_at 444
e2e_key Up
wait_frame_at 390
menu=$(window "$menu_start" 0 1) || exit 1
e2e_key Return
e2e_wait_for 10 "the briefing box" briefing_names "Right Ctrl"
quiet_game=$(window "$(mark)" 0.2 1.2) || exit 1
shots_start=$(mark)
e2e_keydown Control_R
shots=$(window "$shots_start" 0 2) || exit 1
e2e_keyup Control_R
e2e_close_window
expect_exit_zero 5

# shellcheck disable=SC2086
{
  silent "title without music" $quiet_title
  audible "menu sound" $menu >/dev/null
  silent "briefing without music" $quiet_game
  audible "shots" $shots >/dev/null
  effect_volume "menu sound" $menu snd13.wav 128
  effect_volume "shots" $shots snd01.wav 30
  shots=$("$ZW_AUDIO" onsets "$audio" $shots)
}
log "sudden rises while firing: $shots"
[ "$shots" -ge 4 ] || fail "fewer than 4 shots heard in 2 s of fire ($shots)"
pass
