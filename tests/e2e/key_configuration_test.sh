#!/usr/bin/env bash
# The key configuration ("Flight Control"): the eight bindings are captured in order, a key already
# taken in this visit is refused with the terminal bell (byte 7) on standard output, and the
# completed capture is saved to ../Common/Settings.bin as eight little-endian key codes. After a
# restart the saved keys drive the title menu and the game, and the old arrow keys no longer do.
source "$(dirname "$0")/lib.sh"
e2e_init
e2e_start_game
e2e_wait_window
wait_frame_at 390

e2e_key Down
wait_frame_at 444
e2e_key Return
e2e_wait_for 10 "the key configuration screen at its first step" settings_step 9 "${DEFAULT_KEY_NAMES[@]}"
log "key configuration screen shows the default keys"

# W becomes "move up"; W again is refused for "move down", which keeps the marker.
e2e_key w
names=(W Down Left Right "Right Ctrl" Return Backspace F4)
e2e_wait_for 10 "W as move up, marker on move down" settings_step 8 "${names[@]}"
e2e_key w
sleep 0.5
LAST_SHOT=$(e2e_shot refused)
settings_step 8 "${names[@]}" >/dev/null || fail "a refused key moved the capture on"

# The rest, one by one; the old value of a later binding (here none) would be accepted too.
keys=(s a d j k Escape F5)
new_names=(S A D J K Escape F5)
for i in 0 1 2 3 4 5 6; do
  e2e_key "${keys[$i]}"
  names[$((i + 1))]=${new_names[$i]}
  if [ "$i" -lt 6 ]; then
    e2e_wait_for 10 "${new_names[$i]} taken, marker on step $((7 - i))" settings_step $((7 - i)) "${names[@]}"
  fi
done
all_taken() { settings_list "${names[@]}" && settings_done; }
e2e_wait_for 10 "all keys taken and the last line shown" all_taken
[ ! -e "$SCRATCH/Common/Settings.bin" ] || fail "Settings.bin written before the final key"

# Any key saves and returns to the title, whose hint line names the new fullscreen key.
e2e_key space
wait_frame_at 390
hint_names F5 >/dev/null || fail "the hint line does not name the new fullscreen key F5"

# SDL key codes: a letter is its ASCII code, Escape 0x1B, F5 0x4000003E (scan code 62 | 1 << 30).
expected="$(le32 77) $(le32 73) $(le32 61) $(le32 64) $(le32 6A) $(le32 6B) $(le32 1B) $(le32 4000003E)"
[ -f "$SCRATCH/Common/Settings.bin" ] || fail "no Settings.bin after a completed capture"
actual=$(hex_bytes "$SCRATCH/Common/Settings.bin")
[ "$actual" = "$expected" ] || fail "Settings.bin holds '$actual', expected '$expected'"
log "Settings.bin: $actual"

e2e_close_window
expect_exit_zero 5
[ "$(od -An -tx1 "$SCRATCH/stdout" | tr -d ' \n')" = "07" ] ||
  fail "expected exactly one bell byte on standard output, got '$(game_stdout)'"

# A new start reads the file: S and W move the frame, the arrows do nothing, K confirms.
e2e_start_game
e2e_wait_window
wait_frame_at 390
hint_names F5 >/dev/null || fail "after a restart the hint line does not name F5"
e2e_key s
wait_frame_at 444
e2e_key Down Up
sleep 0.5
LAST_SHOT=$(e2e_shot arrows)
frame_at 444 || fail "the arrow keys still move the frame after they were rebound"
e2e_key w
wait_frame_at 390

# In the game: the briefing names J, J fires (the box goes with the first shot), D moves the bird
# to the right (once the box is gone, so that it covers no part of the bird).
e2e_key k
e2e_wait_for 10 "the briefing box naming J" briefing_names J
bird_at "$LAST_SHOT" 60 200 || fail "the bird is not at (60, 200) at the start: $LAST_SHOT"
e2e_keydown j  # held for a few frames: the game fires while the key is down at a frame's end
sleep 0.15
e2e_keyup j
briefing_gone() { ! briefing_names J; }
e2e_wait_for 10 "the briefing box to go with the first shot" briefing_gone
e2e_keydown d
sleep 0.4
e2e_keyup d
sleep 0.3
LAST_SHOT=$(e2e_shot moved)
x=$(bird_x "$LAST_SHOT" 200 61 700) || fail "the bird is not on its line after D: $LAST_SHOT"
log "bird moved right to x $x"
e2e_close_window
expect_exit_zero 5
[ ! -s "$SCRATCH/stdout" ] || fail "unexpected output: $(game_stdout)"
[ "$(hex_bytes "$SCRATCH/Common/Settings.bin")" = "$expected" ] || fail "Settings.bin changed"
pass
