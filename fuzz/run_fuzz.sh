#!/usr/bin/env bash
# Runs every fuzz target (or those named) niced for FUZZ_SECONDS each (default
# 60), FUZZ_JOBS at a time (default 1), over its seeds and regressions. New
# inputs go to build-fuzz/corpus/<target>/, findings to build-fuzz/fuzz-artifacts/.
# FUZZ_SECONDS_<target> gives one target its own time (FUZZ_SECONDS_master_reply=900).
# Prints the executions and executions per second of each target and the total;
# exits 1 after a finding.
#   fuzz/run_fuzz.sh [TARGET...]        (the tree must be built: ./test.sh --fuzz does both)
set -uo pipefail
cd "$(dirname "$0")/.."
build=${FUZZ_BUILD:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}
jobs=${FUZZ_JOBS:-1}
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/fuzz_*.cpp; do n=$(basename "$f" .cpp); targets+=("${n#fuzz_}"); done
  targets=($(printf '%s\n' "${targets[@]}" | grep -v -x -e support))
fi
mkdir -p "$build/fuzz-logs" "$build/fuzz-artifacts"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# The longest input of a target: fuzz/max_len.txt, 4096 for those it does not name.
max_len() {
  local len
  len=$(awk -v n="$1" '$1 == n { print $2 }' fuzz/max_len.txt)
  echo "${len:-4096}"
}

run_one() {
  local name=$1 var="FUZZ_SECONDS_$1"
  mkdir -p "$build/corpus/$name"
  nice -n 19 "$build/fuzz/fuzz_$name" -max_total_time="${!var:-$seconds}" -max_len="$(max_len "$name")" \
    -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$name-" \
    "$build/corpus/$name" "fuzz/corpus/$name" "fuzz/regressions/$name" >"$build/fuzz-logs/$name.log" 2>&1
}

failed=0
running=0
for name in "${targets[@]}"; do
  run_one "$name" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then wait -n || failed=1; running=$((running - 1)); fi
done
while [ "$running" -gt 0 ]; do wait -n || failed=1; running=$((running - 1)); done

total=0
for name in "${targets[@]}"; do
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/fuzz-logs/$name.log" | grep -o '[0-9]*$' || true)
  rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$build/fuzz-logs/$name.log" | grep -o '[0-9]*$' || true)
  status=ok
  grep -q -E 'ERROR: (libFuzzer|AddressSanitizer|UndefinedBehaviorSanitizer)|property failed|runtime error' \
    "$build/fuzz-logs/$name.log" && status=FINDING && failed=1
  printf '%-18s %12s executions %8s exec/s  %s\n' "$name" "${runs:-?}" "${rate:-?}" "$status"
  total=$((total + ${runs:-0}))
done
printf '%-18s %12s executions\n' total "$total"
exit "$failed"
