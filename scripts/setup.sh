#!/usr/bin/env bash
# Installs what building, playing and testing the game need, when it is missing.
# Idempotent and quiet when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libsdl2-dev libsdl2-image-dev libsdl2-mixer-dev
  timgm6mb-soundfont
  zlib1g-dev
  libcpp-httplib-dev libsqlite3-dev libpq-dev nlohmann-json3-dev libcurl4-openssl-dev postgresql-15
  libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth xdotool x11-utils libx11-dev imagemagick sox openbox
  git debhelper dpkg-dev lintian appstream desktop-file-utils man-db
  nginx openssl curl iproute2
  python3-pytest python3-numpy python3-pil python3-xlib python3-mido python3-prometheus-client
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  if [ "$status" != "install ok installed" ]; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
