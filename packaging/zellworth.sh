#!/bin/sh
# Starts the installed Zellworth. The game reads its media and keeps its key settings in
# ../Common/ beside its working directory, so each user gets a directory of their own:
# <data>/Common holds links to the installed media and the user's own Settings.bin, and the game
# runs in <data>/run. <data> is $XDG_DATA_HOME/zellworth, by default ~/.local/share/zellworth.
set -eu

self=$(readlink -f "$0")
prefix=$(cd "$(dirname "$self")/@ZW_BIN_TO_PREFIX@" && pwd)
game="$prefix/@ZW_GAME_DIR@/zellworth"
media="$prefix/@ZW_MEDIA_DIR@"

data_home=${XDG_DATA_HOME:-}
case "$data_home" in
  /*) ;;
  *) data_home="${HOME:?HOME is not set}/.local/share" ;;
esac
data="$data_home/zellworth"
mkdir -p "$data/Common" "$data/run"

# Link every installed media file; drop links left behind by an older installation.
for file in "$media"/*; do
  ln -sfn "$file" "$data/Common/$(basename "$file")"
done
for link in "$data/Common"/*; do
  if [ -L "$link" ] && [ ! -e "$link" ]; then
    rm -f "$link"
  fi
done

cd "$data/run"
exec "$game" "$@"
