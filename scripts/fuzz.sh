#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer) in
# the instrumented tree build-sanitize, which scripts/sanitize.sh shares, and fuzzes them from the
# committed corpus for FUZZ_SECONDS (default 90) in all: the targets (those listed in
# fuzz/CMakeLists.txt) run one per core at a time and share that time equally. New inputs go to
# a scratch directory; an input that breaks something is kept under build-sanitize/artifacts/
# and fails the run (add it to fuzz/corpus/<target>/ once fixed).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
budget=${FUZZ_SECONDS:-90}
build_dir=$root/build-sanitize
bash scripts/configure_sanitized.sh "$build_dir" || exit 1
cmake --build "$build_dir" -j "$(nproc)" --target fuzzers || exit 1
IFS=';' read -r -a targets <"$build_dir/fuzz/targets.txt"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$build_dir/artifacts"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# As many rounds as it takes to run every target with one core each; each round gets an equal
# share of the budget.
jobs=$(nproc)
rounds=$(((${#targets[@]} + jobs - 1) / jobs))
seconds=$((budget / rounds))
[ "$seconds" -ge 1 ] || seconds=1

fuzz_target() {
  local target=$1
  mkdir -p "$scratch/$target"
  "$build_dir/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=2048 -timeout=20 -print_final_stats=1 \
    -artifact_prefix="$build_dir/artifacts/$target-" "$scratch/$target" "$root/fuzz/corpus/$target" \
    >"$build_dir/fuzz-$target.log" 2>&1
}

status=0
summary=()
for ((first = 0; first < ${#targets[@]}; first += jobs)); do
  round=("${targets[@]:first:jobs}")
  pids=()
  for target in "${round[@]}"; do
    fuzz_target "$target" &
    pids+=($!)
  done
  for index in "${!round[@]}"; do
    target=${round[$index]}
    wait "${pids[$index]}"
    result=$?
    log=$build_dir/fuzz-$target.log
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    if [ $result -ne 0 ]; then
      status=1
      grep -m 5 -E 'ERROR|runtime error|fuzz property broken|Test unit written' "$log"
      summary+=("$target: FAILED after ${runs:-?} executions (log $log)")
    else
      summary+=("$target: ${runs:-?} executions in ${seconds} s, no failure")
    fi
  done
done

printf 'fuzz %s\n' "${summary[@]}"
exit $status
