#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs every test, unit and end-to-end, then the
# sanitizer build of the unit tests and the fuzz targets.
set -uo pipefail
cd "$(dirname "$0")"
bash scripts/setup.sh || exit 1
bash scripts/build.sh build || exit 1

status=0
ctest --test-dir build --output-on-failure --timeout 600 -j2 || status=1

# Reliability: the unit suite again under AddressSanitizer and UndefinedBehaviorSanitizer, then
# each fuzz target for FUZZ_SECONDS (default 60) from its committed corpus.
bash scripts/sanitize.sh || status=1
bash scripts/fuzz.sh || status=1

echo
if [ $status -eq 0 ]; then
  echo "ALL TESTS PASSED"
else
  echo "SOME TESTS FAILED"
fi
exit $status
