#!/usr/bin/env bash
# The browser version.
#   ./web.sh              installs what is missing, builds the site into build-web/site/
#   ./web.sh serve [PORT] serves build-web/site/ and the leaderboard on localhost (default port 8000)
#   ./web.sh test         builds the site and runs the browser test (tests/web/)
# The libraries and the rendered music are kept in ZELLWORTH_WEB_CACHE (default
# ${XDG_CACHE_HOME:-~/.cache}/zellworth-web), where a later build, in any clone, finds them.
set -euo pipefail
cd "$(dirname "$0")"
source_dir=$(pwd)

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
libs=$(bash web/libs.sh)

out=build-web
site=$out/site
media=$out/media
objects=$out/obj
mkdir -p "$media" "$objects"

# --- Music: the MIDI pieces rendered with the desktop's sound font -------------------------------
soundfont=/usr/share/sounds/sf2/TimGM6mb.sf2
music_gain=0.4  # a third of the desktop's synthesiser gain at full volume; the game makes up for it
music_key=$( (cat assets/Common/mus0*.mid; sha256sum "$soundfont"; echo "$music_gain";
  fluidsynth --version 2>/dev/null | head -n 1; oggenc --version) | sha256sum | cut -c1-16)
music_cache=$ZELLWORTH_WEB_CACHE/music-$music_key
if [ ! -f "$music_cache/done" ]; then
  echo "Rendering the music"
  rm -rf "$music_cache.tmp"
  mkdir -p "$music_cache.tmp"
  for piece in assets/Common/mus0*.mid; do
    name=$(basename "$piece" .mid)
    fluidsynth -ni -q -g "$music_gain" -r 44100 -O float -T wav -F "$music_cache.tmp/$name.wav" \
      "$soundfont" "$piece" >/dev/null 2>&1
    oggenc -Q -q 4 -o "$music_cache.tmp/$name.ogg" "$music_cache.tmp/$name.wav" 2>/dev/null
    rm "$music_cache.tmp/$name.wav"
  done
  touch "$music_cache.tmp/done"
  rm -rf "$music_cache"
  mv "$music_cache.tmp" "$music_cache"
fi

# --- Media: the desktop's pictures and sounds, the rendered music ---------------------------------
rm -rf "$media"
mkdir -p "$media"
cp assets/Common/*.png assets/Common/*.wav "$music_cache"/*.ogg "$media/"
{
  printf "Module['shippedMedia'] = ["
  ls "$media" | sed "s/.*/'&'/" | paste -sd, | tr -d '\n'
  printf '];\n'
} >"$out/shipped-media.js"

# --- The game, compiled for the browser ------------------------------------------------------------
project_version=$(sed -n 's/^project(Zellworth VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
cxxflags=(-std=c++17 -O2 -Wall -Wextra -Wpedantic -DZELLWORTH_VERSION=\"$project_version\" -Isrc -I"$libs/include/SDL2" -I"$libs/include")
[ "${CI:-}" = true ] && cxxflags+=(-Werror)
# Objects of other flags are compiled anew.
if [ "$(cat "$objects/flags" 2>/dev/null)" != "${cxxflags[*]}" ]; then
  rm -f "$objects"/*.o
  echo "${cxxflags[*]}" >"$objects/flags"
fi
newest_header=$(find src -name '*.h' -printf '%T@\n' | sort -n | tail -n 1)
sources=$(find src -name '*.cpp' | sort)
stale=()
for source in $sources; do
  object=$objects/$(echo "$source" | tr / _).o
  if [ ! -f "$object" ] || [ "$source" -nt "$object" ] ||
    [ "$(stat -c %Y "$object")" -lt "${newest_header%.*}" ]; then
    stale+=("$source")
  fi
done
if [ ${#stale[@]} -gt 0 ]; then
  echo "Compiling ${#stale[@]} source files"
  printf '%s\n' "${stale[@]}" |
    xargs -P "$(nproc)" -I{} sh -c 'em++ "$@" -c {} -o "'"$objects"'/$(echo {} | tr / _).o"' _ "${cxxflags[@]}"
fi

rm -rf "$site"
mkdir -p "$site"
echo "Linking"
em++ -O2 $(for source in $sources; do echo "$objects/$(echo "$source" | tr / _).o"; done) \
  "$libs/lib/libSDL2_mixer.a" "$libs/lib/libSDL2_image.a" "$libs/lib/libSDL2.a" \
  -sASYNCIFY -sALLOW_MEMORY_GROWTH=1 -sENVIRONMENT=web -sMINIFY_HTML=0 \
  -sDEFAULT_LIBRARY_FUNCS_TO_INCLUDE='["$autoResumeAudioContext","$dynCall"]' \
  -sEXPORTED_RUNTIME_METHODS='["FS","callMain"]' -sINVOKE_RUN=0 \
  -lidbfs.js --pre-js "$out/shipped-media.js" --pre-js web/pre.js \
  --preload-file "$media@/zellworth/Common" \
  -o "$site/zellworth.js"

# --- The page's own files ----------------------------------------------------------------------------
cp web/index.html web/page.js web/best_games.js web/leaderboard.js web/page.css "$site/"
icon_tool=$out/make_icon
if [ ! -x "$icon_tool" ] || [ packaging/make_icon.cpp -nt "$icon_tool" ]; then
  g++ -O2 -std=c++17 packaging/make_icon.cpp -o "$icon_tool" $(pkg-config --cflags --libs sdl2 SDL2_image)
fi
for size in 192 512; do
  "$icon_tool" assets/Common/Bird.png 160 "$size" "$site/icon-$size.png"
done
cp web/manifest.webmanifest "$site/"

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
} >"$site/NOTICES.txt"

# The service worker caches the site under a name made from the content of every other file, so
# that a new build replaces the cached files at the next visit.
version=$(cd "$site" && find . -type f ! -name sw.js | sort | xargs sha256sum | sha256sum | cut -c1-16)
files=$(cd "$site" && find . -type f ! -name sw.js -printf '%P\n' | sort | sed 's/.*/"&"/' | paste -sd,)
sed -e "s/@VERSION@/$version/" -e "s|@FILES@|[\"./\",$files]|" web/sw.js >"$site/sw.js"

echo "Built $site (version $version):"
(cd "$site" && for file in $(find . -type f | sort); do
  printf '  %-26s %9d bytes  %9d gzip\n' "${file#./}" "$(stat -c %s "$file")" "$(gzip -9 -c "$file" | wc -c)"
done)
