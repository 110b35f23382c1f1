#!/usr/bin/env bash
# Installs what building and testing the browser version need, when it is missing: the compiler,
# the synthesiser that renders the music, the browser the test drives, and a deb-src entry for
# the library sources. Idempotent and quiet when everything is already there.
set -euo pipefail

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

# The library sources come from Debian's source packages: a deb-src entry beside each deb entry
# of the machine's own sources.
needs_sources=0
if ! apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -q '^Sources$'; then
  needs_sources=1
  sources_file=/etc/apt/sources.list.d/zellworth-web-src.sources
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed -e 's/^Types:.*deb\b.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      "${sudo_cmd[@]}" tee "$sources_file" >/dev/null
  else
    grep -h '^deb ' /etc/apt/sources.list 2>/dev/null | grep -i debian | sed 's/^deb /deb-src /' |
      "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/zellworth-web-src.list >/dev/null
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
