# Shared support for the end-to-end tests of the real game binary (sourced by every scenario).
#
# Each scenario gets its own X server (Xvfb picks a free display itself) and its own scratch
# tree: <scratch>/Common is a copy of the committed media, <scratch>/run the game's working
# directory, so ../Common/Settings.bin and Scores.bin of a test never touch the repository.
#
# Environment, set by CTest (tests/e2e/CMakeLists.txt):
#   ZW_GAME         the game binary
#   ZW_MEDIA        the committed media directory (assets/Common)
#   ZW_X            the X helper: close requests (WM_DELETE_WINDOW) and key codes
#   ZW_PROBE        the screenshot/image probe
#   ZW_WORK         where scratch trees are made; a failed test leaves its tree there
#   ZW_SCREEN       the X screen's size (default 1024x768)
#   ZW_WM           a window manager to start with the X server (openbox), or empty for none
#   ZW_RENDERER     a renderer for SDL to use instead of the game's own choice (opengl, software)
#   ZW_GAME_ARGS    the game's command-line options
set -uo pipefail

: "${ZW_GAME:?}" "${ZW_MEDIA:?}" "${ZW_X:?}" "${ZW_PROBE:?}" "${ZW_WORK:?}"

E2E_NAME=$(basename "$0" .sh)
E2E_START=$(date +%s.%N)
source "$(dirname "${BASH_SOURCE[0]}")/../support/x_server.sh"
SCRATCH=""
WM_PID=""
GAME_PID=""
GAME_STATUS=""
WID=""

log() {
  printf '[%s %6.1fs] %s\n' "$E2E_NAME" "$(awk -v a="$E2E_START" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')" "$*"
}

# Ends the test as failed. Written to standard error, so that a failure inside a command
# substitution is seen too (it ends only that subshell; the caller then fails on its result).
fail() {
  {
    log "FAIL: $*"
    if [ -n "$SCRATCH" ] && [ -s "$SCRATCH/stdout" ]; then
      log "game's standard output:"
      cat -v "$SCRATCH/stdout"
      echo
    fi
  } >&2
  E2E_KEEP=1
  exit 1
}

e2e_cleanup() {
  local status=$?
  [ -z "$GAME_PID" ] || stop_process "$GAME_PID"
  [ -z "$WM_PID" ] || stop_process "$WM_PID"
  x_server_stop
  if [ "$status" -eq 0 ] && [ -z "${E2E_KEEP:-}" ] && [ -n "$SCRATCH" ]; then
    rm -rf "$SCRATCH"
  elif [ -n "$SCRATCH" ]; then
    echo "[$E2E_NAME] scratch tree kept in $SCRATCH"
  fi
}
trap e2e_cleanup EXIT

# Makes the scratch tree with a fresh copy of the media and starts an X server for this test.
e2e_init() {
  mkdir -p "$ZW_WORK"
  SCRATCH=$(mktemp -d "$ZW_WORK/$E2E_NAME.XXXXXX")
  cp -r "$ZW_MEDIA" "$SCRATCH/Common"
  rm -f "$SCRATCH/Common/Settings.bin" "$SCRATCH/Common"/Scores.bin*
  mkdir -p "$SCRATCH/run" "$SCRATCH/shots"
  e2e_start_x
}

# Starts Xvfb on a display number of its own choosing and exports DISPLAY.
e2e_start_x() {
  x_server_start "${ZW_SCREEN:-1024x768}" "$SCRATCH/xvfb.log" || fail "Xvfb did not start (see $SCRATCH/xvfb.log)"
  log "X server on $DISPLAY (${ZW_SCREEN:-1024x768})"
  if [ -n "${ZW_WM:-}" ]; then
    "$ZW_WM" >"$SCRATCH/wm.log" 2>&1 &
    WM_PID=$!
    # A window manager announces itself on the root window once it runs.
    local tries=0
    until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
      tries=$((tries + 1))
      [ "$tries" -lt 100 ] || fail "$ZW_WM did not start (see $SCRATCH/wm.log)"
      sleep 0.1
    done
    log "window manager $ZW_WM running"
  fi
}

# Starts the game in the run directory: e2e_start_game [VAR=value...] (extra environment).
# Standard output goes to $SCRATCH/stdout, standard error to $SCRATCH/stderr.
# E2E_PROGRAM and E2E_RUN_DIR, when set, name another program and working directory; the array
# E2E_AS, when set, a command that runs it as another user.
E2E_AS=()
e2e_start_game() {
  GAME_STATUS=""
  WID=""
  # shellcheck disable=SC2086
  (cd "${E2E_RUN_DIR:-$SCRATCH/run}" &&
    exec "${E2E_AS[@]}" env SDL_AUDIODRIVER=dummy ${ZW_RENDERER:+SDL_RENDER_DRIVER=$ZW_RENDERER} "$@" \
      "${E2E_PROGRAM:-$ZW_GAME}" ${ZW_GAME_ARGS:-}) \
    >"$SCRATCH/stdout" 2>"$SCRATCH/stderr" &
  GAME_PID=$!
  log "game started (pid $GAME_PID)"
}

# Waits for the game's visible window, remembers its id in WID and gives it the keyboard focus.
# A search can fail at once when a window it reads goes away meanwhile: it is tried again.
e2e_wait_window() {
  local timeout=${1:-30}
  local deadline=$(($(date +%s) + timeout))
  WID=""
  while [ -z "$WID" ]; do
    kill -0 "$GAME_PID" 2>/dev/null || fail "the game ended before its window showed"
    [ "$(date +%s)" -lt "$deadline" ] ||
      fail "no visible window named Zellworth within ${timeout}s (unmapped: $(xdotool search --name '^Zellworth$' 2>&1 | tr '\n' ' '))"
    WID=$(timeout 5 xdotool search --onlyvisible --name '^Zellworth$' 2>/dev/null | head -n 1)
    [ -n "$WID" ] || sleep 0.2
  done
  timeout 10 xdotool windowfocus --sync "$WID" || fail "cannot focus window $WID"
  log "window $WID is visible and focused"
}

# What xdotool is given for a key symbol name. A modifier is pressed by its X key code: by name,
# xdotool presses Control_L along with Control_R. Other keys go by name, since xdotool reads a
# small number such as 9 (the code of Escape) as a key symbol.
xdotool_key() {
  case $1 in
    Control_* | Shift_* | Alt_* | Meta_* | Super_*) "$ZW_X" keycode "$1" || fail "no key code for $1" ;;
    *) echo "$1" ;;
  esac
}

# Presses and releases keys (X keysym names), one after the other.
e2e_key() {
  local name
  for name in "$@"; do
    xdotool key "$(xdotool_key "$name")"
    sleep 0.08
  done
}

# Holds a key down or lets it go (X keysym name).
e2e_keydown() {
  xdotool keydown "$(xdotool_key "$1")"
}
e2e_keyup() {
  xdotool keyup "$(xdotool_key "$1")"
}

# Takes a screenshot of the game's window; prints its path. Shots are named by the time they
# were taken, so that those kept after a failure sort in order. While E2E_PICTURE holds an area
# ("X Y W H") of the window, or of E2E_SHOT_WINDOW (root: the whole screen), the shot is of that
# area sampled back to the game's 800 x 600, so that every check below reads a scaled picture as
# it reads the window; the shot as taken is kept beside it as *-screen.png.
E2E_PICTURE=""
e2e_shot() {
  local path="$SCRATCH/shots/$(date +%H%M%S.%N | cut -c1-10)-$1.png"
  if [ -n "$E2E_PICTURE" ]; then
    local screen="${path%.png}-screen.png"
    import -window "${E2E_SHOT_WINDOW:-$WID}" "$screen" 2>>"$SCRATCH/import.log" || fail "screenshot $1 failed"
    # shellcheck disable=SC2086
    "$ZW_PROBE" unscale "$screen" $E2E_PICTURE "$path" || fail "cannot sample $screen"
  else
    import -window "$WID" "$path" 2>>"$SCRATCH/import.log" || fail "screenshot $1 failed"
  fi
  echo "$path"
}

# Polls until a command succeeds: e2e_wait_for SECONDS DESCRIPTION COMMAND... Each try may use
# the latest screenshot as $LAST_SHOT (taken just before the command runs).
LAST_SHOT=""
e2e_wait_for() {
  local seconds=$1 description=$2
  shift 2
  local deadline=$(($(date +%s) + seconds))
  while :; do
    if [ -n "$GAME_PID" ] && ! kill -0 "$GAME_PID" 2>/dev/null; then
      fail "the game ended while waiting for: $description"
    fi
    LAST_SHOT=$(e2e_shot "wait")
    if "$@" >/dev/null 2>&1; then
      return 0
    fi
    if [ "$(date +%s)" -ge "$deadline" ]; then
      fail "timed out after ${seconds}s waiting for: $description (last screenshot $LAST_SHOT)"
    fi
    rm -f "$LAST_SHOT"
    sleep 0.3
  done
}

# Succeeds when the game's window is W x H: window_is W H.
window_is() {
  eval "$(xdotool getwindowgeometry --shell "$WID")"
  [ "$WIDTH" -eq "$1" ] && [ "$HEIGHT" -eq "$2" ]
}

# Sends the window manager's close request to the game's window.
e2e_close_window() {
  "$ZW_X" close "$WID" || fail "could not send the close request"
  log "close request sent"
}

# Waits for the game to end; sets GAME_STATUS. e2e_wait_exit [SECONDS]
e2e_wait_exit() {
  local seconds=${1:-15}
  local deadline=$(($(date +%s) + seconds))
  while kill -0 "$GAME_PID" 2>/dev/null; do
    if [ "$(date +%s)" -ge "$deadline" ]; then
      fail "the game did not end within ${seconds}s"
    fi
    sleep 0.1
  done
  wait "$GAME_PID"
  GAME_STATUS=$?
  GAME_PID=""
  log "game ended with status $GAME_STATUS"
}

# Checks that the game ended with status 0.
expect_exit_zero() {
  e2e_wait_exit "${1:-15}"
  [ "$GAME_STATUS" -eq 0 ] || fail "exit status $GAME_STATUS, expected 0"
}

# The committed media file of that name (from the scratch copy the game reads).
media() {
  echo "$SCRATCH/Common/$1"
}

# Pixel (r g b) of an image.
pixel() {
  "$ZW_PROBE" pixel "$1" "$2" "$3"
}

# Text drawn from the font: expect_text SHOT X Y STYLE LEFT RIGHT TEXT... ; fails the test if not.
expect_text() {
  local shot=$1 x=$2 y=$3 style=$4 left=$5 right=$6
  shift 6
  local out
  out=$("$ZW_PROBE" text "$shot" "$x" "$y" "$(media Font.png)" "$style" "$left" "$right" "$@") ||
    fail "text $(printf '%q ' "$@")not found at ($x, $y) in $shot: $out"
}

# Same as a condition for e2e_wait_for (uses $LAST_SHOT).
shows_text() {
  local x=$1 y=$2 style=$3 left=$4 right=$5
  shift 5
  "$ZW_PROBE" text "$LAST_SHOT" "$x" "$y" "$(media Font.png)" "$style" "$left" "$right" "$@"
}

# A cell of a media sheet drawn 1:1 at (X, Y) of $LAST_SHOT: shows_sprite X Y SHEET SX SY W H.
shows_sprite() {
  "$ZW_PROBE" sprite "$LAST_SHOT" "$1" "$2" "$(media "$3")" "$4" "$5" "$6" "$7"
}

# The standard output of the game with the bell shown as ^G.
game_stdout() {
  cat -v "$SCRATCH/stdout"
}

pass() {
  log "PASS"
  exit 0
}

# --- Title screen -------------------------------------------------------------------------------

# The selection frame's rows on the title screen (window pixels) and its box.
TITLE_ROWS="390 444 498"
FRAME_X=373
FRAME_W=418
FRAME_H=50

# Number of pixels of the frame's one-pixel outline at ROW that have the colour R G B.
outline_count() {
  local shot=$1 row=$2 r=$3 g=$4 b=$5 total=0 part
  for part in "$FRAME_X $row $FRAME_W 1" "$FRAME_X $((row + FRAME_H - 1)) $FRAME_W 1" \
              "$FRAME_X $row 1 $FRAME_H" "$((FRAME_X + FRAME_W - 1)) $row 1 $FRAME_H"; do
    # shellcheck disable=SC2086
    total=$((total + $("$ZW_PROBE" count "$shot" $part "$r" "$g" "$b")))
  done
  echo "$total"
}
OUTLINE_PIXELS=$((2 * FRAME_W + 2 * FRAME_H))

# Pixels of the outline at ROW where the screenshot differs from the title picture.
outline_differs_from_picture() {
  local shot=$1 row=$2 total=0 part
  for part in "$FRAME_X $row $FRAME_W 1" "$FRAME_X $((row + FRAME_H - 1)) $FRAME_W 1" \
              "$FRAME_X $row 1 $FRAME_H" "$((FRAME_X + FRAME_W - 1)) $row 1 $FRAME_H"; do
    # shellcheck disable=SC2086
    total=$((total + $("$ZW_PROBE" differ "$shot" "$(media Title.png)" $part)))
  done
  echo "$total"
}

# The picture itself must not be white where the frame is drawn, or the frame could not be seen.
expect_title_picture_not_white_under_frames() {
  local row
  for row in $TITLE_ROWS; do
    [ "$(outline_count "$(media Title.png)" "$row" 255 255 255)" -lt "$OUTLINE_PIXELS" ] ||
      fail "Title.png is all white under the frame of row $row; the frame cannot be told apart"
  done
}

# Succeeds when the frame is drawn in white at ROW alone and the two other rows show the title
# picture untouched. Reads $LAST_SHOT (for e2e_wait_for) or the given screenshot.
frame_at() {
  local want=$1 shot=${2:-$LAST_SHOT} row
  for row in $TITLE_ROWS; do
    if [ "$row" -eq "$want" ]; then
      [ "$(outline_count "$shot" "$row" 255 255 255)" -eq "$OUTLINE_PIXELS" ] || return 1
    else
      [ "$(outline_differs_from_picture "$shot" "$row")" -eq 0 ] || return 1
    fi
  done
}

# Waits until the title screen shows the frame at ROW.
wait_frame_at() {
  e2e_wait_for "${2:-10}" "the title screen with the frame at y $1" frame_at "$1"
  log "title frame at y $1"
}

# The hint line at the bottom of the title screen naming the fullscreen key.
hint_names() {
  shows_text 290 583 2 2 800 "Toggle fullscreen : " "$1"
}

# --- Game ---------------------------------------------------------------------------------------

# The bird's normal look, any of its four wing-beat cells of Bird.png, drawn 1:1 at (X, Y).
bird_at() {
  local shot=$1 x=$2 y=$3 cell
  for cell in 0 160 320 480; do
    if "$ZW_PROBE" sprite "$shot" "$x" "$y" "$(media Bird.png)" "$cell" 0 160 160 >/dev/null; then
      return 0
    fi
  done
  return 1
}

# The x at which the bird's normal look is drawn on the line Y, searched from X0 to X1.
bird_x() {
  local shot=$1 y=$2 x0=$3 x1=$4 cell
  for cell in 0 160 320 480; do
    if "$ZW_PROBE" findx "$shot" "$y" "$x0" "$x1" "$(media Bird.png)" "$cell" 0 160 160; then
      return 0
    fi
  done
  return 1
}

# The briefing box of a new game, naming the attack key.
BRIEFING_1='A large formation of butterflies approaches your sector. Keep your air space clear by pressing "'
BRIEFING_3=$'".\n\nYou can configure the keys in "Flight Control" from the main menu.'
briefing_names() {
  shows_text 325 205 3 325 635 "$BRIEFING_1" "$1" "$BRIEFING_3"
}

# The score line in the top-left corner.
score_is() {
  shows_text 0 -15 2 0 800 $'\nScore: '"$1"
}

# The paused picture's line of keys, with the default bindings.
shows_paused() {
  shows_text 160 305 2 0 800 "Resume: P, Escape or Pause    Give up: Backspace"
}

# The game-over screen's first line.
GAME_OVER_LINE='Happy Birthday, you filthy animal!'
shows_game_over() {
  shows_text 350 450 2 0 800 "$GAME_OVER_LINE"
}

# --- Key configuration ("Flight Control") ---------------------------------------------------------

SETTINGS_HEADER=$'\n   -- Settings --\n\nPress the key to perform the following action\n\n   move up           : '
SETTINGS_LABELS=(
  $'\n   move down         : '
  $'\n   move left         : '
  $'\n   move right        : '
  $'\n   attack            : '
  $'\n   interact, confirm : '
  $'\n   close, cancel     : '
  $'\n   toggle fullscreen : '
)
DEFAULT_KEY_NAMES=(Up Down Left Right "Right Ctrl" Return Backspace F4)

# The key configuration screen listing the eight key names given (in binding order).
settings_list() {
  local names=("$@") i
  local texts=("$SETTINGS_HEADER" "${names[0]}")
  for i in 0 1 2 3 4 5 6; do
    texts+=("${SETTINGS_LABELS[$i]}" "${names[$((i + 1))]}")
  done
  shows_text 2 0 0 2 800 "${texts[@]}"
}
# The marker '>' on the line of capture step STEP (9: move up ... 2: toggle fullscreen).
settings_marker_at() {
  shows_text 12 $(((14 - $1) * 15)) 0 12 800 ">"
}
# The last line, shown once all eight keys are taken.
settings_done() {
  shows_text 2 180 0 2 800 $'\n\nPress any key to return to title screen.'
}
# The screen at capture step STEP with the given eight key names.
settings_step() {
  local step=$1
  shift
  settings_list "$@" && settings_marker_at "$step"
}

# The bytes of a file in hexadecimal, one line.
hex_bytes() {
  od -An -v -tx1 "$1" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'
}
# Four little-endian bytes of a 32-bit key code given in hexadecimal (e.g. 4000003E).
le32() {
  local v=$((16#$1))
  printf '%02x %02x %02x %02x' $((v & 255)) $(((v >> 8) & 255)) $(((v >> 16) & 255)) $(((v >> 24) & 255))
}

# Plays until the bird has lost its hit points: with the attack key held by the caller (firing
# also hastens the butterflies), sweeps the bird up and down through their paths until the
# game-over screen shows, or fails after SECONDS. Sets $LAST_SHOT to the game-over screen.
# That screen drops keys only during its first second, so every key-down is sent less than a
# second after a screenshot begun without the game-over screen (under load, shooting and reading
# one can take most of a second: then another is taken instead).
fight_until_game_over() {
  local seconds=$1 key=Up started
  local deadline=$(($(date +%s) + seconds))
  while :; do
    [ -n "$GAME_PID" ] && kill -0 "$GAME_PID" 2>/dev/null || fail "the game ended during the fight"
    started=$(date +%s%N)
    LAST_SHOT=$(e2e_shot fight)
    if shows_game_over >/dev/null 2>&1; then
      return 0
    fi
    rm -f "$LAST_SHOT"
    [ "$(date +%s)" -lt "$deadline" ] || fail "the bird still flies after ${seconds}s"
    [ $(($(date +%s%N) - started)) -lt 800000000 ] || continue
    e2e_keydown "$key"
    sleep 0.6
    e2e_keyup "$key"
    if [ "$key" = Up ]; then key=Down; else key=Up; fi
  done
}
