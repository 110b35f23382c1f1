#!/usr/bin/env bash
# x_server.sh [WIDTHxHEIGHT] COMMAND [ARGUMENT...]: runs the command on an Xvfb of its own (default
# 1024x768, 24 bits, no key autorepeat) and exits with its status (125 when no server started).
# Xvfb picks a free display itself (-displayfd), so that tests started at once never share one.
size=1024x768
if [[ ${1:-} =~ ^[0-9]+x[0-9]+$ ]]; then size=$1; shift; fi
[ $# -gt 0 ] || { echo "usage: $0 [WIDTHxHEIGHT] COMMAND [ARGUMENT...]" >&2; exit 2; }
pipe_dir=$(mktemp -d) && mkfifo "$pipe_dir/displayfd" || exit 125
Xvfb -displayfd 3 -screen 0 "${size}x24" -r -nolisten tcp -noreset 3>"$pipe_dir/displayfd" >"$pipe_dir/log" 2>&1 &
xvfb=$!
read -r -t 30 number <"$pipe_dir/displayfd"
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null; rm -rf "$pipe_dir"' EXIT
trap 'exit 143' TERM INT
[ -n "${number:-}" ] || { echo "x_server.sh: Xvfb did not start:" >&2; cat "$pipe_dir/log" >&2; exit 125; }
DISPLAY=:$number "$@"
