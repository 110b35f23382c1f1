# An ordinary user for the test scripts that run the game (sourced): a read-only file or directory
# binds every user but root, and CI runs as root. Run as root, the scripts start the game as the
# user zellworth-tester, made with a home of its own on first use; run as anyone else, as they are.
#
#   player_prepare     makes the user when needed; sets PLAYER (the prefix that runs a command as
#                      the user: setpriv with the user's HOME, empty when not root), PLAYER_NAME
#                      and PLAYER_HOME
#   player_owns PATH   hands PATH, and everything in it, over to the user

PLAYER_NAME=zellworth-tester

player_prepare() {
  PLAYER=()
  if [ "$(id -u)" -ne 0 ]; then
    PLAYER_NAME=$(id -un)
    PLAYER_HOME=$HOME
    return 0
  fi
  if ! id -u "$PLAYER_NAME" >/dev/null 2>&1; then
    # A test running beside this one may make it meanwhile: only its absence afterwards counts.
    useradd --create-home --user-group --shell /bin/sh --comment "Zellworth tests" "$PLAYER_NAME" 2>/dev/null
    id -u "$PLAYER_NAME" >/dev/null 2>&1 || { echo "cannot make the user $PLAYER_NAME" >&2; return 1; }
  fi
  PLAYER_HOME=$(getent passwd "$PLAYER_NAME" | cut -d: -f6)
  PLAYER=(setpriv --reuid="$PLAYER_NAME" --regid="$PLAYER_NAME" --init-groups
          env HOME="$PLAYER_HOME" USER="$PLAYER_NAME" LOGNAME="$PLAYER_NAME")
}

player_owns() {
  if [ ${#PLAYER[@]} -gt 0 ]; then
    chown -R "$PLAYER_NAME:" "$1"
  fi
}
