#!/usr/bin/env bash
# The browser version.
#   ./web.sh              installs what is missing, builds the site into build-web/site/
#   ./web.sh serve [PORT] serves build-web/site/ and the leaderboard on localhost (default port 8000)
#   ./web.sh test         builds the site and runs the browser test (tests/web/)
# The libraries and the rendered music are kept in ZELLWORTH_WEB_CACHE (default
# ${XDG_CACHE_HOME:-~/.cache}/zellworth-web), where a later build, in any clone, finds them; a
# lock there lets one build at a time write it.
set -euo pipefail
trap 'echo "./web.sh stopped: \"$BASH_COMMAND\" failed (line $LINENO)" >&2' ERR
cd "$(dirname "$0")"

case "${1:-build}" in
  build) ;;
  serve)
    port=${2:-8000}
    [ -f build-web/site/index.html ] || { echo "No site yet: run ./web.sh first" >&2; exit 1; }
    # The leaderboard server serves the site too, so that the page and its board share one address.
    exec ./board.sh "$port"
    ;;
  test)
    "$0" build
    exec bash tests/web/web_test.sh
    ;;
  *)
    echo "usage: ./web.sh [build | serve [PORT] | test]" >&2
    exit 2
    ;;
esac

bash web/setup.sh
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
export ZELLWORTH_WEB_CACHE=${ZELLWORTH_WEB_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zellworth-web}
out=build-web
files=$out/files  # the site's files under their own names; web/stamp.sh names them by content
site=$out/site
media=$out/media
mkdir -p "$ZELLWORTH_WEB_CACHE" "$out"

# One build at a time writes the cache; another waits here and then finds what this one made.
exec 9>"$ZELLWORTH_WEB_CACHE/lock"
if ! flock -n 9; then
  echo "Waiting for another build to finish with $ZELLWORTH_WEB_CACHE"
  flock 9
fi
libs=$(bash web/libs.sh)

# --- Music: the MIDI pieces rendered with the desktop's sound font -------------------------------
soundfont=/usr/share/sounds/sf2/TimGM6mb.sf2
music_gain=0.4  # a third of the desktop's synthesiser gain at full volume; the game makes up for it
music_key=$( (cat assets/Common/mus0*.mid; sha256sum "$soundfont"; echo "$music_gain";
  fluidsynth --version | sed -n 1p; oggenc --version) | sha256sum | cut -c1-16)
music_cache=$ZELLWORTH_WEB_CACHE/music-$music_key
if [ ! -f "$music_cache/done" ]; then
  echo "Rendering the music"
  rm -rf "$music_cache.tmp"
  mkdir -p "$music_cache.tmp"
  for piece in assets/Common/mus0*.mid; do
    name=$(basename "$piece" .mid)
    fluidsynth -ni -q -g "$music_gain" -r 44100 -O float -T wav -F "$music_cache.tmp/$name.wav" \
      "$soundfont" "$piece" >/dev/null
    [ -s "$music_cache.tmp/$name.wav" ] || { echo "FluidSynth rendered nothing of $piece" >&2; exit 1; }
    oggenc -Q -q 4 -o "$music_cache.tmp/$name.ogg" "$music_cache.tmp/$name.wav"
    rm "$music_cache.tmp/$name.wav"
  done
  touch "$music_cache.tmp/done"
  rm -rf "$music_cache"
  mv "$music_cache.tmp" "$music_cache"
fi
flock -u 9

# --- Media: the desktop's pictures and sounds, the rendered music ---------------------------------
# Copied with their times, so that an unchanged file links nothing anew.
rm -rf "$media"
mkdir -p "$media"
cp -p assets/Common/*.png assets/Common/*.wav "$music_cache"/*.ogg "$media/"
media_list=$out/shipped-media.js
{
  printf "Module['shippedMedia'] = ["
  ls "$media" | sed "s/.*/'&'/" | paste -sd, | tr -d '\n'
  printf '];\n'
} >"$media_list.new"
cmp -s "$media_list.new" "$media_list" && rm "$media_list.new" || mv "$media_list.new" "$media_list"

# --- The game, compiled for the browser from the CMake project ------------------------------------
werror=OFF
[ "${CI:-}" = true ] && werror=ON
emcmake cmake -S . -B "$out/cmake" -DCMAKE_BUILD_TYPE=Release -DZELLWORTH_WERROR=$werror \
  -DZELLWORTH_WEB_LIBS="$libs" -DZELLWORTH_WEB_MEDIA="$(pwd)/$media" -DZELLWORTH_WEB_MEDIA_LIST="$(pwd)/$media_list" \
  >"$out/cmake-configure.log" || { cat "$out/cmake-configure.log"; exit 1; }
cmake --build "$out/cmake" -j "$(nproc)"

# --- The page's own files ----------------------------------------------------------------------------
rm -rf "$files"
mkdir -p "$files"
cp "$out"/cmake/zellworth.js "$out"/cmake/zellworth.wasm "$out"/cmake/zellworth.data "$files/"
cp web/index.html web/page.js web/best_games.js web/best_games.css web/leaderboard.css web/leaderboard.js web/page.css web/sw.js web/manifest.webmanifest "$files/"
icon_tool=$out/make_icon
if [ ! -x "$icon_tool" ] || [ packaging/make_icon.cpp -nt "$icon_tool" ]; then
  g++ -O2 -std=c++17 packaging/make_icon.cpp -o "$icon_tool" $(pkg-config --cflags --libs sdl2 SDL2_image)
fi
for size in 192 512; do
  "$icon_tool" assets/Common/Bird.png 160 "$size" "$files/icon-$size.png"
done

# Notices of what the page bundles, with each licence.
{
  cat web/NOTICES.txt
  for part in SDL2 SDL2_image SDL2_mixer; do
    printf '\n\n==== %s ====\n\n' "$part"
    cat "$libs/licences/$part.txt"
  done
  for package in libsdl2 libsdl2-image libsdl2-mixer; do
    printf '\n\n==== Debian copyright file of the %s source package ====\n\n' "$package"
    cat "$libs/licences/$package.copyright"
  done
  printf '\n\n==== The sound font TimGM6mb (Debian package timgm6mb-soundfont) ====\n\n'
  cat /usr/share/doc/timgm6mb-soundfont/copyright
  printf "\n\n==== GNU General Public License, version 2 (the sound font's licence) ====\n\n"
  cat /usr/share/common-licenses/GPL-2
} >"$files/NOTICES.txt"

bash web/stamp.sh "$files" "$site"
