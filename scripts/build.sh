#!/usr/bin/env bash
# Configures and builds the project into the given directory (default: build).
# Extra arguments go to CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
shift || true
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELLWORTH_BOARD=ON "$@" >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
