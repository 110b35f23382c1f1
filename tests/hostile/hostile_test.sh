#!/usr/bin/env bash
# Runs the real game against hostile files and environments, each case from its own scratch run
# directory with its own copy of the media in ../Common/: settings files of every awkward size
# and kind, a FIFO or a device at the settings' or the scores' path, every media file missing, empty, cut short or of the wrong type, no ../Common/ at
# all, no audio driver, no display, and saves that cannot be written. Each case must give its
# messages (or none), exit with status 0 (a game that runs is stopped with SIGTERM, which SDL
# turns into a close request) or 1 (a failed start-up), and leave the player's files as they were.
# The game runs as an ordinary user (tests/support/player.sh), so that files and directories the
# player made read-only refuse it as they would at home.
# Usage, under an X server: hostile_test.sh <game binary> <media directory>
set -u
source "$(dirname "$0")/../support/player.sh"
binary=$1
assets=$2
scratch=$(mktemp -d)
trap 'chmod -R u+rwx "$scratch" 2>/dev/null; rm -rf "$scratch"' EXIT
umask 022
player_prepare || exit 1
if [ ${#PLAYER[@]} -gt 0 ]; then
  # The user gets the game, the X server's cookie and each case's files from the scratch tree.
  chmod 755 "$scratch"
  cp "$binary" "$scratch/zellworth"
  binary=$scratch/zellworth
  if [ -n "${XAUTHORITY:-}" ]; then
    cp "$XAUTHORITY" "$scratch/xauthority"
    player_owns "$scratch/xauthority"
    export XAUTHORITY=$scratch/xauthority
  fi
fi

images=(Butterfly Bird Title Font Feather Background0 Background1 Projectiles)
sounds=(00 01 02 03 04 05 06 07 08 09 10 11 12 13)
passed=0
failed=0
case_name=
dir=
case_ok=1

fail() {
  echo "FAIL [$case_name]: $*"
  case_ok=0
}

# A fresh <scratch>/<case>/run with a copy of every media file in <scratch>/<case>/Common.
prepare() {
  case_name=$1
  case_ok=1
  dir=$scratch/$case_name
  mkdir -p "$dir/run" "$dir/Common"
  local asset
  for asset in "$assets"/*; do
    case $(basename "$asset") in Settings.bin* | Scores.bin*) continue ;; esac
    cp "$asset" "$dir/Common/"
  done
}

# Names, sizes, kinds and contents of everything in ../Common/ (root reads mode-000 files too).
fingerprint() {
  [ -d "$dir/Common" ] || { echo "no Common"; return; }
  (cd "$dir/Common" && find . -mindepth 1 -printf '%p %s %m %y\n' | sort &&
    find . -type f -exec sha256sum {} + | sort)
}

# Runs the game from the case's run directory with extra environment settings ("NAME=value", or
# "-u NAME" to unset one). Mode "exits": the start-up fails and the game ends by itself with
# status 1. Mode "runs": its window must appear and it must keep running until SIGTERM, then end
# with status 0; a function named by KEYS, if set, sends keys before that.
run_game() {
  local mode=$1
  shift
  local unset=() set=(SDL_AUDIODRIVER=dummy)
  while [ $# -gt 0 ]; do
    if [ "$1" = -u ]; then
      unset+=(-u "$2")
      shift 2
    else
      set+=("$1")
      shift
    fi
  done
  player_owns "$dir"
  (cd "$dir/run" && exec "${PLAYER[@]}" env "${unset[@]}" "${set[@]}" "$binary" >"$dir/stdout" 2>"$dir/stderr") &
  local pid=$!
  if [ "$mode" = runs ]; then
    local window
    window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$pid" --name '^Zellworth$' 2>/dev/null | head -1)
    if [ -z "$window" ]; then
      fail "no window appeared"
    else
      sleep 0.3
      if [ -n "${KEYS:-}" ]; then "$KEYS" "$window"; fi
      kill -0 "$pid" 2>/dev/null || fail "the game ended before it was asked to"
    fi
    kill -TERM "$pid" 2>/dev/null
  fi
  local waited=0
  while kill -0 "$pid" 2>/dev/null && [ $waited -lt 200 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  if kill -0 "$pid" 2>/dev/null; then
    fail "the game did not end"
    kill -KILL "$pid"
  fi
  wait "$pid"
  local status=$? expected=0
  [ "$mode" = runs ] || expected=1
  [ $status -eq $expected ] || fail "exit status $status, expected $expected"
}

finish() {
  if [ $case_ok -eq 1 ]; then
    passed=$((passed + 1))
    echo "ok   [$case_name]"
  else
    failed=$((failed + 1))
    echo "---- stdout of $case_name:"
    cat -v "$dir/stdout" 2>/dev/null | head -30
  fi
}

expect_stdout() {
  local expected=$1
  local actual
  actual=$(cat "$dir/stdout")
  [ "$actual" = "$expected" ] || fail "printed $(printf '%q' "$actual"), expected $(printf '%q' "$expected")"
}

# The load messages, one per bad file in load order, then the summary line. Arguments: the bad
# images and sounds as "image:Name" or "sound:NN".
expect_media_failure() {
  local lines=()
  mapfile -t lines <"$dir/stdout"
  local expected=("$@")
  if [ ${#lines[@]} -ne $((${#expected[@]} + 1)) ]; then
    fail "${#lines[@]} lines printed, expected $((${#expected[@]} + 1))"
    return
  fi
  local index=0
  for item in "${expected[@]}"; do
    local prefix
    case $item in
      image:*) prefix="Unable to load image ../Common/${item#image:}.png! SDL Error: " ;;
      sound:*) prefix="Failed to load snd${item#sound:} sound effect! SDL_mixer Error: " ;;
    esac
    [[ "${lines[$index]}" == "$prefix"* ]] || fail "line $((index + 1)) is '${lines[$index]}', expected '$prefix...'"
    index=$((index + 1))
  done
  [ "${lines[$index]}" = "Failed to load media!" ] || fail "last line is '${lines[$index]}'"
}

settings_record() {  # the 32 bytes of eight keycodes, little-endian
  local keycode
  for keycode in "$@"; do
    printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((keycode & 255)) $(((keycode >> 8) & 255)) \
      $(((keycode >> 16) & 255)) $(((keycode >> 24) & 255)))"
  done
}

# --- Settings files the game must read without a word and leave alone ---------------------------
settings_case() {
  local name=$1
  prepare "settings-$name"
  "make_settings_$name" "$dir/Common/Settings.bin"
  local before
  before=$(fingerprint)
  run_game runs
  expect_stdout ""
  [ "$(fingerprint)" = "$before" ] || fail "the player's files changed"
  finish
}
make_settings_size0() { : >"$1"; }
make_settings_size3() { head -c 3 /dev/urandom >"$1"; }
make_settings_size12() { settings_record 97 98 99 | head -c 12 >"$1"; }
make_settings_size31() { head -c 31 /dev/urandom >"$1"; }
make_settings_size32() { head -c 32 /dev/urandom >"$1"; }
make_settings_size33() { head -c 33 /dev/urandom >"$1"; }
make_settings_1MiB() { head -c 1048576 /dev/urandom >"$1"; }
make_settings_extremes() { settings_record -2147483648 2147483647 -1 0 10 1073741824 1073742335 1207959552 >"$1"; }
make_settings_duplicates() { settings_record 13 13 13 13 13 13 13 13 >"$1"; }
make_settings_directory() { mkdir "$1" && : >"$1/inside"; }
make_settings_unreadable() { settings_record 97 98 99 100 101 102 103 104 >"$1" && chmod 000 "$1"; }
make_settings_stale_temporary() { mkdir -p "$1.tmp" && settings_record 97 98 99 100 101 102 103 104 >"$1"; }

for name in size0 size3 size12 size31 size32 size33 1MiB extremes duplicates directory unreadable stale_temporary; do
  settings_case "$name"
done
for round in 1 2 3 4 5; do
  eval "make_settings_random$round() { head -c \$((RANDOM % 64)) /dev/urandom >\"\$1\"; }"
  settings_case "random$round"
done

# --- A FIFO without a writer or a device at a save path: one line, no wait, left alone ------------
special_case() {
  local name=$1 file=$2 expected=$3
  prepare "special-$name"
  case $name in
    *fifo) mkfifo "$dir/Common/$file" ;;
    *device) ln -s /dev/zero "$dir/Common/$file" ;;
  esac
  local before
  before=$(fingerprint)
  run_game runs
  expect_stdout "$expected"
  [ "$(fingerprint)" = "$before" ] || fail "the player's files changed"
  finish
}
for kind in fifo device; do
  special_case "settings-$kind" Settings.bin "../Common/Settings.bin is not a regular file; the keys keep their bindings."
  special_case "scores-$kind" Scores.bin "../Common/Scores.bin is not a regular file; the best scores start empty."
done

# --- Saving: the key configuration screen captures a..h and saves on the next key -----------------
capture_keys() {
  local window=$1
  xdotool windowfocus --sync "$window" 2>/dev/null
  xdotool key --delay 60 Down Return
  sleep 0.3
  xdotool key --delay 60 a b c d e f g h space
  sleep 0.5
}
save_case() {
  local name=$1 expected_stdout=$2
  prepare "save-$name"
  "make_save_$name" "$dir/Common/Settings.bin"
  local before
  before=$(fingerprint)
  KEYS=capture_keys run_game runs
  expect_stdout "$expected_stdout"
  if [ -z "$expected_stdout" ]; then
    local settings=$dir/Common/Settings.bin
    [ -f "$settings" ] && [ ! -L "$settings" ] && cmp -s "$settings" <(settings_record 97 98 99 100 101 102 103 104) ||
      fail "Settings.bin is not a file of the captured keys"
    [ ! -e "$settings.tmp" ] && [ ! -L "$settings.tmp" ] || fail "a temporary file was left behind"
    local mode
    mode=$(stat -c %a "$settings")
    [ "$mode" = "$(cat "$dir/mode")" ] || fail "Settings.bin has mode $mode, was $(cat "$dir/mode")"
  else
    [ "$(fingerprint)" = "$before" ] || fail "the player's files changed"
  fi
  if declare -F "check_save_$name" >/dev/null; then "check_save_$name"; fi
  finish
}
# The arrows, Right Ctrl and Return as by default (the title menu is driven with them), then x, y.
old_bindings() { settings_record 1073741906 1073741905 1073741904 1073741903 1073742052 13 120 121; }
# Successful saves keep the old file's mode, whatever the umask would give a new file.
old_file_with_mode() { old_bindings >"$1" && chmod "$2" "$1" && echo "$2" >"$dir/mode"; }
make_save_writable() { old_file_with_mode "$1" 644; }
make_save_group_only() { old_file_with_mode "$1" 640; }
# A link planted at the temporary name, to a file of the player's outside the game's directory:
# the save must neither write through it nor install it as the settings file.
make_save_temporary_is_link() {
  old_file_with_mode "$1" 644 && echo "the player's own file" >"$dir/outside" && ln -s ../outside "$1.tmp"
}
check_save_temporary_is_link() {
  [ "$(cat "$dir/outside")" = "the player's own file" ] || fail "the save wrote through the link"
}
make_save_temporary_is_directory() { old_bindings >"$1" && mkdir "$1.tmp"; }
make_save_target_is_directory() { mkdir "$1" && : >"$1/inside"; }
make_save_read_only_file() { old_bindings >"$1" && chmod 444 "$1"; }
make_save_read_only_directory() { old_bindings >"$1" && chmod 555 "$(dirname "$1")"; }
for name in writable group_only temporary_is_link; do
  save_case "$name" ""
done
for name in temporary_is_directory target_is_directory read_only_file read_only_directory; do
  save_case "$name" "Error opening file Settings.bin"
done

# --- Media: every file broken the same way, then one file at a time ------------------------------
break_file() {  # kind path
  local kind=$1 path=$2
  case $kind in
    missing) rm -f "$path" ;;
    empty) : >"$path" ;;
    truncated) head -c 24 "$assets/$(basename "$path")" >"$path" ;;
    wrongtype)
      case $path in
        *.png) cp "$assets/snd00.wav" "$path" ;;
        *.wav) cp "$assets/Feather.png" "$path" ;;
        *.mid) echo "not music at all" >"$path" ;;
      esac ;;
  esac
}
all_bad_files() {
  local items=()
  for image in "${images[@]}"; do items+=("image:$image"); done
  for sound in "${sounds[@]}"; do items+=("sound:$sound"); done
  printf '%s\n' "${items[@]}"
}
for kind in missing empty truncated wrongtype; do
  prepare "media-all-$kind"
  for image in "${images[@]}"; do break_file "$kind" "$dir/Common/$image.png"; done
  for sound in "${sounds[@]}"; do break_file "$kind" "$dir/Common/snd$sound.wav"; done
  before=$(fingerprint)
  run_game exits
  mapfile -t expected < <(all_bad_files)
  expect_media_failure "${expected[@]}"
  [ "$(fingerprint)" = "$before" ] || fail "the player's files changed"
  finish
done
kinds=(missing empty truncated wrongtype)
index=0
for item in $(all_bad_files); do
  kind=${kinds[$((index % 4))]}
  case $item in
    image:*) file=${item#image:}.png ;;
    sound:*) file=snd${item#sound:}.wav ;;
  esac
  prepare "media-$kind-$file"
  break_file "$kind" "$dir/Common/$file"
  before=$(fingerprint)
  run_game exits
  expect_media_failure "$item"
  [ "$(fingerprint)" = "$before" ] || fail "the player's files changed"
  finish
  index=$((index + 1))
done

# Music is optional: missing, empty or text in .mid plays nothing and says nothing.
for kind in missing empty wrongtype; do
  prepare "music-$kind"
  for piece in mus01 mus02 mus03; do break_file "$kind" "$dir/Common/$piece.mid"; done
  before=$(fingerprint)
  run_game runs
  expect_stdout ""
  [ "$(fingerprint)" = "$before" ] || fail "the player's files changed"
  finish
done

# --- Environments ------------------------------------------------------------------------------
prepare "no-common-directory"
rm -rf "$dir/Common"
run_game exits
mapfile -t expected < <(all_bad_files)
expect_media_failure "${expected[@]}"
[ ! -e "$dir/Common" ] || fail "a ../Common/ was created"
finish

expect_init_failure() {
  local lines=()
  mapfile -t lines <"$dir/stdout"
  [ ${#lines[@]} -eq 2 ] || fail "${#lines[@]} lines printed, expected 2"
  [[ "${lines[0]:-}" == "SDL could not initialize! SDL Error: "?* ]] || fail "first line '${lines[0]:-}'"
  [ "${lines[1]:-}" = "Failed to initialize!" ] || fail "second line '${lines[1]:-}'"
}

prepare "no-audio-device"
before=$(fingerprint)
run_game exits SDL_AUDIODRIVER=nonexistent
expect_init_failure
[ "$(fingerprint)" = "$before" ] || fail "the player's files changed"
finish

prepare "no-display"
before=$(fingerprint)
run_game exits -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER
expect_init_failure
[ "$(fingerprint)" = "$before" ] || fail "the player's files changed"
finish

echo "hostile: $passed passed, $failed failed"
[ $failed -eq 0 ]
