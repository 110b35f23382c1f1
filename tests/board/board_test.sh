#!/usr/bin/env bash
# The real zellworth-board on a free port of 127.0.0.1, as a client meets it: recorded games
# stored and ranked, the same replay one entry, forged, foreign-rules and damaged replays refused
# with their reasons, hostile bodies and names, the rate limit, slow clients that must not hold
# up others, a full verification queue, verifiers that die or hang, --hide, and a restart (also
# after SIGKILL) keeping everything answered.
# The game's --submit is checked against it too: its line and exit status for each answer.
#   board_test.sh BOARD_BINARY REPLAY_TOOL GAME_BINARY
set -uo pipefail
board=$(realpath "$1")
replay_tool=$(realpath "$2")
game=$(realpath "$3")
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; [ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
failures=0
check() { # check WHAT EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected [$2], got [$3]"; failures=$((failures + 1)); fi
}
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
url=http://127.0.0.1:$port

start() {
  "$board" --listen "127.0.0.1:$port" --db "$work/board.db" --accept-unticketed "$@" >>"$work/board.log" 2>&1 &
  pid=$!
  for _ in $(seq 100); do curl -sf "$url/api/health" >/dev/null && return; sleep 0.05; done
  echo "FAIL the board did not start: $(cat "$work/board.log")"
  exit 1
}
stop() { kill "$pid" && wait "$pid"; pid=; }
# post BODY_FILE: prints the status and the answer's body on one line
json=(-H 'Content-Type: application/json')
post() { curl -s "${json[@]}" -o "$work/answer" -w '%{http_code}' --data-binary @"$1" "$url/api/scores"; echo " $(cat "$work/answer")"; }
submission() { # submission NAME REPLAY_FILE > body
  python3 -c 'import base64, json, sys; print(json.dumps({"name": sys.argv[1], "replay": base64.b64encode(open(sys.argv[2], "rb").read()).decode()}))' "$1" "$2"
}
field() { python3 -c 'import json, sys; print(json.load(sys.stdin)[sys.argv[1]])' "$1"; }

# Recorded games of the real frames with fixed seeds, and forgeries made from them.
"$replay_tool" record 11 "$work/a.replay" && "$replay_tool" record 22 "$work/b.replay" &&
  "$replay_tool" record 33 "$work/c.replay" || { echo "FAIL no recorded games"; exit 1; }
"$replay_tool" forge-score "$work/a.replay" "$work/forged.replay"
"$replay_tool" forge-rules "$work/a.replay" "$work/rules.replay"
head -c 50 "$work/b.replay" >"$work/damaged.replay"
score_of() { "$replay_tool" score "$1"; }

start --submissions-per-minute 100
check "health" "ok" "$(curl -s "$url/api/health" | field status)"
check "an empty board" '{"scores":[],"total":0}' "$(curl -s "$url/api/scores")"

submission "Ada" "$work/a.replay" >"$work/a.json"
answer=$(post "$work/a.json")
check "a recorded game is stored" "201 $(score_of "$work/a.replay")" "${answer%% *} $(echo "${answer#* }" | field score)"
first_id=$(echo "${answer#* }" | field id)
again=$(post "$work/a.json")
check "the same replay again names the first entry" "200 $first_id True" \
  "${again%% *} $(echo "${again#* }" | field id) $(echo "${again#* }" | field duplicate)"
# A copy of the game under another date, or with fire pressed where the cooldown lets nothing
# fire, is the same game: answered with the owner's entry, nothing stored.
"$replay_tool" redate "$work/a.replay" "$work/stolen.replay" 1000000000
"$replay_tool" neutral "$work/a.replay" "$work/neutral.replay"
for copy in stolen neutral; do
  submission "Thief" "$work/$copy.replay" >"$work/$copy.json"
  copied=$(post "$work/$copy.json")
  check "a $copy copy is the owner's entry" "200 $first_id Ada True" \
    "${copied%% *} $(echo "${copied#* }" | field id) $(echo "${copied#* }" | field name) $(echo "${copied#* }" | field duplicate)"
done
submission "Bea" "$work/b.replay" >"$work/b.json"
post "$work/b.json" >/dev/null
submission '  <b>Cy</b> & "co" ' "$work/c.replay" >"$work/c.json"
post "$work/c.json" >/dev/null
best_first=$(for file in a b c; do echo "$(score_of "$work/$file.replay")"; done | sort -rn | paste -sd,)
check "the list, best first" "3 $best_first" \
  "$(curl -s "$url/api/scores" | python3 -c 'import json, sys; a = json.load(sys.stdin); print(a["total"], ",".join(str(e["score"]) for e in a["scores"]))')"
check "a name is trimmed and kept as written" '<b>Cy</b> & "co"' \
  "$(curl -s "$url/api/scores?limit=100" | python3 -c 'import json, sys; print([e["name"] for e in json.load(sys.stdin)["scores"] if "Cy" in e["name"]][0])')"
curl -s -o "$work/fetched.replay" "$url/api/replays/$first_id"
check "an entry's replay is served as it was sent" "same" "$(cmp -s "$work/fetched.replay" "$work/a.replay" && echo same)"

submission "Eve" "$work/forged.replay" >"$work/forged.json"
check "a forged score" "422 the replay does not give the score it claims: it records $(($(score_of "$work/a.replay") + 5)), its inputs give $(score_of "$work/a.replay")" \
  "$(post "$work/forged.json" | cut -c1-4)$(field error <"$work/answer")"
submission "Eve" "$work/rules.replay" >"$work/rules.json"
check "another rules version" "422" "$(post "$work/rules.json" | cut -c1-3)"
grep -q "is not one this board plays" "$work/answer" || { echo "FAIL the rules refusal: $(cat "$work/answer")"; failures=$((failures + 1)); }
submission "Eve" "$work/damaged.replay" >"$work/damaged.json"
check "a damaged file" '422 {"error":"the file is damaged"}' "$(post "$work/damaged.json")"

# The desktop's --submit: a line and an exit status for each kind of answer.
submit() { (cd "$work" && "$game" --submit "$1" --name "Dee" --board "${2:-$url}"); echo "status $?"; }
rank_a=$(curl -s "$url/api/scores" | python3 -c 'import json, sys; print([e["rank"] for e in json.load(sys.stdin)["scores"] if e["id"] == int(sys.argv[1])][0])' "$first_id")
check "--submit, already there" "Already there: rank $rank_a on the board with $(score_of "$work/a.replay") points (entry $first_id). status 0" \
  "$(submit a.replay | paste -sd' ')"
check "--submit, refused" "The board refused it: the file is damaged. status 3" "$(submit damaged.replay | paste -sd' ')"
check "--submit, no board" "No leaderboard answered at http://127.0.0.1:1. status 5" "$(submit a.replay http://127.0.0.1:1 | paste -sd' ')"

# Hostile bodies and names.
head -c 10000000 /dev/zero | tr '\0' 'a' >"$work/huge"
check "a body of 10 MB" '413 {"error":"the body is larger than 65536 bytes"}' "$(post "$work/huge")"
printf '{"name": "x", "replay": ' >"$work/bad.json"
check "bad JSON" '400 {"error":"the body is not a JSON object"}' "$(post "$work/bad.json")"
printf '{"name": "\\u0007\\u001b[2J<script>", "replay": "WldSUA=="}' >"$work/control.json"
check "a name of control characters and HTML" \
  '400 {"error":"the name is not allowed: it holds a control character"}' "$(post "$work/control.json")"
printf '{"name": "%s", "replay": "WldSUA=="}' "$(printf 'é%.0s' $(seq 17))" >"$work/long.json"
check "a name of 17 characters" '400 {"error":"the name is not allowed: it is longer than 16 characters"}' "$(post "$work/long.json")"
printf '{"name": "\xff\xfe", "replay": "WldSUA=="}' >"$work/utf8.json"
check "a name that is not UTF-8" "400" "$(post "$work/utf8.json" | cut -c1-3)"
check "a count beyond the list's limit" "400" "$(curl -s -o /dev/null -w '%{http_code}' "$url/api/scores?limit=101")"

# 40 connections idle or half-sent must not keep another client waiting.
python3 - "$port" <<'EOF' || failures=$((failures + 1))
import socket, sys, time, urllib.request
port = int(sys.argv[1])
held = []
for index in range(40):
    connection = socket.create_connection(("127.0.0.1", port))
    if index % 2:
        connection.sendall(b"POST /api/scores HTTP/1.1\r\nHost: x\r\nContent-Length: 1000\r\n\r\n{\"na")
    held.append(connection)
time.sleep(0.5)
started = time.monotonic()
urllib.request.urlopen(f"http://127.0.0.1:{port}/api/scores", timeout=5).read()
took = time.monotonic() - started
print(f"{'ok  ' if took < 2 else 'FAIL'} with 40 idle or half-sent connections another client is answered in {took:.3f} s")
sys.exit(0 if took < 2 else 1)
EOF

check "hide an entry" "entry $first_id is hidden" "$("$board" --db "$work/board.db" --hide "$first_id")"
check "a hidden entry leaves the list and its replay" "2 404" \
  "$(curl -s "$url/api/scores" | field total) $(curl -s -o /dev/null -w '%{http_code}' "$url/api/replays/$first_id")"
stop

# The rate limit, and a full queue: one verifier, no queue, three long games at once.
start --submissions-per-minute 2 --verifiers 1 --verify-queue 0
post "$work/damaged.json" >/dev/null
post "$work/damaged.json" >/dev/null
check "the third submission in a minute, from the desktop" "status 4" "$(submit damaged.replay | tail -n 1)"
retry=$(curl -s "${json[@]}" -D - -o /dev/null --data-binary @"$work/damaged.json" "$url/api/scores" | tr -d '\r' | sed -n 's/^Retry-After: //p')
[ "${retry:-0}" -ge 1 ] && [ "$retry" -le 60 ]
check "a 429 says when to retry" "0" "$?"
stop
start --submissions-per-minute 100 --verifiers 1 --verify-queue 0
clients=()
for index in 1 2 3 4 5 6; do
  "$replay_tool" record-long "$index" "$work/long$index.replay"
  submission "Q$index" "$work/long$index.replay" >"$work/q$index.json"
done
for index in 1 2 3 4 5 6; do
  curl -s "${json[@]}" -D "$work/q$index.head" -o /dev/null --data-binary @"$work/q$index.json" "$url/api/scores" &
  clients+=($!)
done
wait "${clients[@]}"
check "a full queue answers 503 with Retry-After" "yes" \
  "$(cat "$work"/q*.head | tr -d '\r' | grep -q '^HTTP/1.1 503' && grep -qh '^Retry-After: 5' "$work"/q*.head && echo yes)"

# A verifier that dies while idle is replaced unnoticed; one that hangs costs only its submission.
stop
start --submissions-per-minute 100 --verifiers 1 --verify-timeout 1
for seed in 901 902 903; do
  "$replay_tool" record "$seed" "$work/w$seed.replay"
  submission "W$seed" "$work/w$seed.replay" >"$work/w$seed.json"
done
kill -9 "$(pgrep -P "$pid")"
check "a verifier killed while idle" "201" "$(post "$work/w901.json" | cut -c1-3)"
kill -STOP "$(pgrep -P "$pid")"
check "a verifier that hangs" '422 {"error":"the replay could not be played to its end"}' "$(post "$work/w902.json")"
check "its replacement verifies the next" "201" "$(post "$work/w903.json" | cut -c1-3)"

# SIGKILL during submissions: every answered submission is still there after a restart.
answered=()
for round in 1 2 3; do
  for seed in $(seq $((round * 100)) $((round * 100 + 3))); do
    "$replay_tool" record "$seed" "$work/k$seed.replay"
    submission "K$seed" "$work/k$seed.replay" >"$work/k$seed.json"
    curl -s "${json[@]}" -o "$work/k$seed.answer" -w '%{http_code}' --data-binary @"$work/k$seed.json" "$url/api/scores" >"$work/k$seed.code" &
  done
  sleep 0.3
  kill -9 "$pid"
  wait "$pid" 2>/dev/null
  wait
  for seed in $(seq $((round * 100)) $((round * 100 + 3))); do
    [ "$(cat "$work/k$seed.code")" = 201 ] && answered+=("$(field id <"$work/k$seed.answer")")
  done
  start --submissions-per-minute 100
done
listed=$(curl -s "$url/api/scores?limit=100" | python3 -c 'import json, sys; print(" ".join(str(e["id"]) for e in json.load(sys.stdin)["scores"]))')
missing=0
for id in "${answered[@]}"; do [[ " $listed " == *" $id "* ]] || missing=$((missing + 1)); done
check "answered submissions lost to SIGKILL (of ${#answered[@]})" "0" "$missing"
stop

echo "board test: $failures failed"
[ $failures -eq 0 ]
