#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs every test, unit and end-to-end, then the
# Debian package's test, the sanitizer build of the unit tests, the fuzz targets and the browser
# version's test.
set -uo pipefail
cd "$(dirname "$0")"
bash scripts/setup.sh || exit 1
bash scripts/build.sh build || exit 1

passed=0
failed=0
step() {
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}

step ctest --test-dir build --output-on-failure --timeout 600 -j2

# The Debian package: built (in CI with warnings as errors) and linted, installed with apt-get,
# played by an ordinary user, purged.
step bash tests/package/package_test.sh

# Reliability: the unit suite again under AddressSanitizer and UndefinedBehaviorSanitizer, then
# each fuzz target for FUZZ_SECONDS (default 60) from its committed corpus.
step bash scripts/sanitize.sh
step bash scripts/fuzz.sh

# The browser version: built into build-web/ (the libraries come from a cache after the first
# build) and played in headless Chromium.
step ./web.sh test

echo
if [ $failed -eq 0 ]; then
  echo "ALL TESTS PASSED"
else
  echo "SOME TESTS FAILED"
fi
echo "steps: $passed passed, $failed failed"
[ $failed -eq 0 ]
