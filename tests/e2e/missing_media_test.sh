#!/usr/bin/env bash
# Missing media: every missing image and sound gets its own line on standard output, then
# "Failed to load media!", and the program ends by itself with status 1. A missing piece of music
# is not reported and the game runs without it.
source "$(dirname "$0")/lib.sh"
e2e_init

rm "$SCRATCH/Common/Feather.png" "$SCRATCH/Common/snd05.wav" "$SCRATCH/Common/snd07.wav"
e2e_start_game
e2e_wait_exit 20
[ "$GAME_STATUS" -eq 1 ] || fail "exit status $GAME_STATUS after a failed start-up, expected 1"

mapfile -t lines <"$SCRATCH/stdout"
[ "${#lines[@]}" -eq 4 ] || fail "expected 4 lines of output, got ${#lines[@]}: $(game_stdout)"
# Each message carries the library's own error text behind the fixed part.
[[ ${lines[0]} == "Unable to load image ../Common/Feather.png! SDL Error: "?* ]] ||
  fail "line 1 is '${lines[0]}'"
[[ ${lines[1]} == "Failed to load snd05 sound effect! SDL_mixer Error: "?* ]] ||
  fail "line 2 is '${lines[1]}'"
[[ ${lines[2]} == "Failed to load snd07 sound effect! SDL_mixer Error: "?* ]] ||
  fail "line 3 is '${lines[2]}'"
[ "${lines[3]}" = "Failed to load media!" ] || fail "line 4 is '${lines[3]}'"
log "missing images and sounds reported: $(game_stdout | tr '\n' '|')"

# The title music missing: no message, and the title screen works as ever.
cp "$ZW_MEDIA/Feather.png" "$ZW_MEDIA/snd05.wav" "$ZW_MEDIA/snd07.wav" "$SCRATCH/Common/"
rm "$SCRATCH/Common/mus01.mid"
e2e_start_game
e2e_wait_window
e2e_wait_for 10 "the title picture" shows_sprite 0 0 Title.png 0 0 800 380
e2e_close_window
expect_exit_zero 5
[ ! -s "$SCRATCH/stdout" ] || fail "a missing piece of music was reported: $(game_stdout)"
pass
