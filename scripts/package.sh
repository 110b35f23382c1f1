#!/usr/bin/env bash
# Builds the Debian packages (the game, and the leaderboard server zellworth-board) into build-deb/ and checks it as a packager would: lintian without an
# error or a warning, the menu entry through desktop-file-validate, the AppStream metadata through
# appstreamcli. Prints the package's file list and, last, the path of the .deb.
#
# dpkg-buildpackage writes its products beside the source tree, so it builds a copy of the
# project's files in build-deb/ (git-ignored); nothing of an earlier build is reused.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/setup.sh

out=$root/build-deb
version=$(dpkg-parsechangelog -S Version)
source_dir=$out/zellworth-$version
rm -rf "$out"
mkdir -p "$source_dir"
# The working tree's files, committed or not, as git knows them (no build directories).
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
  tar --null --files-from=- -cf - | tar -xf - -C "$source_dir"

echo "Building the package (log: $out/build.log)"
if ! (cd "$source_dir" && dpkg-buildpackage -us -uc >"$out/build.log" 2>&1); then
  tail -n 40 "$out/build.log"
  echo "dpkg-buildpackage failed"
  exit 1
fi
# The compiler's warnings, if any, are in the log; in CI they are errors and stop the build.
grep -E 'warning:' "$out/build.log" || true

changes=$(ls "$out"/zellworth_"$version"_*.changes)
deb=$(ls "$out"/zellworth_"$version"_*.deb)
board_deb=$(ls "$out"/zellworth-board_"$version"_*.deb)

status=0
echo "lintian:"
lintian --fail-on error,warning --display-info "$changes" | tee "$out/lintian.log" || status=1
[ -s "$out/lintian.log" ] || echo "(no tags)"

# The menu entry and the metadata as the package holds them.
rm -rf "$out/root"
dpkg-deb -x "$deb" "$out/root"
echo "desktop-file-validate:"
desktop-file-validate "$out/root/usr/share/applications/zellworth.desktop" && echo "(no problems)" || status=1
echo "appstreamcli validate --no-net:"
appstreamcli validate --no-net "$out"/root/usr/share/metainfo/*.metainfo.xml || status=1

echo "dpkg -c $(basename "$deb"):"
dpkg -c "$deb" | tee "$out/contents.txt"
echo "dpkg -c $(basename "$board_deb"):"
dpkg -c "$board_deb" | tee "$out/board-contents.txt"
[ $status -eq 0 ] || { echo "the package's checks failed"; exit 1; }
echo "$deb"
