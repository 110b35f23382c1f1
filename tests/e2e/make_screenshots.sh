#!/usr/bin/env bash
# Takes the README's screenshots in the scenarios that show them and writes them to docs/.
# Usage: tests/e2e/make_screenshots.sh [BUILD_DIR]   (default: build; build it first)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=$(cd "${1:-$source_dir/build}" && pwd)
mkdir -p "$source_dir/docs"
export ZW_GAME="$build_dir/zellworth" ZW_MEDIA="$source_dir/assets/Common" ZW_WORK="$build_dir/tests/e2e/scratch" \
  ZW_BUILD="$build_dir" ZW_DOCS="$source_dir/docs"
for scenario in window key_configuration game; do /usr/bin/python3 "$source_dir/tests/e2e/e2e.py" $scenario || exit 1; done
ZW_WM=openbox exec /usr/bin/python3 "$source_dir/tests/e2e/e2e.py" pause
