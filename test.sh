#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs every test, unit and end-to-end, then the
# Debian package's test, the sanitizer build of the unit tests and the fuzz targets.
set -uo pipefail
cd "$(dirname "$0")"

# Runs a command and notes its wall time for the table at the end.
started=$SECONDS
times=()
timed() {
  local start=$SECONDS status
  "$@"
  status=$?
  times+=("$(printf '%6d s  %s' $((SECONDS - start)) "$*")")
  echo "[test.sh] $((SECONDS - start)) s: $*"
  return $status
}

timed bash scripts/setup.sh || exit 1
timed bash scripts/build.sh build || exit 1

passed=0
failed=0
step() {
  if timed "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}

step ctest --test-dir build --output-on-failure --timeout 600 -j2

# The Debian package: built (in CI with warnings as errors) and linted, installed with apt-get,
# played by an ordinary user, purged.
step bash tests/package/package_test.sh

# Reliability: the unit suite again under AddressSanitizer and UndefinedBehaviorSanitizer, then
# each fuzz target for FUZZ_SECONDS (default 60) from its committed corpus.
step bash scripts/sanitize.sh
step bash scripts/fuzz.sh

echo
echo "Time per step:"
printf '%s\n' "${times[@]}"
printf '%6d s  in all\n' $((SECONDS - started))
if [ $failed -eq 0 ]; then
  echo "ALL TESTS PASSED"
else
  echo "SOME TESTS FAILED"
fi
echo "steps: $passed passed, $failed failed"
[ $failed -eq 0 ]
