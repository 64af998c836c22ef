#!/bin/sh
# The Windows build's start under Wine: the DLLs it loads, and a typical
# conversion timed against the same sources built without the stack
# protector, the two run in turns so that both meet the same machine:
#   wine_start.sh PROTECTED.exe PLAIN.exe CAPTURE [RUNS]
# with Wine's environment (prefix) set. Exits 1 when the protected build
# loads more than 6 DLLs, 2 when the benchmark itself could not run. The
# times are printed for information: under Wine, runs of 41 conversions
# have given ratios from 0.84 to 2.47 for the same two builds.
set -u
protected=$(realpath "${1:?usage: wine_start.sh PROTECTED.exe PLAIN.exe CAPTURE [RUNS]}")
plain=$(realpath "${2:?}")
capture=${3:?}
runs=${4:-41}
work=$(mktemp -d) || exit 2
trap 'rm -rf "$work"' EXIT
cp "$capture" "$work/x.dat" || exit 2
cd "$work" || exit 2

# A failed conversion is no timing: it says what failed, and the benchmark
# cannot run.
convert() {
  timeout 60 wine "$1" x.dat >/dev/null 2>"$work/err"
  status=$?
  [ $status = 0 ] && rm x.tim && return 0
  echo "$1 did not convert $capture (status $status):" >&2
  cat "$work/err" >&2
  exit 2
}

# The DLLs loaded by the tool's own thread, from Wine's trace of them.
dlls() {
  WINEDEBUG=+loaddll timeout 60 wine "$1" x.dat 2>&1 >/dev/null |
    awk -v exe="$(basename "$1")" '
      /loaddll:build_module Loaded/ && index($0, exe) { split($0, f, ":"); tid = f[1] }
      tid != "" && index($0, tid ":trace:loaddll:build_module Loaded") == 1 &&
        /\.dll"/ { n++ }
      END { print n + 0 }'
  rm -f x.tim
}

# Microseconds of each run, one a line; the server stays up between
# them, as in a user's session.
for exe in "$protected" "$plain"; do
  convert "$exe"
done
: >"$work/protected.us"
: >"$work/plain.us"
i=0
while [ "$i" -lt "$runs" ]; do
  for build in protected plain; do
    eval exe=\$$build
    start=$(date +%s%N)
    convert "$exe"
    echo $((($(date +%s%N) - start) / 1000)) >>"$work/$build.us"
  done
  i=$((i + 1))
done
median() { sort -n "$work/$1.us" | sed -n "$((runs / 2 + 1))p"; }

protected_dlls=$(dlls "$protected")
plain_dlls=$(dlls "$plain")
protected_us=$(median protected)
plain_us=$(median plain)
echo "DLLs loaded at start: protected $protected_dlls, plain $plain_dlls"
awk -v a="$protected_us" -v b="$plain_us" -v n="$protected_dlls" \
  -v runs="$runs" 'BEGIN {
  printf "median of %d conversions: protected %.1f ms, plain %.1f ms\n",
    runs, a / 1000, b / 1000
  printf "ratio %.2f (for information: under Wine it spreads too widely " \
    "to judge), DLLs %d (target at most 6)\n", a / b, n
  exit n > 6 ? 1 : 0 }'
