#!/usr/bin/env bash
# An X server that no other test can take: Xvfb chooses a free display number itself and writes
# it to a pipe once it accepts connections (-displayfd). Choosing a number first and starting a
# server on it afterwards (xvfb-run -a) lets two tests started at once choose the same one.
#
# Run as a command:  x_server.sh [WIDTHxHEIGHT] COMMAND [ARGUMENT...]
#   runs the command with DISPLAY set to a server of its own (default 1024x768, 24 bits deep),
#   stops the server afterwards and exits with the command's status (125 when no server started).
# Sourced: x_server_start [WIDTHxHEIGHT] [LOG] starts a server in the background, exports DISPLAY
#   and sets XVFB_PID (status 1 when none started); x_server_stop ends it.

XVFB_PID=""

x_server_start() {
  local size=${1:-1024x768} log=${2:-/dev/null} pipe_dir number=""
  pipe_dir=$(mktemp -d) || return 1
  mkfifo "$pipe_dir/displayfd"
  # Without autorepeat (-r): a key that xdotool, held back on a busy machine, releases late
  # would otherwise be pressed again, a menu moved twice.
  Xvfb -displayfd 3 -screen 0 "${size}x24" -r -nolisten tcp -noreset 3>"$pipe_dir/displayfd" >"$log" 2>&1 &
  XVFB_PID=$!
  read -r -t 30 number <"$pipe_dir/displayfd" || true
  rm -rf "$pipe_dir"
  if [ -z "$number" ]; then
    x_server_stop
    return 1
  fi
  export DISPLAY=":$number"
}

# Ends a process this shell started: asked with TERM, killed when still there after 5 s. A
# program that turns TERM into a request it has yet to read (SDL does) must not hold the caller.
stop_process() {
  local pid=$1 tenths=0
  kill "$pid" 2>/dev/null || return 0
  while kill -0 "$pid" 2>/dev/null && [ "$tenths" -lt 50 ]; do
    sleep 0.1
    tenths=$((tenths + 1))
  done
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}

x_server_stop() {
  [ -z "$XVFB_PID" ] || stop_process "$XVFB_PID"
  XVFB_PID=""
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  size=1024x768
  if [[ ${1:-} =~ ^[0-9]+x[0-9]+$ ]]; then
    size=$1
    shift
  fi
  [ $# -gt 0 ] || { echo "usage: $0 [WIDTHxHEIGHT] COMMAND [ARGUMENT...]" >&2; exit 2; }
  x_log=$(mktemp)
  if ! x_server_start "$size" "$x_log"; then
    echo "x_server.sh: Xvfb did not start:" >&2
    cat "$x_log" >&2
    rm -f "$x_log"
    exit 125
  fi
  rm -f "$x_log"
  trap x_server_stop EXIT
  trap 'exit 143' TERM INT
  "$@"
  exit $?
fi
