#!/usr/bin/env bash
# Kills the board with SIGKILL ROUNDS times (default 20) while 20 clients submit, restarting it
# each time on the same database, then checks that every submission answered as stored is listed.
#   board/kill_run.sh BUILD_DIR REPLAY_DIR [ROUNDS]   (REPLAY_DIR as zellworth-board-load takes it)
set -uo pipefail
build=$1
replays=$2
rounds=${3:-20}
work=$(mktemp -d)
trap 'kill -9 "${pid:-}" 2>/dev/null && wait "$pid" 2>/dev/null; rm -rf "$work"' EXIT
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
start() {
  "$build/zellworth-board" --listen "127.0.0.1:$port" --db "$work/board.db" --submissions-per-minute 1000000 >>"$work/board.log" 2>&1 &
  pid=$!
  for _ in $(seq 100); do curl -sf "http://127.0.0.1:$port/api/health" >/dev/null && return; sleep 0.05; done
  echo "the board did not start: $(tail -n 3 "$work/board.log")"
  exit 1
}
for round in $(seq "$rounds"); do
  start
  "$build/zellworth-board-load" "$port" "$replays" 20 3 "$work/answered" >/dev/null 2>&1 &
  load=$!
  sleep "$(python3 -c 'import random; print(round(random.uniform(0.5, 2.5), 2))')"
  kill -9 "$pid"
  wait "$pid" 2>/dev/null
  wait "$load"
done
start
listed=$(python3 - "$port" <<'PY'
import json, sys, urllib.request
offset = 0
while True:
    page = json.load(urllib.request.urlopen(f"http://127.0.0.1:{sys.argv[1]}/api/scores?limit=100&offset={offset}"))
    for entry in page["scores"]:
        print(entry["id"])
    if len(page["scores"]) < 100:
        break
    offset += 100
PY
)
listed=$(echo "$listed" | sort -u)
answered=$(sort -u "$work/answered")
missing=$(comm -23 <(echo "$answered") <(echo "$listed") | grep -c . || true)
echo "$rounds kills with SIGKILL during submissions: $(echo "$answered" | grep -c .) answered as stored, $missing of them missing afterwards"
[ "$missing" -eq 0 ]
