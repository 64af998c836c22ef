#!/bin/sh
# Fuzzes each target for a bounded time, both at once, starting from the
# seeds in fuzz/corpus; fails on any finding. What the fuzzers learn goes to
# a scratch corpus in the build folder, never into the repository.
# usage: fuzz/run.sh BUILD_DIR [SECONDS]   (BUILD_DIR: the sanitize preset's)
build=${1:?usage: run.sh BUILD_DIR [SECONDS]}
seconds=${2:-60}
seeds=$(cd "$(dirname "$0")" && pwd)/corpus
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

# The conversion target needs room for a whole record and a little more.
fuzz() {
  name=$1 max_len=$2
  work=$build/fuzz-work/$name
  rm -rf "$work" && mkdir -p "$work/corpus" "$work/findings" || return 2
  "$build/fuzz/${name}_fuzzer" -max_total_time="$seconds" -timeout=30 \
    -max_len="$max_len" -print_final_stats=1 \
    -artifact_prefix="$work/findings/" "$work/corpus" "$seeds/$name" \
    >"$work/log" 2>&1
}

fuzz conversion 34100 & conversion=$!
fuzz naming 1024 & naming=$!
failed=0
for name in conversion naming; do
  eval pid=\$$name
  if wait "$pid"; then
    grep -E '^stat::number_of_executed_units' "$build/fuzz-work/$name/log" |
      sed "s/^/$name: /"
  else
    tail -n 40 "$build/fuzz-work/$name/log"
    echo "FAILED: ${name}_fuzzer; its input is in $build/fuzz-work/$name/findings/"
    failed=1
  fi
done
exit $failed
