#!/usr/bin/env bash
# Sets up what is missing, builds the game and starts it.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/setup.sh
bash scripts/build.sh build >/dev/null
# The game finds its media and settings in ../Common/, so it runs from inside assets/Common.
cd assets/Common
exec ../../build/zellworth "$@"
