#!/usr/bin/env bash
# A PostgreSQL 15 server of a test's own in a new directory, on a free port of 127.0.0.1 only, run
# as nobody when the test runs as root, as the server wants.
#   postgres.sh start [SETTING=VALUE...]   prints the directory and the database's URL once it accepts
#   postgres.sh stop DIR | pause DIR       a fast shutdown; stop then removes DIR
#   postgres.sh resume DIR                 starts it again on its port
set -euo pipefail
bin=/usr/lib/postgresql/15/bin command=$1 dir=${2:-} owner=()
[ "$(id -u)" -ne 0 ] || owner=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
serve() {
  (cd "$dir" && "${owner[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 -s -o \
    "-c listen_addresses=127.0.0.1 -c port=$(cat "$dir/port") -c unix_socket_directories= $(cat "$dir/settings")" start)
}
case $command in
  start)
    dir=$(mktemp -d)
    chmod 755 "$dir"
    [ ${#owner[@]} -eq 0 ] || chown nobody:nogroup "$dir"
    for setting in "${@:2}"; do printf -- '-c %s ' "$setting"; done >"$dir/settings"
    (cd "$dir" && "${owner[@]}" "$bin/initdb" -D "$dir/data" -U board --auth=trust --no-sync -E UTF8 --locale=C >"$dir/initdb.log" 2>&1) ||
      { cat "$dir/initdb.log" >&2; exit 1; }
    for _ in 1 2 3; do  # a port found free may be taken before the server binds it
      python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])' >"$dir/port"
      serve && { echo "$dir postgresql://board@127.0.0.1:$(cat "$dir/port")/postgres"; exit 0; }
    done
    cat "$dir/server.log" >&2
    exit 1 ;;
  stop | pause)
    pid=$(head -n 1 "$dir/data/postmaster.pid" 2>/dev/null) || true
    if [ -n "$pid" ] && kill -INT "$pid" 2>/dev/null; then
      for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -KILL "$pid" 2>/dev/null || true
    fi
    [ "$command" = pause ] || rm -rf "$dir" ;;
  resume) serve ;;
esac
