#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs every test, unit and end-to-end, then the
# Debian package's test, the sanitizer build of the unit tests, the fuzz targets, the browser
# version's test and the board step.
set -uo pipefail
cd "$(dirname "$0")"

# Runs a command and notes its wall time, and the processor time of everything it ran (which a
# busy machine changes less), for the table at the end.
started=$SECONDS
times=()
times_file=$(mktemp)
trap 'rm -f "$times_file"' EXIT
# Sets cpu to the processor seconds of every command run so far. Not in a subshell, which would
# count its own children only.
measure_cpu() {
  times >"$times_file"
  cpu=$(awk 'NR == 2 { split($1, user, /[ms]/); split($2, kernel, /[ms]/);
    printf "%d", user[1] * 60 + user[2] + kernel[1] * 60 + kernel[2] }' "$times_file")
}
timed() {
  local start=$SECONDS cpu_before status line
  measure_cpu
  cpu_before=$cpu
  "$@"
  status=$?
  measure_cpu
  line=$(printf '%6d s %6d s CPU  %s' $((SECONDS - start)) $((cpu - cpu_before)) "$*")
  times+=("$line")
  echo "[test.sh] $line"
  return $status
}

timed bash scripts/setup.sh || exit 1
timed bash scripts/build.sh build || exit 1

passed=0
failed=0
step() {
  if timed "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}

# The end-to-end tests spend most of their time waiting for the game and the X server, so the
# sanitizer tree and the Debian packages compile beside them, at the lowest priority: they take
# only the processor time the tests leave idle. The sanitizer's step below then finds its tree
# built (or builds it again and shows why not); the package's step waits for its build.
mkdir -p build
nice -n 19 bash scripts/sanitize.sh --build-only >build/sanitize-build.log 2>&1 &
sanitize_build=$!
nice -n 19 bash scripts/package.sh >build/package-build.log 2>&1 &
package_build=$!

# Four tests at a time, since most of them wait; those that keep a core busy take two of the
# four (their PROCESSORS), and the longest start first (their COST).
step ctest --test-dir build --output-on-failure --timeout 600 -j4

# The Debian package: built (in CI with warnings as errors) and linted, installed with apt-get,
# played by an ordinary user, purged. It installs system-wide: one such test at a time on a
# machine, whichever checkout it runs from.
package_step() {
  wait $package_build
  local status=$?
  cat build/package-build.log
  [ $status -eq 0 ] || { echo "scripts/package.sh failed"; return 1; }
  ZW_PACKAGE_BUILT=1 flock /tmp/zellworth-package.lock bash tests/package/package_test.sh
}
step package_step

# Reliability: the unit suite again under AddressSanitizer and UndefinedBehaviorSanitizer, then
# (below) the fuzz targets side by side for one budget of FUZZ_SECONDS (default 90), each from
# its committed corpus.
sanitize_step() {
  wait $sanitize_build
  bash scripts/sanitize.sh
}
step sanitize_step

# The fuzz targets keep both cores busy for their whole budget, while the browser and board steps
# mostly wait on Chromium, nginx and the clock: the fuzzing runs beside those two at the lowest
# priority and takes the processor time they leave idle. Given the time of the two steps (150 s
# of its own clock rather than the 90 s of a run alone), it has at least the processor time that
# a run alone has. Its line in the table comes last, with its own wall and processor time, which
# the table also counts in the step it ended in.
(
  start=$SECONDS
  FUZZ_SECONDS=${FUZZ_SECONDS:-150} nice -n 19 bash scripts/fuzz.sh >build/fuzz.log 2>&1
  status=$?
  times_file=build/fuzz.cpu  # its own: the main shell's is in use meanwhile
  measure_cpu
  printf '%6d s %6d s CPU  bash scripts/fuzz.sh, beside the two steps above\n' $((SECONDS - start)) "$cpu" >build/fuzz.time
  exit $status
) &
fuzz=$!

# The browser version: built into build-web/ (the libraries come from a cache after the first
# build) and played in headless Chromium.
step ./web.sh test
# The board step: the leaderboard's scenario, the board alone and behind Debian's nginx as its
# front, then the page with its leaderboard through the front in Chromium. 3 minutes at most.
step timeout 180 bash tests/board/run.sh

wait $fuzz
fuzz_status=$?
cat build/fuzz.log
times+=("$(cat build/fuzz.time 2>/dev/null || echo '     ? s      ? s CPU  bash scripts/fuzz.sh')")
if [ $fuzz_status -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

echo
echo "Time per step:"
printf '%s\n' "${times[@]}"
measure_cpu
printf '%6d s %6d s CPU  in all\n' $((SECONDS - started)) "$cpu"
if [ $failed -eq 0 ]; then
  echo "ALL TESTS PASSED"
else
  echo "SOME TESTS FAILED"
fi
echo "steps: $passed passed, $failed failed"
# Last, the size of the tests beside the code, which the project keeps at a quarter to a third.
python3 scripts/share.py
[ $failed -eq 0 ]
