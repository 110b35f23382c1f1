#!/usr/bin/env bash
# Builds SDL2, SDL2_image (PNG through its built-in stb loader) and SDL2_mixer (WAV and Ogg
# Vorbis through stb) for the browser from Debian's source packages, once, into a cache outside
# the clone, keyed by the versions apt offers and the flags. Prints the cache folder that holds
# include/, lib/ and licences/. web.sh runs it while it holds the cache's lock.
#
# SDL2 takes minutes (its configure step alone runs some 300 checks) and is cached on its own;
# the two helper libraries are a handful of C files each, compiled directly in seconds.
set -euo pipefail
trap 'echo "web/libs.sh stopped: \"$BASH_COMMAND\" failed (line $LINENO)" >&2' ERR

# The version of a source package that apt offers today.
source_version() {
  local version
  version=$(apt-get source --print-uris -qq "$1" 2>/dev/null | sed -n "s/.* $1_\(.*\)\.dsc .*/\1/p")
  version=${version%%$'\n'*}
  if [ -z "$version" ]; then
    echo "apt offers no source package $1: add a deb-src entry for Debian to apt's sources" \
      "(bash web/setup.sh does so) and run apt-get update" >&2
    exit 1
  fi
  echo "$version"
}
sdl_version=$(source_version libsdl2)
image_version=$(source_version libsdl2-image)
mixer_version=$(source_version libsdl2-mixer)
cflags="-O2"
# Static, without threads: the page runs on the browser's main thread.
sdl_options="-DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_THREADS=OFF -DSDL_PTHREADS=OFF -DSDL2_DISABLE_SDL2MAIN=ON"
image_defines="-DLOAD_PNG -DUSE_STBIMAGE"
image_skipped="IMG_WIC.c"
mixer_defines="-DMUSIC_WAV -DMUSIC_OGG -DOGG_USE_STB"
mixer_files="src/mixer.c src/music.c src/utils.c src/effect_position.c src/effect_stereoreverse.c
  src/effects_internal.c src/codecs/load_aiff.c src/codecs/load_voc.c src/codecs/mp3utils.c
  src/codecs/music_wav.c src/codecs/music_ogg_stb.c"

export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
cache_root=${ZELLWORTH_WEB_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zellworth-web}
# sed, not head, reads to the end: head leaves early, and with pipefail a writer it cut off would
# stop the build without a word.
emcc_version=$(emcc --version | sed -n 1p)
hash() { printf '%s\n' "$@" | sha256sum | cut -c1-16; }
sdl_dir=$cache_root/sdl2-$(hash "$sdl_version" "$cflags" "$sdl_options" "$emcc_version")
prefix=$cache_root/libs-$(hash "$sdl_dir" "$image_version" "$image_defines" "$image_skipped" "$mixer_version" \
  "$mixer_defines" "$mixer_files" "$cflags" "$emcc_version")
if [ -f "$prefix/done" ]; then
  echo "$prefix"
  exit 0
fi

mkdir -p "$cache_root"
work=$(mktemp -d "$cache_root/work.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
fetch() {  # source package=version...
  apt-get source -qq "$@" >/dev/null
}

if [ ! -f "$sdl_dir/done" ]; then
  echo "Building SDL2 for the browser (several minutes, once)" >&2
  fetch "libsdl2=$sdl_version"
  sdl_src=$(echo "$work"/libsdl2-2.*/)
  # shellcheck disable=SC2086
  emcmake cmake -S "$sdl_src" -B "$work/sdl-build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="$cflags" \
    $sdl_options -DCMAKE_INSTALL_PREFIX="$work/sdl-install" >"$work/sdl-configure.log" 2>&1 ||
    { tail -n 40 "$work/sdl-configure.log" >&2; exit 1; }
  cmake --build "$work/sdl-build" -j "$(nproc)" >"$work/sdl-build.log" 2>&1 ||
    { tail -n 40 "$work/sdl-build.log" >&2; exit 1; }
  cmake --install "$work/sdl-build" >/dev/null
  mkdir -p "$work/sdl/include" "$work/sdl/lib" "$work/sdl/licences"
  cp -r "$work/sdl-install/include/SDL2" "$work/sdl/include/"
  cp "$work/sdl-install/lib/libSDL2.a" "$work/sdl/lib/"
  cp "$sdl_src/LICENSE.txt" "$work/sdl/licences/SDL2.txt"
  cp "$sdl_src/debian/copyright" "$work/sdl/licences/libsdl2.copyright"
  touch "$work/sdl/done"
  rm -rf "$sdl_dir"
  mv "$work/sdl" "$sdl_dir"
fi

echo "Building SDL2_image and SDL2_mixer for the browser" >&2
mkdir -p "$work/out"
cp -r "$sdl_dir/include" "$sdl_dir/lib" "$sdl_dir/licences" "$work/out/"
fetch "libsdl2-image=$image_version" "libsdl2-mixer=$mixer_version"
image_src=$(echo "$work"/libsdl2-image-2.*/)
mixer_src=$(echo "$work"/libsdl2-mixer-2.*/)

compile_archive() {  # name, source dir, flags, files
  local name=$1 dir=$2 flags=$3 file objects=()
  mkdir -p "$work/$name-obj"
  for file in $4; do
    local object
    object="$work/$name-obj/$(echo "$file" | tr / _).o"
    # shellcheck disable=SC2086
    emcc $cflags $flags -I"$work/out/include/SDL2" -c "$dir/$file" -o "$object"
    objects+=("$object")
  done
  emar rcs "$work/out/lib/lib$name.a" "${objects[@]}"
}

# Every IMG_*.c: those of the formats left out compile to stubs that IMG.c refers to.
image_files=$(cd "$image_src" && ls IMG*.c | grep -v -x -F "$image_skipped")
compile_archive SDL2_image "$image_src" "$image_defines" "$image_files"
cp "$image_src/SDL_image.h" "$work/out/include/SDL2/"
compile_archive SDL2_mixer "$mixer_src" "$mixer_defines -I$mixer_src/include -I$mixer_src/src -I$mixer_src/src/codecs" \
  "$mixer_files"
cp "$mixer_src/include/SDL_mixer.h" "$work/out/include/SDL2/"

# The licences go with the libraries into the page's notices.
cp "$image_src/LICENSE.txt" "$work/out/licences/SDL2_image.txt"
cp "$mixer_src/LICENSE.txt" "$work/out/licences/SDL2_mixer.txt"
cp "$image_src/debian/copyright" "$work/out/licences/libsdl2-image.copyright"
cp "$mixer_src/debian/copyright" "$work/out/licences/libsdl2-mixer.copyright"

touch "$work/out/done"
rm -rf "$prefix"
mv "$work/out" "$prefix"
echo "$prefix"
