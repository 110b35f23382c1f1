#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer) in
# the instrumented tree build-sanitize, which scripts/sanitize.sh shares, and fuzzes them from the
# committed corpus for FUZZ_SECONDS (default 90): the targets (those listed in
# fuzz/CMakeLists.txt) run side by side and share the cores for that time. New inputs go to
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

# All targets run at once for the whole budget, so that every core fuzzes all the time and the
# targets share the processor time equally: three targets on two cores get two thirds of a core
# each. A replay of the longest game takes seconds under the sanitizers, and several times as
# long on a share of a busy core: only an input that runs a minute counts as a hang.
fuzz_target() {
  local target=$1
  mkdir -p "$scratch/$target"
  "$build_dir/fuzz/fuzz_$target" -max_total_time="$budget" -max_len=2048 -timeout=60 -print_final_stats=1 \
    -artifact_prefix="$build_dir/artifacts/$target-" "$scratch/$target" "$root/fuzz/corpus/$target" \
    >"$build_dir/fuzz-$target.log" 2>&1
}

pids=()
for target in "${targets[@]}"; do
  fuzz_target "$target" &
  pids+=($!)
done
status=0
summary=()
for index in "${!targets[@]}"; do
  target=${targets[$index]}
  wait "${pids[$index]}"
  result=$?
  log=$build_dir/fuzz-$target.log
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ $result -ne 0 ]; then
    status=1
    grep -m 5 -E 'ERROR|runtime error|fuzz property broken|Test unit written' "$log"
    summary+=("$target: FAILED after ${runs:-?} executions (log $log)")
  else
    summary+=("$target: ${runs:-?} executions in ${budget} s beside $((${#targets[@]} - 1)) other targets, no failure")
  fi
done

printf 'fuzz %s\n' "${summary[@]}"
exit $status
