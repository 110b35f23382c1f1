#!/usr/bin/env bash
# Installs what building and testing the browser version need, when it is missing: the compiler,
# the synthesiser that renders the music, the browser the test drives, and a deb-src entry for
# the library sources. Idempotent and quiet when everything is already there.
set -euo pipefail
trap 'echo "web/setup.sh stopped: \"$BASH_COMMAND\" failed (line $LINENO)" >&2' ERR

packages=(
  emscripten cmake make dpkg-dev python3 nodejs npm
  fluidsynth timgm6mb-soundfont vorbis-tools
  chromium imagemagick gzip
  g++ pkg-config libsdl2-dev libsdl2-image-dev
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
apt_get=("${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=900)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  if [ "$status" != "install ok installed" ]; then
    # A machine may carry its own Node.js build, which provides node and npm itself.
    case "$package" in
      nodejs|npm) command -v "${package/nodejs/node}" >/dev/null && continue ;;
    esac
    missing+=("$package")
  fi
done

# The library sources come from Debian's source packages: a deb-src entry beside each Debian
# entry of the machine's own sources, in whichever of apt's two formats that entry is written.
needs_sources=0
if ! apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -q '^Sources$'; then
  needs_sources=1
  added=/etc/apt/sources.list.d/zellworth-web-src
  entries=$(mktemp -d)
  trap 'rm -rf "$entries"' EXIT
  # deb822 (.sources): each stanza of Debian's archive again, as Types: deb-src.
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] && [ "$file" != "$added.sources" ] || continue
    awk 'BEGIN { RS = ""; ORS = "\n\n" } /URIs:[^\n]*debian/ && /Types:[^\n]*deb/ {
      sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$file"
  done >"$entries/sources"
  # One-line (.list): each "deb" line of Debian's archive again, as "deb-src".
  grep -h '^deb .*debian' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    sed 's/^deb /deb-src /' >"$entries/list" || true
  for format in sources list; do
    if [ -s "$entries/$format" ]; then "${sudo_cmd[@]}" install -m 644 "$entries/$format" "$added.$format"; fi
  done
  if [ ! -f "$added.sources" ] && [ ! -f "$added.list" ]; then
    echo "web/setup.sh: apt's sources name no Debian archive, so the SDL sources cannot be fetched." >&2
    echo "Add a deb-src entry for Debian (see sources.list(5)), run apt-get update, then ./web.sh again." >&2
    exit 1
  fi
fi

if [ ${#missing[@]} -eq 0 ] && [ $needs_sources -eq 0 ]; then
  exit 0
fi

echo "Installing for the browser version: ${missing[*]:-library sources}"
"${apt_get[@]}" update -qq
if [ ${#missing[@]} -gt 0 ]; then
  "${apt_get[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
