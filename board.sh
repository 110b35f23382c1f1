#!/usr/bin/env bash
# The leaderboard: installs what is missing, builds zellworth-board and runs it on 127.0.0.1
# (port 8000 unless given), its database in board-data/ (ignored by git). When the browser site
# has been built (./web.sh), it is served at the same address.
#   ./board.sh [PORT]
#   ./board.sh --front PORT [--cert CERT.pem --key KEY.pem]
# --front runs it as on the internet: the package's nginx site on https://127.0.0.1:PORT/, as
# this user, its files in board-data/front/, and the board behind it on a free local port. With
# no certificate named it makes a self-signed one for 127.0.0.1 and localhost.
set -euo pipefail
cd "$(dirname "$0")"
front=
cert=
key=
if [ "${1:-}" = --front ]; then
  front=${2:?usage: ./board.sh --front PORT [--cert CERT.pem --key KEY.pem]}
  shift 2
  while [ $# -gt 0 ]; do
    case $1 in
      --cert) cert=$(realpath "$2"); shift 2 ;;
      --key) key=$(realpath "$2"); shift 2 ;;
      *) echo "usage: ./board.sh --front PORT [--cert CERT.pem --key KEY.pem]" >&2; exit 2 ;;
    esac
  done
  if [ -n "$cert$key" ] && { [ -z "$cert" ] || [ -z "$key" ]; }; then
    echo "./board.sh: name both the certificate and its key" >&2
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
board_port=$(free_port)
# The port-80 redirect of the site answers on another free port, unannounced.
bash scripts/front_config.sh "$dir" "$front" "$(free_port)" "$board_port" build-web/site "$cert" "$key"

proxy=()
build/zellworth-board --help | grep -q -- --trusted-proxy && proxy=(--trusted-proxy 127.0.0.1)
board_pid=
nginx_pid=
stop() {
  trap - INT TERM EXIT
  [ -z "$nginx_pid" ] || kill "$nginx_pid" 2>/dev/null
  [ -z "$board_pid" ] || kill "$board_pid" 2>/dev/null
  wait
}
trap 'stop; exit 0' INT TERM
trap stop EXIT
build/zellworth-board --listen "127.0.0.1:$board_port" --db board-data/board.db "${proxy[@]}" >"$dir/board.log" &
board_pid=$!
/usr/sbin/nginx -c "$(realpath "$dir/nginx.conf")" -p "$(realpath "$dir")" -e "$(realpath "$dir/error.log")" &
nginx_pid=$!
url=https://127.0.0.1:$front/
for _ in $(seq 100); do
  curl -sf --cacert "$cert" "${url}api/health" >/dev/null && break
  kill -0 "$nginx_pid" 2>/dev/null && kill -0 "$board_pid" 2>/dev/null || { echo "./board.sh: the front or the board stopped ($dir/error.log)" >&2; exit 1; }
  sleep 0.1
done
curl -sf --cacert "$cert" "${url}api/health" >/dev/null || { echo "./board.sh: the front does not answer ($dir/error.log)" >&2; exit 1; }
if [ -f build-web/site/index.html ]; then
  echo "Zellworth and its leaderboard are served at $url (Ctrl+C stops it)"
else
  echo "The leaderboard is served at ${url}api/scores (Ctrl+C stops it; ./web.sh builds the page)"
fi
echo "Its certificate: $(realpath "$cert") (curl --cacert it, or let the browser trust it)"
wait -n
