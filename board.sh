#!/usr/bin/env bash
# The leaderboard: installs what is missing, builds zellworth-board and runs it on 127.0.0.1
# (port 8000 unless given), its database in board-data/ (ignored by git). When the browser site
# has been built (./web.sh), it is served at the same address.
#   ./board.sh [PORT]
#   ./board.sh --help
#   ./board.sh --front PORT [--cert CERT.pem --key KEY.pem] [--boards N] [--db postgresql://...] [-- BOARD_OPTIONS]
# --front runs it as on the internet: the package's nginx site on https://127.0.0.1:PORT/, as
# this user, its files in board-data/front/, and the board behind it on a free local port. With
# no certificate named it makes a self-signed one for 127.0.0.1 and localhost. --boards N runs N
# boards behind it, each on a free local port, sharing the PostgreSQL database given with --db
# and the ticket key board-data/board.key; a board that stops is started again a second later.
# Options after -- go to every board (--accept-unticketed, say).
set -euo pipefail
cd "$(dirname "$0")"
front=
cert=
key=
boards=1
db=board-data/board.db
board_options=()
usage="usage: ./board.sh [PORT]
       ./board.sh --front PORT [--cert CERT.pem --key KEY.pem] [--boards N] [--db postgresql://...] [-- BOARD_OPTIONS]
       ./board.sh --help"
# Anything but a port or --front is answered here, before anything is installed, built or made.
case ${1:-} in
  -h|--help) echo "$usage"; exit 0 ;;
  --front|'') ;;
  *) [[ $1 =~ ^[0-9]+$ ]] && [ $# -eq 1 ] || { echo "$usage" >&2; exit 2; } ;;
esac
if [ "${1:-}" = --front ]; then
  front=${2:?$usage}
  shift 2
  while [ $# -gt 0 ]; do
    case $1 in
      --) board_options=("${@:2}"); shift $#; break ;;
      --cert) cert=$(realpath "$2"); shift 2 ;;
      --key) key=$(realpath "$2"); shift 2 ;;
      --boards) boards=${2:?$usage}; shift 2 ;;
      --db) db=${2:?$usage}; shift 2 ;;
      -h|--help) echo "$usage"; exit 0 ;;
      *) break ;;
    esac
  done
  [ $# -eq 0 ] && [[ $front =~ ^[0-9]+$ ]] || { echo "$usage" >&2; exit 2; }
  if [ -n "$cert$key" ] && { [ -z "$cert" ] || [ -z "$key" ]; }; then
    echo "./board.sh: name both the certificate and its key" >&2
    exit 2
  fi
  [[ $boards =~ ^[1-9][0-9]?$ ]] || { echo "./board.sh: --boards needs a number from 1 to 99" >&2; exit 2; }
  if [ "$boards" -gt 1 ] && [[ $db != postgres://* && $db != postgresql://* ]]; then
    echo "./board.sh: several boards share a PostgreSQL database: give it with --db postgresql://..." >&2
    exit 2
  fi
fi
port=${1:-8000}
bash scripts/setup.sh
bash scripts/build.sh build >/dev/null
mkdir -p board-data
site=()
if [ -z "$front" ]; then
  if [ -f build-web/site/index.html ]; then
    site=(--site build-web/site)
    echo "Zellworth and its leaderboard are served at http://localhost:$port/ (Ctrl+C stops it)"
  else
    echo "The leaderboard is served at http://localhost:$port/api/scores (Ctrl+C stops it; ./web.sh builds the page)"
  fi
  exec build/zellworth-board --listen "127.0.0.1:$port" --db board-data/board.db "${site[@]}"
fi

# The front: nginx serves the site and passes /api/ to the board.
dir=board-data/front
mkdir -p "$dir"
if [ -z "$cert" ]; then
  cert=$dir/cert.pem
  key=$dir/key.pem
  if [ ! -f "$cert" ] || [ ! -f "$key" ]; then
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 825 -subj /CN=localhost \
      -addext 'subjectAltName=IP:127.0.0.1,DNS:localhost' -keyout "$key" -out "$cert" 2>/dev/null
  fi
fi
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()'; }
board_ports=()
for _ in $(seq "$boards"); do board_ports+=("$(free_port)"); done
# The port-80 redirect of the site answers on another free port, unannounced.
bash scripts/front_config.sh "$dir" "$front" "$(free_port)" "$(IFS=,; echo "${board_ports[*]}")" build-web/site "$cert" "$key"

proxy=()
build/zellworth-board --help | grep -q -- --trusted-proxy && proxy=(--trusted-proxy 127.0.0.1)
nginx_pid=
rm -f "$dir/stopping" "$dir"/board*.pid
# Each board is started again a second after it stops, until the front stops.
run_board() { # run_board INDEX
  while [ ! -e "$dir/stopping" ]; do
    build/zellworth-board --listen "127.0.0.1:${board_ports[$1]}" --db "$db" --ticket-key board-data/board.key \
      "${proxy[@]}" "${board_options[@]}" >>"$dir/board$1.log" 2>&1 &
    echo $! >"$dir/board$1.pid"
    wait $! || true
    sleep 1
  done
}
stop() {
  trap - INT TERM EXIT
  touch "$dir/stopping"
  [ -z "$nginx_pid" ] || kill "$nginx_pid" 2>/dev/null
  cat "$dir"/board*.pid 2>/dev/null | xargs -r kill 2>/dev/null
  wait
}
trap 'stop; exit 0' INT TERM
trap stop EXIT
for index in "${!board_ports[@]}"; do run_board "$index" & done
/usr/sbin/nginx -c "$(realpath "$dir/nginx.conf")" -p "$(realpath "$dir")" -e "$(realpath "$dir/error.log")" &
nginx_pid=$!
url=https://127.0.0.1:$front/
for _ in $(seq 100); do
  curl -sf --cacert "$cert" "${url}api/health" >/dev/null && break
  kill -0 "$nginx_pid" 2>/dev/null || { echo "./board.sh: the front stopped ($dir/error.log)" >&2; exit 1; }
  sleep 0.1
done
curl -sf --cacert "$cert" "${url}api/health" >/dev/null || { echo "./board.sh: the front does not answer ($dir/error.log)" >&2; exit 1; }
if [ -f build-web/site/index.html ]; then
  echo "Zellworth and its leaderboard are served at $url (Ctrl+C stops it)"
else
  echo "The leaderboard is served at ${url}api/scores (Ctrl+C stops it; ./web.sh builds the page)"
fi
echo "Its certificate: $(realpath "$cert") (curl --cacert it, or let the browser trust it)"
[ "$boards" -eq 1 ] || echo "$boards boards behind it, on ports ${board_ports[*]} (their logs: $dir/board*.log)"
wait "$nginx_pid"
