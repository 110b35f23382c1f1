#!/usr/bin/env bash
# The Debian packages as a player and an operator get them (scripts/package.sh, apt-get): the board's
# unit passes systemd-analyze verify, its server serves as its own user, its nginx site is the one
# the board's tests run; a user plays the installed game (tests/e2e/e2e.py installed) and keeps
# their Settings.bin; apt-get purge leaves nothing else. Run as root, or as a user who may sudo.
set -uo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
ZW_WORK=$source_dir/build-deb/scratch
log() { echo "[package] $*"; }
fail() { log "FAIL: $*" >&2; exit 1; }
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
installed() { [ "$(dpkg-query -W -f='${db:Status-Status}' "${1:-zellworth}" 2>/dev/null)" = installed ]; }
for package in zellworth zellworth-board; do
  installed $package && fail "$package is installed on this machine already; this test would replace and purge it"
done

# ./test.sh builds the packages beside its other tests and says so with ZW_PACKAGE_BUILT=1.
[ -n "${ZW_PACKAGE_BUILT:-}" ] || bash "$source_dir/scripts/package.sh" || fail "scripts/package.sh failed"
deb=$(ls "$source_dir"/build-deb/zellworth_*.deb)
board_deb=$(ls "$source_dir"/build-deb/zellworth-board_*.deb)
[ -f "$deb" ] && [ -f "$board_deb" ] || fail "no packages in build-deb/"

# Everything named after the game where packages install and their scripts write; not homes and
# work trees, where other checkouts' builds and tests make and remove such files at any time.
named_after_the_game() {
  find /etc /opt /srv /usr /var -xdev -path /var/tmp -prune -o -iname '*zellworth*' -print 2>/dev/null | sort
}
# The player: as root, the user zellworth-tester (made on first use); otherwise a fresh home.
if [ "$(id -u)" -eq 0 ]; then
  id -u zellworth-tester >/dev/null 2>&1 || useradd --create-home --user-group --shell /bin/sh zellworth-tester
  home=$(getent passwd zellworth-tester | cut -d: -f6) && [ -n "$home" ] || fail "no user to play as"
  player="setpriv --reuid=zellworth-tester --regid=zellworth-tester --init-groups env HOME=$home"
  rm -rf "$home/.local/share/zellworth"
else
  home=$ZW_WORK/home player="env HOME=$home"
  rm -rf "$home" && mkdir -p "$home"
fi
before=$(named_after_the_game)

log "installing $(basename "$deb") and $(basename "$board_deb")"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get install -y -qq "$deb" "$board_deb" >"$source_dir/build-deb/apt.log" 2>&1 ||
  fail "apt-get install failed: $(tail -n 20 "$source_dir/build-deb/apt.log")"
installed && installed zellworth-board || fail "the packages are not installed after apt-get install"
# A run that fails from here on purges the packages all the same, leaving the machine as it was.
trap 'status=$?; [ -n "${board_pid:-}" ] && "${as_root[@]}" kill "$board_pid" 2>/dev/null;
  { installed || installed zellworth-board; } && "${as_root[@]}" apt-get purge -y -qq zellworth zellworth-board >/dev/null 2>&1
  exit $status' EXIT
mapfile -t shipped < <(dpkg -L zellworth zellworth-board)

# The board's unit passes systemd's checks; the server runs as the unit starts it (no systemd runs
# here): as its own user, its database in /var/lib/zellworth-board.
unit=/lib/systemd/system/zellworth-board.service
[ -f "$unit" ] || fail "no $unit in the package"
# --where: verify runs man on the unit's pages, whose formatted copies no purge would remove.
verify_log=$(MANOPT=--where systemd-analyze verify "$unit" 2>&1) || fail "systemd-analyze verify: $verify_log"
[ -z "$verify_log" ] || fail "systemd-analyze verify reports: $verify_log"
[ "$(stat -c %U "/var/lib/zellworth-board")" = zellworth-board ] || fail "/var/lib/zellworth-board does not belong to zellworth-board"
board_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
"${as_root[@]}" setpriv --reuid=zellworth-board --regid=zellworth-board --init-groups \
  /usr/bin/zellworth-board --db /var/lib/zellworth-board/board.db \
  --listen "127.0.0.1:$board_port" >"$source_dir/build-deb/board.log" 2>&1 &
board_pid=$!
for _ in $(seq 50); do curl -sf "http://127.0.0.1:$board_port/api/health" >/dev/null && break; sleep 0.1; done
[ "$(curl -s "http://127.0.0.1:$board_port/api/scores")" = '{"next":null,"scores":[],"total":0}' ] || fail "the installed board does not list its empty table"
[ "$(stat -c %U /var/lib/zellworth-board/board.db)" = zellworth-board ] || fail "the board's database does not belong to its user"
"${as_root[@]}" kill "$board_pid"
wait "$board_pid" || fail "the installed board did not stop cleanly: $(cat "$source_dir/build-deb/board.log")"
board_pid=
log "the installed zellworth-board served as its own user on 127.0.0.1:$board_port"

# Its nginx site, shipped as the board's tests run it (beside Debian's http lines), not enabled.
cmp -s "$source_dir/packaging/nginx/zellworth-board" /etc/nginx/sites-available/zellworth-board || fail "no nginx site as packaging/ has it"
[ ! -e /etc/nginx/sites-enabled/zellworth-board ] || fail "the package enabled its nginx site"
for file in "$source_dir"/assets/Common/*.{png,mid,wav}; do  # the media, not a game's saved files
  cmp -s "$file" "/usr/share/games/zellworth/${file##*/}" || fail "the installed ${file##*/} differs from the project's"
done

ZW_GAME=/usr/games/zellworth ZW_MEDIA=/usr/share/games/zellworth ZW_WORK=$ZW_WORK ZW_PLAYER_HOME=$home ZW_AS=$player \
  /usr/bin/python3 "$source_dir/tests/e2e/e2e.py" installed || fail "the installed game, as its player"

log "purging the packages"
"${as_root[@]}" apt-get purge -y -qq zellworth zellworth-board >>"$source_dir/build-deb/apt.log" 2>&1 || fail "apt-get purge failed"
! installed && ! installed zellworth-board || fail "a package is still installed after apt-get purge"
for path in "${shipped[@]}"; do
  # Directories such as /usr/share/icons are shared with other packages and stay.
  [ -d "$path" ] || [ ! -e "$path" ] || fail "$path is left after the purge"
done
after=$(named_after_the_game)
[ "$after" = "$before" ] ||
  fail "left after the purge: $(comm -13 <(echo "$before") <(echo "$after") | tr '\n' ' ')," \
    "gone: $(comm -23 <(echo "$before") <(echo "$after") | tr '\n' ' ')"
[ -f "$home/.local/share/zellworth/Common/Settings.bin" ] || fail "the purge removed the player's Settings.bin"
rm -f "$source_dir/build-deb/apt.log"
log PASS
