#!/usr/bin/env bash
# The real zellworth-board on a free port of 127.0.0.1, as a client meets it: recorded games
# stored and ranked, the same game one entry (a copy with another date or with inputs that change
# nothing included), tickets each good for one game that must take its time to arrive, forged,
# foreign-rules and damaged replays refused with their reasons, hostile bodies, heads and names,
# dates ahead of the clock, the rate limit behind a trusted front, slow clients that must not hold
# up others, a full verification queue, verifiers that die, hang or cannot start again, --hide,
# and a restart (also after SIGKILL) keeping everything answered.
# The game's --submit is checked against it too: its line and exit status for each answer.
# Then the board behind its front, Debian's nginx running the package's site with a self-signed
# certificate: its headers and limits, floods of ranges, bodies and slow clients, the board killed
# behind it, and --submit over HTTPS. Last, two boards behind the front on one PostgreSQL database.
#   board_test.sh BOARD_BINARY REPLAY_TOOL GAME_BINARY
set -uo pipefail
board=$(realpath "$1")
replay_tool=$(realpath "$2")
game=$(realpath "$3")
work=$(mktemp -d)
pid=
nginx_pid=
trap '[ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null
  [ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
failures=0
check() { # check WHAT EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected [$2], got [$3]"; failures=$((failures + 1)); fi
}
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()'; }
port=$(free_port)
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
curl -s -H 'Content-Type: application/json; charset=utf-8' -o /dev/null --data-binary @"$work/c.json" "$url/api/scores"
best_first=$(for file in a b c; do echo "$(score_of "$work/$file.replay")"; done | sort -rn | paste -sd,)
check "the list, best first" "3 $best_first" \
  "$(curl -s "$url/api/scores" | python3 -c 'import json, sys; a = json.load(sys.stdin); print(a["total"], ",".join(str(e["score"]) for e in a["scores"]))')"
check "a name is trimmed and kept as written" '<b>Cy</b> & "co"' \
  "$(curl -s "$url/api/scores?limit=100" | python3 -c 'import json, sys; print([e["name"] for e in json.load(sys.stdin)["scores"] if "Cy" in e["name"]][0])')"
curl -s -o "$work/fetched.replay" "$url/api/replays/$first_id"
check "an entry's replay is served as it was sent" "same" "$(cmp -s "$work/fetched.replay" "$work/a.replay" && echo same)"
check "a replay is cached for five minutes, so that a hide reaches the caches" "public, max-age=300" \
  "$(curl -s -D - -o /dev/null "$url/api/replays/$first_id" | tr -d '\r' | sed -n 's/^Cache-Control: //p')"
check "one range of a replay" "206 10" "$(curl -s -H 'Range: bytes=0-9' -o "$work/part" -w '%{http_code}' "$url/api/replays/$first_id") $(stat -c %s "$work/part")"
check "two ranges" '416 {"error":"at most one range is served"}' \
  "$(curl -s -H 'Range: bytes=0-0,2-2' -o "$work/answer" -w '%{http_code}' "$url/api/replays/$first_id") $(cat "$work/answer")"

submission "Eve" "$work/forged.replay" >"$work/forged.json"
check "a forged score" "422 the replay does not give the score it claims: it records $(($(score_of "$work/a.replay") + 5)), its inputs give $(score_of "$work/a.replay")" \
  "$(post "$work/forged.json" | cut -c1-4)$(field error <"$work/answer")"
submission "Eve" "$work/rules.replay" >"$work/rules.json"
check "another rules version" "422" "$(post "$work/rules.json" | cut -c1-3)"
grep -q "is not one this board plays" "$work/answer" || { echo "FAIL the rules refusal: $(cat "$work/answer")"; failures=$((failures + 1)); }
submission "Eve" "$work/damaged.replay" >"$work/damaged.json"
check "a damaged file" '422 {"error":"the file is damaged"}' "$(post "$work/damaged.json")"

# A date at most 24 h ahead of the board's clock is kept, a second more becomes the clock's: two
# games (a date makes no other game). The one a second past is sent first, at the start of a
# second, and again with two more games while it reached the board in the next one.
for attempt in 1 2 3 4 5; do
  "$replay_tool" record $((60 + 2 * attempt)) "$work/d86400.game"
  "$replay_tool" record $((61 + 2 * attempt)) "$work/d86401.game"
  sleep "0.$(printf '%03d' $((999 - 10#$(date +%3N))))"
  now=$(date +%s)
  dates=()
  for ahead in 86401 86400; do
    "$replay_tool" redate "$work/d$ahead.game" "$work/d.replay" $((now + ahead))
    printf '{"name": "D", "replay": "%s"}' "$(base64 -w0 "$work/d.replay")" >"$work/d.json"
    post "$work/d.json" >/dev/null
    dates+=("$(field date <"$work/answer")")
    # Kept as sent, it reached the board a second late (or the board keeps too much: then every
    # attempt ends here and the check below fails).
    [ "$ahead" = 86401 ] && [ "${dates[0]}" = "$(date -u -d "@$((now + ahead))" +%FT%TZ)" ] && continue 2
  done
  break
done
check "a date 1 s more than 24 h ahead, and 24 h" "$(date -u -d "@$now" +%FT%TZ) $(date -u -d "@$((now + 86400))" +%FT%TZ)" "${dates[*]}"

# The desktop's --submit: a line and an exit status for each kind of answer.
submit() { (cd "$work" && "$game" --submit "$1" --name "Dee" --board "${2:-$url}"); echo "status $?"; }
rank_of() { curl -s "$url/api/scores?limit=100" | python3 -c 'import json, sys; print([e["rank"] for e in json.load(sys.stdin)["scores"] if e["id"] == int(sys.argv[1])][0])' "$1"; }
# A listener that never accepts, its queue full: the connection is never made.
python3 -c 'import socket, sys, time
server = socket.socket(); server.bind(("127.0.0.1", 0)); server.listen(0)
waiting = [socket.socket() for _ in range(3)]
for client in waiting: client.setblocking(False); client.connect_ex(server.getsockname())
print(server.getsockname()[1], flush=True); time.sleep(30)' >"$work/dead.port" &
dead_listener=$!
until [ -s "$work/dead.port" ]; do sleep 0.05; done
dead_url=http://127.0.0.1:$(cat "$work/dead.port")
(started=$(date +%s%N); submit a.replay "$dead_url" | paste -sd' '; echo "$(( ($(date +%s%N) - started) / 1000000 ))") >"$work/dead.answer" &
dead_client=$!
"$replay_tool" record 44 "$work/new.replay"
stored=$(submit new.replay | paste -sd' ')
new_id=$(echo "$stored" | sed -n 's/.*(entry \([0-9]*\)).*/\1/p')
check "--submit, stored" "Submitted: rank $(rank_of "${new_id:-0}") on the board with $(score_of "$work/new.replay") points (entry $new_id). status 0" "$stored"
check "--submit, already there" "Already there: rank $(rank_of "$first_id") on the board with $(score_of "$work/a.replay") points (entry $first_id). status 0" \
  "$(submit a.replay | paste -sd' ')"
check "--submit, refused" "The board refused it: the file is damaged. status 3" "$(submit damaged.replay | paste -sd' ')"
check "--submit, connection refused" "No leaderboard answered at http://127.0.0.1:1: the connection was refused. status 5" \
  "$(submit a.replay http://127.0.0.1:1 | paste -sd' ')"
check "--submit, a name that does not resolve" "No leaderboard answered at http://board.invalid: the name does not resolve. status 5" \
  "$(submit a.replay http://board.invalid | paste -sd' ')"
# A board that takes only games played on its tickets says why it refuses one without.
ticketed_url=http://127.0.0.1:$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
"$board" --listen "${ticketed_url#http://}" --db "$work/ticketed.db" >>"$work/board.log" 2>&1 &
ticketed_board=$!
for _ in $(seq 100); do curl -sf "$ticketed_url/api/health" >/dev/null && break; sleep 0.05; done
check "--submit, a game without a ticket" "The board refused it: this board takes only games started on its ticket. status 3" \
  "$(submit a.replay "$ticketed_url" | paste -sd' ')"
# Its tickets: each good for one game, which must take as long to arrive as it took to play.
ticket() { curl -s "${json[@]}" -d '{}' "$ticketed_url/api/tickets" | field ticket; }
ticketed_post() { curl -s "${json[@]}" -o "$work/answer" -w '%{http_code}' --data-binary @"$1" "$ticketed_url/api/scores"; echo " $(cat "$work/answer")"; }
ticketed_game() { # ticketed_game NAME TICKET FRAMES_OR_0 IDLE > body
  "$replay_tool" record-ticket "$2" "$work/$1.whole" "$4" || return 1
  if [ "$3" = 0 ]; then cp "$work/$1.whole" "$work/$1.replay"; else "$replay_tool" give-up "$work/$1.whole" "$work/$1.replay" "$3"; fi
  submission "$1" "$work/$1.replay"
}
long_ticket=$(ticket)
ticketed_game Early "$long_ticket" 0 2400 >"$work/early.json"
early=$(ticketed_post "$work/early.json" | cut -c1-4)$(field error <"$work/answer")
[[ "$early" =~ ^422\ the\ game\ arrived\ [0-9]\ s\ after\ its\ ticket,\ sooner\ than\ its\ [0-9]+\ frames\ can\ be\ played\ \([0-9]+\ s\)$ ]] &&
  early=refused
check "a game of over 60 s sent at once after its ticket" "refused" "$early"
# A character of the signature changed (the 41st of 59: whole bytes either side).
forged=${long_ticket:0:40}$([ "${long_ticket:40:1}" = A ] && echo B || echo A)${long_ticket:41}
ticketed_game Forger "$forged" 120 0 >"$work/forger.json"
check "a ticket whose signature was changed" '422 {"error":"the ticket was not issued by this board"}' "$(ticketed_post "$work/forger.json")"
shared=$(ticket)
ticketed_game Twice "$shared" 120 0 >"$work/twice1.json"
ticketed_game Again "$shared" 130 0 >"$work/twice2.json"
sleep 2  # 3 s of frames, less the margin
first=$(ticketed_post "$work/twice1.json")
check "a game on its ticket is stored" "201" "${first%% *}"
check "another game on the same ticket" \
  '409 {"error":"the ticket was used for another game: each ticket is good for one entry"}' "$(ticketed_post "$work/twice2.json")"
check "the same game on its ticket again" "200 True" "$(ticketed_post "$work/twice1.json" | cut -c1-3) $(field duplicate <"$work/answer")"
kill "$ticketed_board" && wait "$ticketed_board"
check "--submit, a board URL that is not http" "status 2" "$(submit a.replay ftp://127.0.0.1 2>/dev/null)"
# Servers that are not boards, one answer per path: the client trusts none of their texts.
python3 -c 'import http.server, json, sys, time
answers = {"/page": (200, b"<html>hello</html>"),
           "/fake": (201, json.dumps({"id": 1, "rank": "\x1b[31m1", "score": 5}).encode()),
           "/paint": (422, json.dumps({"error": "\x1b[31mred\x1b[0m \x9b2J\x1b]0;title\x07cleared\x07 \u202enoted\r\nend"}).encode()),
           "/full": (422, b"{\"error\": \"" + b"a" * (65536 - 13) + b"\"}"),
           "/huge": (422, b"{\"error\": \"" + b"a" * (65537 - 13) + b"\"}")}
class Board(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        self.rfile.read(int(self.headers["Content-Length"]))
        status, body = answers[self.path.removesuffix("/api/scores")]
        self.send_response(status); self.send_header("Content-Length", str(len(body))); self.end_headers()
        self.wfile.write(body)
    def log_message(self, *_): pass
server = http.server.HTTPServer(("127.0.0.1", 0), Board); server.timeout = 1
print(server.server_address[1], flush=True)
deadline = time.monotonic() + 30
while time.monotonic() < deadline: server.handle_request()' >"$work/fake.port" &
fake_server=$!
until [ -s "$work/fake.port" ]; do sleep 0.05; done
fake=http://127.0.0.1:$(cat "$work/fake.port")
check "--submit, a web page" "The address $fake/page answered 200, not as a leaderboard does. status 5" "$(submit a.replay "$fake/page" | paste -sd' ')"
check "--submit, an entry of text" "The address $fake/fake answered 201, not as a leaderboard does. status 5" "$(submit a.replay "$fake/fake" | paste -sd' ')"
check "--submit, escape sequences and controls in a reason" "The board refused it: red cleared noted  end. status 3" \
  "$(submit a.replay "$fake/paint" | paste -sd' ')"
check "--submit, an answer of 65536 bytes, its reason cut" "The board refused it: $(printf 'a%.0s' $(seq 200))…. status 3" \
  "$(submit a.replay "$fake/full" | paste -sd' ')"
check "--submit, an answer of 65537 bytes" "No leaderboard answered at $fake/huge: its answer is larger than 65536 bytes. status 5" \
  "$(submit a.replay "$fake/huge" | paste -sd' ')"
kill "$fake_server"

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
check "the lowest count and offset, and one below each" "1 1 400 400" \
  "$(curl -s "$url/api/scores?limit=1&offset=0" | python3 -c 'import json, sys; a = json.load(sys.stdin)["scores"]; print(len(a), a[0]["rank"])') $(curl -s -o /dev/null -w '%{http_code}' "$url/api/scores?limit=0") $(curl -s -o /dev/null -w '%{http_code}' "$url/api/scores?offset=-1")"

# Names: the blanks trimmed, a format character refused (each class: tests/board/submission_test.cpp).
"$replay_tool" record 55 "$work/e.replay"
printf '{"name": "%s", "replay": "%s"}' '\u00a0\u3164Ann \u2800\u3000' "$(base64 -w0 "$work/e.replay")" >"$work/e.json"
check "a name trimmed of no-break spaces and fillers" "Ann" "$(post "$work/e.json" >/dev/null; field name <"$work/answer")"
printf '{"name": "A\u061cB", "replay": "WldSUA=="}' >"$work/bidi.json"
check "a name with a bidirectional mark" '400 {"error":"the name is not allowed: it holds an invisible formatting character"}' "$(post "$work/bidi.json")"

# Refused from the head alone, before a byte of the body is sent, and the connection closed.
head_answer() { # head_answer BODY_BYTES HEADER...: a POST's status, answer and whether it closed
  python3 - "$port" "$@" <<'EOF'
import socket, sys
connection = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=3)
connection.sendall("\r\n".join(["POST /api/scores HTTP/1.1", "Host: x"] + sys.argv[3:] + ["", ""]).encode() + b"a" * int(sys.argv[2]))
data = b""
try:
    while chunk := connection.recv(65536): data += chunk
    print(data.split(b" ")[1].decode(), data.partition(b"\r\n\r\n")[2].decode(), "closed")
except OSError:
    print(data[:12], "open")
EOF
}
json_type="Content-Type: application/json"
check "a chunked body" '411 {"error":"send the body with a Content-Length, not in chunks"} closed' \
  "$(head_answer 0 "$json_type" "Transfer-Encoding: chunked")"
check "a POST without a Content-Length" '411 {"error":"a POST needs a Content-Length"} closed' "$(head_answer 0 "$json_type")"
check "a text/plain POST, as any page may send unasked" '415 {"error":"send the body as application/json"} closed' \
  "$(head_answer 0 "Content-Type: text/plain" "Origin: https://elsewhere.example" "Content-Length: 300")"
check "a body one past the limit, and at it" '413 {"error":"the body is larger than 65536 bytes"} closed|400 {"error":"the body is not a JSON object"} closed' \
  "$(head_answer 0 "$json_type" "Content-Length: 65537")|$(head_answer 65536 "$json_type" "Content-Length: 65536" "Connection: close")"

# 40 connections idle or half-sent must not keep another client waiting.
python3 - "$port" <<'EOF' || failures=$((failures + 1))
import socket, sys, time, urllib.request
port = int(sys.argv[1])
held = []
for index in range(40):
    connection = socket.create_connection(("127.0.0.1", port))
    if index % 2:
        connection.sendall(b"POST /api/scores HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nContent-Length: 1000\r\n\r\n{\"na")
    held.append(connection)
time.sleep(0.5)
started = time.monotonic()
urllib.request.urlopen(f"http://127.0.0.1:{port}/api/scores", timeout=5).read()
took = time.monotonic() - started
print(f"{'ok  ' if took < 2 else 'FAIL'} with 40 idle or half-sent connections another client is answered in {took:.3f} s")
sys.exit(0 if took < 2 else 1)
EOF

# Hiding the best entry moves every other up one, in the list and in a duplicate's answer.
ranks() { python3 -c 'import json, sys; print(" ".join("%d:%d" % (e["id"], e["rank"]) for e in json.load(sys.stdin)["scores"]))'; }
listed=$(curl -s "$url/api/scores?limit=100" | ranks)
top=${listed%%:*}
check "hide an entry" "entry $top is hidden" "$("$board" --db "$work/board.db" --hide "$top")"
moved_up=$(for entry in $listed; do [ "${entry%:*}" = "$top" ] || echo "${entry%:*}:$((${entry#*:} - 1))"; done | paste -sd' ')
check "a hidden entry leaves the list and its replay; those below move up" "$moved_up 404" \
  "$(curl -s "$url/api/scores?limit=100" | ranks) $(curl -s -o /dev/null -w '%{http_code}' "$url/api/replays/$top")"
again=$(post "$work/a.json")
check "an entry below a hidden one, sent again, answers its new rank" \
  "$(for entry in $moved_up; do [ "${entry%:*}" = "$first_id" ] && echo "${entry#*:}"; done)" "$(echo "${again#* }" | field rank)"
stop

# The rate limit counts by client address: the connection's own, or the last in X-Forwarded-For
# from the trusted front (127.0.0.2), never anyone else's; all within one minute of the clock.
[ $((10#$(date +%S))) -lt 50 ] || sleep $((61 - 10#$(date +%S)))
start --submissions-per-minute 2 --verifiers 1 --verify-queue 0 --trusted-proxy 127.0.0.2
for forged in 198.51.100.1 198.51.100.2; do
  curl -s -H "X-Forwarded-For: $forged" "${json[@]}" -o /dev/null --data-binary @"$work/damaged.json" "$url/api/scores"
done
check "the third submission in a minute, from the desktop" \
  "The board refused it: too many submissions: at most 2 a minute from one address; try again in N s. status 4" \
  "$(submit damaged.replay | paste -sd' ' | sed 's/in [0-9]* s\./in N s./')"
from_front() { curl -s --interface 127.0.0.2 -H "X-Forwarded-For: $1" "${json[@]}" -o /dev/null -w '%{http_code}' --data-binary @"$work/damaged.json" "$url/api/scores"; }
check "through the trusted front, each client counts apart" "422 422 429 422" \
  "$(from_front 198.51.100.1) $(from_front '10.9.9.9, 198.51.100.1') $(from_front 198.51.100.1) $(from_front 198.51.100.2)"
retry=$(curl -s "${json[@]}" -D - -o /dev/null --data-binary @"$work/damaged.json" "$url/api/scores" | tr -d '\r' | sed -n 's/^Retry-After: //p')
[ "${retry:-0}" -ge 1 ] && [ "$retry" -le 60 ]
check "a 429 says when to retry" "0" "$?"
stop

# A full queue: one verifier, held stopped, and a queue of two. Of five submissions in turn the
# first holds the verifier until its time runs out, two wait for the next and two are turned away.
start --submissions-per-minute 100 --verifiers 1 --verify-queue 2 --verify-timeout 2
clients=()
for index in 1 2 3 4 5; do
  "$replay_tool" record $((400 + index)) "$work/q$index.replay"
  submission "Q$index" "$work/q$index.replay" >"$work/q$index.json"
done
kill -STOP "$(pgrep -P "$pid")"
for index in 1 2 3 4 5; do
  curl -s "${json[@]}" -D "$work/q$index.head" -o /dev/null -w '%{http_code}' --data-binary @"$work/q$index.json" "$url/api/scores" >"$work/q$index.code" &
  clients+=($!)
  sleep 0.3
done
wait "${clients[@]}"
check "1 verifier and a queue of 2: five submissions" "422 201 201 503 503" "$(paste -d' ' "$work"/q{1,2,3,4,5}.code)"
check "a full queue answers 503 with Retry-After" "yes" \
  "$(tr -d '\r' <"$work/q5.head" | grep -q '^Retry-After: 5' && echo yes)"

# A verifier that dies while idle is replaced unnoticed; one that hangs costs only its submission.
stop
start --submissions-per-minute 100 --verifiers 1 --verify-timeout 1 --verify-queue 0
for seed in 901 902 903; do
  "$replay_tool" record "$seed" "$work/w$seed.replay"
  submission "W$seed" "$work/w$seed.replay" >"$work/w$seed.json"
done
kill -9 "$(pgrep -P "$pid")"
check "a verifier killed while idle" "201" "$(post "$work/w901.json" | cut -c1-3)"
kill -STOP "$(pgrep -P "$pid")"
post "$work/w902.json" >"$work/w902.answer" &
sleep 0.3
"$replay_tool" record 904 "$work/w904.replay"
check "--submit while the only verifier is busy" "The board refused it: busy, try again in a few seconds. status 4" \
  "$(submit w904.replay | paste -sd' ')"
wait $!
check "a verifier that hangs" '422 {"error":"the replay could not be played to its end"}' "$(cat "$work/w902.answer")"
check "its replacement verifies the next" "201" "$(post "$work/w903.json" | cut -c1-3)"

# A verifier that cannot start again leaves the board up and saying so until the restarter starts
# one: the board's open files are limited to two more than it holds without its verifier, so that
# a connection fits and a verifier's four pipe ends do not.
limit=$(python3 - "$pid" <<'EOF'
import os, subprocess, sys
fds = lambda p: {int(fd): os.readlink(f"/proc/{p}/fd/{fd}") for fd in os.listdir(f"/proc/{p}/fd")}
worker = fds(subprocess.check_output(["pgrep", "-P", sys.argv[1]]).decode().strip())
kept = [fd for fd, target in fds(sys.argv[1]).items() if target not in (worker[0], worker[1])]
print(next(n for n in range(4096) if n - sum(fd < n for fd in kept) == 2))
EOF
)
soft=$(prlimit --pid "$pid" --nofile --output SOFT --noheadings | tr -d " ")
prlimit --pid "$pid" --nofile="$limit:" && kill -9 "$(pgrep -P "$pid")"
health_is() { for _ in $(seq 150); do [ "$(curl -s -o /dev/null -w '%{http_code}' "$url/api/health")" = "$1" ] && break; sleep 0.1; done; curl -s "$url/api/health"; }
"$replay_tool" record 905 "$work/w905.replay"
submission "W905" "$work/w905.replay" >"$work/w905.json"
check "no verifier can start: degraded, and submissions refused" \
  '{"error":"no verifier runs: submissions are refused until one starts again","status":"degraded","verifiers":0} 503' \
  "$(health_is 503) $(post "$work/w905.json" | cut -c1-3)"
sleep 1.2  # a second failed start, after a longer wait
prlimit --pid "$pid" --nofile="$soft:"
check "the restarter starts one once it can" '{"status":"ok","verifiers":1} 201' "$(health_is 200) $(post "$work/w905.json" | cut -c1-3)"
check "each failed start logged with a longer wait" "500 ms 1000 ms" \
  "$(grep -o 'cannot start a verifier: Too many open files; trying again in [0-9]* ms' "$work/board.log" | head -n 2 | grep -o '[0-9]* ms$' | paste -sd' ')"

wait "$dead_client"
kill "$dead_listener"
{ read -r dead_line; read -r dead_took; } <"$work/dead.answer"
check "--submit, a listener that never accepts" "No leaderboard answered at $dead_url: it did not answer in time. status 5" "$dead_line"
check "... given up within the connect timeout of 10 s (took ${dead_took:-?} ms)" "yes" "$([ "${dead_took:-99999}" -le 11000 ] && echo yes)"

# SIGKILL during submissions: every answered submission is still there after a restart.
stop
start --submissions-per-minute 100
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

# --- The front: the package's nginx site as operators deploy it, on free ports with a self-signed
# certificate, the board behind it, and a small static site made here.
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
proxy=()
"$board" --help | grep -q -- --trusted-proxy && proxy=(--trusted-proxy 127.0.0.1)
start --submissions-per-minute 100 "${proxy[@]}"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=localhost \
  -addext 'subjectAltName=IP:127.0.0.1,DNS:localhost' -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
mkdir -p "$work/site"
cp "$source_dir/web/index.html" "$source_dir/web/sw.js" "$work/site/"
head -c 20000 /dev/zero | tr '\0' z >"$work/site/page.0123456789ab.js" && gzip -k "$work/site/page.0123456789ab.js"
front_port=$(free_port)
redirect_port=$(free_port)
bash "$source_dir/scripts/front_config.sh" "$work/front" "$front_port" "$redirect_port" "$port" "$work/site" \
  "$work/cert.pem" "$work/key.pem" || exit 1
/usr/sbin/nginx -c "$work/front/nginx.conf" -p "$work/front" -e "$work/front/error.log" &
nginx_pid=$!
front=https://127.0.0.1:$front_port
tls=(--cacert "$work/cert.pem")
for _ in $(seq 100); do curl -sf "${tls[@]}" "$front/api/health" >/dev/null && break; sleep 0.05; done
header() { tr -d '\r' | sed -n "s/^$1: //Ip" | paste -sd' '; } # header NAME < headers
another_client() { # another_client WHILE_WHAT: answered within 1 s
  local took
  took=$(curl -s "${tls[@]}" -o /dev/null -w '%{time_total}' --max-time 10 "$front/api/scores")
  check "with $1, another client is answered within 1 s ($took s)" "yes" "$(awk -v t="$took" 'BEGIN { print (t > 0 && t < 1) ? "yes" : "no" }')"
}

curl -s "${tls[@]}" -D "$work/page.head" -o /dev/null "$front/"
curl -s "${tls[@]}" -H 'Accept-Encoding: gzip' -D "$work/file.head" -o "$work/file.gz" "$front/page.0123456789ab.js"
check "the page's own policy as a header, frames forbidden" \
  "$(sed -n 's/.*http-equiv="Content-Security-Policy" content="\([^"]*\)".*/\1/p' "$source_dir/web/index.html"); frame-ancestors 'none'" \
  "$(header Content-Security-Policy <"$work/page.head")"
check "nosniff, no referrer, HTTPS only; the page revalidated, a file named by its content immutable and sent as its .gz" \
  "nosniff no-referrer max-age=31536000 no-cache public, max-age=31536000, immutable gzip same" \
  "$(for name in X-Content-Type-Options Referrer-Policy Strict-Transport-Security Cache-Control; do header "$name" <"$work/page.head"; done |
    paste -sd' ') $(header Cache-Control <"$work/file.head") $(header Content-Encoding <"$work/file.head") $(cmp -s "$work/file.gz" "$work/site/page.0123456789ab.js.gz" && echo same)"
check "plain HTTP is sent to HTTPS" "301 https://127.0.0.1/api/scores?limit=2" \
  "$(curl -s -o /dev/null -w '%{http_code} %{redirect_url}' "http://127.0.0.1:$redirect_port/api/scores?limit=2")"
check "a file with one range, and with two (answered whole)" "206 5 200 20000" \
  "$(for ranges in 0-4 0-4,10-14; do curl -s "${tls[@]}" -r "$ranges" -o /dev/null -w '%{http_code} %{size_download} ' "$front/page.0123456789ab.js"; done | sed 's/ $//')"

# The floods, each bounded in time with another client served meanwhile: 20 requests of 2,700
# ranges on a replay; a 60 MB chunked body; 200 clients sending a header line every 3 s and 100
# TLS handshakes never sent, which the header timeout (10 s) drops.
ranges="bytes=$(printf '0-,%.0s' $(seq 2699))0-"
replay_id=$(curl -s "$url/api/scores" | python3 -c 'import json, sys; print(json.load(sys.stdin)["scores"][0]["id"])')
curl -s -o "$work/replay.plain" "$url/api/replays/$replay_id"
clients=()
for index in $(seq 20); do
  curl -s "${tls[@]}" --max-time 20 -H "Range: $ranges" -o "$work/ranged$index" "$front/api/replays/$replay_id" &
  clients+=($!)
done
another_client "20 requests of 2,700 ranges each"
wait "${clients[@]}"
check "2,700 ranges on a replay: 20 answers, each the replay once" "20" \
  "$(for index in $(seq 20); do cmp -s "$work/ranged$index" "$work/replay.plain" && echo; done | wc -l)"
board_memory=$(sed -n 's/^VmHWM:\s*\([0-9]*\) kB/\1/p' "/proc/$pid/status")
head -c 60000000 /dev/zero | curl -s "${tls[@]}" --http1.1 --max-time 20 -X POST -T - "${json[@]}" -H 'Transfer-Encoding: chunked' \
  -w ' %{http_code}' "$front/api/scores" >"$work/chunked" &
chunked=$!
sleep 0.2
another_client "a 60 MB chunked body arriving"
wait "$chunked"
check "a 60 MB chunked body: refused by the front within 20 s, the board's memory unchanged (within 2 MB)" \
  '{"error":"the body is larger than 65536 bytes"} 413 yes' \
  "$(cat "$work/chunked") $( [ $(($(sed -n 's/^VmHWM:\s*\([0-9]*\) kB/\1/p' "/proc/$pid/status") - board_memory)) -lt 2048 ] && echo yes)"
read -r held waited dropped < <(python3 "$source_dir/tests/board/slow_clients.py" "$front_port" "$work/cert.pem" 200 100 /api/scores 16)
check "300 slow clients and stalled handshakes: all held, another client answered within 1 s ($waited s), all dropped within 16 s" \
  "300 yes 300" "$held $(awk -v t="$waited" 'BEGIN { print t < 1 ? "yes" : "no" }') $dropped"

# Per address: submissions and tickets as a rate (the 13th submission at once passes, the 14th
# is refused; 31 and 32 tickets), requests at once (31 held let one more in, 32 do not).
burst() { # burst ADDRESS COUNT PATH BODY_FILE: how many of each status, and the refusals
  local index requests=()
  for index in $(seq "$2"); do requests+=(-o "$work/burst$index" "$front$3"); done
  curl -s "${tls[@]}" --parallel --parallel-max 64 --interface "$1" "${json[@]}" --data-binary @"$4" -D "$work/burst.head" \
    -w '%{http_code}\n' "${requests[@]}" 2>/dev/null | sort | uniq -c | awk '{ printf "%s×%s ", $2, $1 }'
  echo "$(grep -h '"too many requests' "$work"/burst[0-9]* | sort -u) $(header Retry-After <"$work/burst.head")"
  rm -f "$work"/burst*
}
check "14 submissions at once from one address" '422×13 429×1 {"error":"too many requests from one address; try again in 5 s"} 5' \
  "$(burst 127.0.0.2 14 /api/scores "$work/damaged.json")"
echo '{}' >"$work/empty.json"
check "32 tickets at once from one address" "201×31 429×1" "$(burst 127.0.0.3 32 /api/tickets "$work/empty.json" | cut -d' ' -f1-2)"
check "requests at once from one address: 31 held, then 32" "200 429" "$(python3 - "$front_port" "$work/cert.pem" <<'EOF'
import socket, ssl, sys, time
context = ssl.create_default_context(cafile=sys.argv[2])
def send(request):
    connection = context.wrap_socket(socket.create_connection(("127.0.0.1", int(sys.argv[1])), source_address=("127.0.0.4", 0)), server_hostname="localhost")
    connection.sendall(request)
    return connection
held, answers = [], []
for count in (31, 32):
    held += [send(b"POST /api/health HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\n{") for _ in range(count - len(held))]
    for _ in range(10):  # until the front has read the held requests' headers
        time.sleep(0.5)
        answer = send(b"GET /api/health HTTP/1.1\r\nHost: x\r\n\r\n").recv(100).split(b" ")[1].decode()
        if count == 31 or answer == "429":
            break
    answers.append(answer)
print(*answers)
EOF
)"

# The desktop's --submit over HTTPS, with the test's certificate trusted and without.
"$replay_tool" record 45 "$work/d.replay"
check "--submit over HTTPS through the front" "Submitted: on the board with $(score_of "$work/d.replay") points. status 0" \
  "$(SSL_CERT_FILE="$work/cert.pem" submit d.replay "$front" | paste -sd' ' | sed -E 's/rank [0-9]+ (on the board with [0-9]+ points) \(entry [0-9]+\)/\1/')"
check "--submit over HTTPS, its certificate not trusted" "No leaderboard answered at $front: its certificate is not trusted. status 5" \
  "$(env -u SSL_CERT_FILE "$game" --submit "$work/a.replay" --name Dee --board "$front" 2>&1 | paste -sd' ') status $?"
# A board's address that sends the request on: followed three times at most, and only to https.
python3 -c 'import http.server, json, ssl, sys, time
class Board(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        self.rfile.read(int(self.headers["Content-Length"]))
        hop = self.path.split("/")[1]
        body = b"" if hop != "hop0" else json.dumps({"id": 7, "rank": 1, "score": 5}).encode()
        self.send_response(201 if body else 307)
        if hop == "plain": self.send_header("Location", "http://127.0.0.1:%d/hop0/api/scores" % server.server_address[1])
        elif body == b"": self.send_header("Location", "/hop%d/api/scores" % (int(hop[3:]) - 1))
        self.send_header("Content-Length", str(len(body))); self.end_headers(); self.wfile.write(body)
    def log_message(self, *_): pass
server = http.server.HTTPServer(("127.0.0.1", 0), Board); server.timeout = 1
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER); context.load_cert_chain(sys.argv[1], sys.argv[2])
server.socket = context.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], flush=True)
deadline = time.monotonic() + 20
while time.monotonic() < deadline: server.handle_request()' "$work/cert.pem" "$work/key.pem" >"$work/hops.port" &
hops_server=$!
until [ -s "$work/hops.port" ]; do sleep 0.05; done
hops=https://127.0.0.1:$(cat "$work/hops.port")
check "--submit, sent on three times" "Submitted: rank 1 on the board with 5 points (entry 7). status 0" \
  "$(SSL_CERT_FILE="$work/cert.pem" submit d.replay "$hops/hop3" | paste -sd' ')"
check "--submit, sent on four times" "No leaderboard answered at $hops/hop4: it sent the request on too many times. status 5" \
  "$(SSL_CERT_FILE="$work/cert.pem" submit d.replay "$hops/hop4" | paste -sd' ')"
check "--submit, sent on to plain http" \
  "No leaderboard answered at $hops/plain: it sent the request on to an address that is not https. status 5" \
  "$(SSL_CERT_FILE="$work/cert.pem" submit d.replay "$hops/plain" | paste -sd' ')"
kill "$hops_server"

# The board killed behind the front: a JSON 503 with Retry-After; started again, it lists the same.
listed=$(curl -s "${tls[@]}" "$front/api/scores?limit=100")
kill -9 "$pid"
wait "$pid" 2>/dev/null
check "the board killed: the front answers for it" '{"error":"the board is not answering; try again in a few seconds"} 503 5' \
  "$(curl -s "${tls[@]}" -D "$work/down.head" -w ' %{http_code} ' "$front/api/scores")$(header Retry-After <"$work/down.head")"
start --submissions-per-minute 100 "${proxy[@]}"
check "started again behind the front, it lists everything it had" "$listed" "$(curl -s "${tls[@]}" "$front/api/scores?limit=100")"
stop
kill "$nginx_pid" && wait "$nginx_pid"
nginx_pid=

# --- Two boards behind the front on one PostgreSQL database (a server of the test's own), sharing
# the ticket key: a game sent to both at once is stored once, a ticket dealt by one is good on the
# other once, one board killed leaves the other answering, and the database stopped is answered
# 503 until it starts again.
read -r pg_dir pg_url < <(bash "$source_dir/tests/support/postgres.sh" start fsync=off)
[ -n "${pg_url:-}" ] || { echo "FAIL no PostgreSQL server started"; exit 1; }
two=("$(free_port)" "$(free_port)")
two_pids=()
trap 'kill -9 "${two_pids[@]}" 2>/dev/null; [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null
  bash "$source_dir/tests/support/postgres.sh" stop "$pg_dir"; [ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
for index in 0 1; do
  "$board" --listen "127.0.0.1:${two[$index]}" --db "$pg_url" --ticket-key "$work/shared.key" --submissions-per-minute 100 \
    --accept-unticketed "${proxy[@]}" >>"$work/two$index.log" 2>&1 &
  two_pids[$index]=$!
  for _ in $(seq 200); do curl -sf "http://127.0.0.1:${two[$index]}/api/health" >/dev/null && break; sleep 0.05; done
done
bash "$source_dir/scripts/front_config.sh" "$work/front2" "$front_port" "$redirect_port" "${two[0]},${two[1]}" "$work/site" \
  "$work/cert.pem" "$work/key.pem" || exit 1
/usr/sbin/nginx -c "$work/front2/nginx.conf" -p "$work/front2" -e "$work/front2/error.log" &
nginx_pid=$!
for _ in $(seq 100); do curl -sf "${tls[@]}" "$front/api/health" >/dev/null && break; sleep 0.05; done
on() { curl -s "${json[@]}" -w ' %{http_code}\n' --data-binary @"$work/$2.json" "http://127.0.0.1:${two[$1]}/api/scores"; } # on INDEX GAME

dealt=$(curl -s "${json[@]}" -d '{}' "http://127.0.0.1:${two[0]}/api/tickets" | field ticket)
"$replay_tool" record-ticket "$dealt" "$work/dealt.whole"
for frames in 40 50; do
  "$replay_tool" give-up "$work/dealt.whole" "$work/dealt$frames.replay" "$frames"
  submission "Tia" "$work/dealt$frames.replay" >"$work/dealt$frames.json"
done
both=()
for seed in 501 502 503 504 505; do
  "$replay_tool" record "$seed" "$work/both$seed.replay"
  submission "Bo$seed" "$work/both$seed.replay" >"$work/both$seed.json"
  for index in 0 1; do on "$index" "both$seed" >"$work/both$seed.$index" & both+=($!); done
done
wait "${both[@]}"
check "five games each sent to both boards at once: stored once, the other answered with that entry" \
  "$(printf '200 201 1 %.0s' 1 2 3 4 5)" "$(for seed in 501 502 503 504 505; do
    sed 's/.* //' "$work/both$seed".[01] | sort | paste -sd' '
    for answer in "$work/both$seed".[01]; do sed 's/ [0-9]*$//' "$answer" | field id; done | sort -u | wc -l
  done | paste -sd' ') "
check "a ticket dealt by one board: its game stored by the other, another game on it refused by the first" "201 409" \
  "$(on 1 dealt40 | sed 's/.* //') $(on 0 dealt50 | sed 's/.* //')"

listed=$(curl -s "${tls[@]}" "$front/api/scores?limit=100")
kill -9 "${two_pids[0]}"
wait "${two_pids[0]}" 2>/dev/null
"$replay_tool" record 506 "$work/after.replay"
submission "Kit" "$work/after.replay" >"$work/after.json"
check "one board killed: the front's requests all answered by the other" "200 200 200 200 200 201" \
  "$(for _ in 1 2 3 4 5; do curl -s "${tls[@]}" -o /dev/null -w '%{http_code} ' "$front/api/scores"; done
    curl -s "${tls[@]}" "${json[@]}" -o /dev/null -w '%{http_code}' --data-binary @"$work/after.json" "$front/api/scores")"
bash "$source_dir/tests/support/postgres.sh" pause "$pg_dir"
check "the database stopped: the board's 503 with Retry-After" \
  '503 {"error":"the scores cannot be reached for now; try again in a few seconds"} 5' \
  "$(curl -s "${tls[@]}" -D "$work/stopped.head" -o "$work/answer" -w '%{http_code}' "$front/api/scores") $(cat "$work/answer") $(
    header Retry-After <"$work/stopped.head")"
bash "$source_dir/tests/support/postgres.sh" resume "$pg_dir"
for _ in $(seq 50); do [ "$(curl -s "${tls[@]}" -o "$work/answer" -w '%{http_code}' "$front/api/scores")" = 200 ] && break; sleep 0.1; done
check "started again, within 5 s the board answers by itself, with the entry stored before" \
  "$(($(echo "$listed" | field total) + 1))" "$(field total <"$work/answer")"
kill "${two_pids[1]}" "$nginx_pid" && wait "${two_pids[1]}" "$nginx_pid"
two_pids=()
nginx_pid=

echo "board test: $failures failed"
[ $failures -eq 0 ]
