#!/usr/bin/env bash
# Plants each fault of tests/mutants/*.txt in a scratch copy of this checkout, rebuilds, runs the
# tests named for it and prints caught or missed, then "caught N of M" (README, "Test").
#   scripts/mutants.sh [-j SLOTS] [PATTERN...]   faults whose line contains a PATTERN (board/)
#   scripts/mutants.sh --check [PATTERN...]      only checks that each text is found once
# A fault is four tab-separated fields: the file, the exact text, its replacement and the tests:
# ctest:REGEX, board (tests/board/test_board.py), web and webboard (the page, alone and through
# the front; need ./web.sh built here), package (tests/package/package_test.sh). A fault is also
# stale (its text not found once), unbuilt, unrun (its tests cannot run here) or unsound (they
# fail with nothing planted).
set -uo pipefail
cd "$(dirname "$0")/.."
slots=$(nproc)
check=false
if [ "${1:-}" = --check ]; then check=true; shift; fi
if [ "${1:-}" = -j ]; then slots=$2; shift 2; fi
catalogue=$(mktemp)
trap 'rm -f "$catalogue"' EXIT
for list in tests/mutants/*.txt; do
  [ "$list" = tests/mutants/baseline.txt ] && continue
  # The fields travel apart by the unit separator: read would take two tabs for one.
  awk -F'\t' -v OFS='\037' -v list="$list" '!/^#/ && NF == 4 { $1 = $1; print list ":" FNR, $0 }' "$list"
done | while IFS= read -r fault; do
  [ $# -eq 0 ] && { echo "$fault"; continue; }
  for pattern; do [[ "$fault" == *"$pattern"* ]] && { echo "$fault"; break; }; done
done >"$catalogue"
total=$(wc -l <"$catalogue")
[ "$total" -gt 0 ] || { echo "no fault matches: $*" >&2; exit 2; }
if $check; then
  python3 - "$catalogue" <<'EOF'
import sys
bad = 0
for line in open(sys.argv[1], encoding='utf-8'):
    id, file, find, replace, tests = line.rstrip('\n').split('\037')
    try:
        found = open(file, encoding='utf-8').read().count(find)
    except OSError:
        found = 0
    if found != 1 or find == replace or not tests.strip():
        bad += 1
        print('%s: %s found %d times' % (id, find, found))
sys.exit(1 if bad else 0)
EOF
  status=$?
  echo "[mutants] $total faults checked"
  exit $status
fi
echo "[mutants] $total faults, $slots slots"

# slot_setup N: a copy of the tracked files (as they are now) and its build.
slot_setup() {
  local dir=build/mutants/slot$1
  # Only files whose bytes differ are copied: the build stays incremental, and a fault left
  # behind by an interrupted run is undone.
  git ls-files -z | python3 -c '
import os, shutil, sys
dest, keep = sys.argv[1], {"build", "build-web"}
tracked = set(filter(None, sys.stdin.read().split("\0")))
for top, dirs, files in os.walk(dest):
    if top == dest:
        dirs[:] = [d for d in dirs if d not in keep]
    for name in files:
        path = os.path.relpath(os.path.join(top, name), dest)
        if path not in tracked:
            os.remove(os.path.join(dest, path))
for path in tracked:
    target = os.path.join(dest, path)
    if os.path.isfile(path) and not (os.path.isfile(target) and open(path, "rb").read() == open(target, "rb").read()):
        os.makedirs(os.path.dirname(target) or ".", exist_ok=True)
        shutil.copyfile(path, target)
        shutil.copymode(path, target)
' "$dir/src"
  if [ -f build-web/site/index.html ]; then  # the page's built files, for the web tests
    mkdir -p "$dir/src/build-web"
    cp -a build-web/files "$dir/src/build-web/"
    [ -d build-web/node ] && cp -a build-web/node "$dir/src/build-web/"
  fi
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  cmake -S "$dir/src" -B "$dir/src/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELLWORTH_BOARD=ON \
    "${launcher[@]}" >"$dir/setup.log" 2>&1 && cmake --build "$dir/src/build" -j 1 >>"$dir/setup.log" 2>&1
}

# run_tests SELECTOR...: fails (1) when any named test fails, 2 when one cannot run here.
run_tests() {
  local selector
  for selector; do
    case $selector in
      ctest:*) ctest --test-dir build -R "${selector#ctest:}" --timeout 300 --stop-on-failure -j2 ;;
      board) /usr/bin/python3 -m pytest -x -q -p no:cacheprovider tests/board/test_board.py ;;
      web|webboard)
        [ -f build-web/files/index.html ] || return 2
        # The page's own files over the build's (whose notices are made, not copied).
        for built in build-web/files/*; do
          [ -f "web/${built##*/}" ] && [ "${built##*/}" != NOTICES.txt ] && cp "web/${built##*/}" "$built"
        done
        bash web/stamp.sh build-web/files build-web/site >/dev/null || return 1
        if [ $selector = web ]; then bash tests/web/web_test.sh; else bash tests/web/board_test.sh; fi ;;
      package) flock /tmp/zellworth-package.lock bash tests/package/package_test.sh ;;
      *) echo "unknown test selector: $selector"; false ;;
    esac >/dev/null 2>&1 || return 1
  done
}

# plant SLOT FAULT: plants the fault in the slot's copy, rebuilds, tests, and restores the file.
plant() {
  local dir=build/mutants/slot$1/src id file find replace tests verdict
  IFS=$'\037' read -r id file find replace tests <<<"$2"
  local target=$dir/$file
  cp "$target" "$target.orig"
  if ! FIND=$find REPLACE=$replace python3 - "$target" <<'EOF'
import os, sys
path = sys.argv[1]
text = open(path, encoding='utf-8').read()
find = os.environ['FIND']
if text.count(find) != 1:
    sys.exit(1)
open(path, 'w', encoding='utf-8').write(text.replace(find, os.environ['REPLACE']))
EOF
  then
    verdict=stale
  elif ! (cd "$dir" && cmake --build build -j 1 >../build.log 2>&1); then
    verdict=unbuilt
  elif grep -qxF "$tests" "$dir/../unsound"; then
    verdict=unsound
  else
    (cd "$dir" && run_tests $tests </dev/null)
    case $? in 0) verdict=missed ;; 2) verdict=unrun ;; *) verdict=caught ;; esac
  fi
  mv "$target.orig" "$target"
  touch "$target"  # the restored file is rebuilt by the next fault's build
  printf '%-7s %s  %s: %s -> %s  [%s]\n' "$verdict" "$id" "$file" "$find" "$replace" "$tests"
}

results=$(mktemp)
for slot in $(seq "$slots"); do
  (
    slot_setup "$slot" || { echo "slot $slot: the build failed (build/mutants/slot$slot/setup.log)" >&2; exit 1; }
    share=build/mutants/slot$slot/share
    awk -v n="$slots" -v s="$slot" 'NR % n == s % n' "$catalogue" >"$share"
    # Tests that fail with nothing planted would count every fault caught.
    : >"build/mutants/slot$slot/unsound"
    awk -F'\037' '{ print $5 }' "$share" | sort -u | while IFS= read -r tests; do
      (cd "build/mutants/slot$slot/src" && run_tests $tests </dev/null) || echo "$tests" >>"build/mutants/slot$slot/unsound"
    done
    while IFS= read -r fault; do plant "$slot" "$fault"; done <"$share"
  ) | tee -a "$results" &
done
wait
sort -k2,2V "$results" -o "$results"
caught=$(grep -c '^caught' "$results")
counted=$(grep -cE '^(caught|missed)' "$results")
grep -E '^(stale|unbuilt|unrun|unsound)' "$results" | sed 's/^/[mutants] not run: /'
echo "caught $caught of $counted"
rm -f "$results"
