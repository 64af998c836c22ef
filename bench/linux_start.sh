#!/bin/sh
# The Linux build's start: a typical conversion by a fully static build
# timed against a dynamically linked one, the two run in turns so that both
# meet the same machine:
#   linux_start.sh STATIC_TOOL DYNAMIC_TOOL CAPTURE [RUNS]
# in RUNS turns (41 by default) of ten conversions by each. Exits 1 when the
# static build takes more than 1.1 times as long, 2 when the benchmark itself
# could not run. Peak memory is tool_bench's to measure, on the worst case.
set -u
usage() {
  echo "usage: linux_start.sh STATIC_TOOL DYNAMIC_TOOL CAPTURE [RUNS]" >&2
  exit 2
}
if [ $# -lt 3 ] || [ $# -gt 4 ]; then usage; fi
capture=$3
runs=${4:-41}
case $runs in '' | 0* | *[!0-9]*) usage ;; esac
static=$(realpath -e "$1") || usage
dynamic=$(realpath -e "$2") || usage
work=$(mktemp -d) || exit 2
trap 'rm -rf "$work"' EXIT
# Each turn times ten conversions of a build, each to a new file, so that
# reading the clock, itself a program, costs a tenth as much.
batch="0 1 2 3 4 5 6 7 8 9"
for n in $batch; do
  cp "$capture" "$work/$n.dat" || exit 2
done
cd "$work" || exit 2

# turn NAME TOOL: its microseconds a conversion added to NAME.us. A failed
# conversion is no timing: it says what the tool printed, and the benchmark
# cannot run.
turn() {
  start=$(date +%s%N)
  for n in $batch; do
    timeout 60 "$2" "$n.dat" >out 2>&1
    status=$?
    [ $status = 0 ] || [ "$1" = harness ] || {
      echo "$2 did not convert $capture (status $status):" >&2
      cat out >&2
      exit 2
    }
  done
  echo $((($(date +%s%N) - start) / 10000)) >>"$1.us"
  [ "$1" = harness ] || mv 0.tim "$1.timing"
  rm -f ./*.tim
}

# A first round not counted, so that both start from a warm cache.
turn static "$static"
turn dynamic "$dynamic"
cmp -s static.timing dynamic.timing || {
  echo "the two builds wrote different timing files for $capture" >&2
  exit 2
}
# Starting timeout takes longer than the conversion itself, and would bring
# any ratio near 1: timeout given a tool that does not exist measures that
# cost in the same turns, and it is taken off both medians.
: >static.us
: >dynamic.us
: >harness.us
# The builds take turns at going first, so that neither always follows the
# same program.
i=0
while [ "$i" -lt "$runs" ]; do
  if [ $((i % 2)) = 0 ]; then
    turn static "$static"
    turn dynamic "$dynamic"
  else
    turn dynamic "$dynamic"
    turn static "$static"
  fi
  turn harness "$work/no-such-tool"
  i=$((i + 1))
done
median() { sort -n "$1.us" | sed -n "$((runs / 2 + 1))p"; }

awk -v s="$(median static)" -v d="$(median dynamic)" \
  -v h="$(median harness)" -v runs="$runs" 'BEGIN {
  printf "a conversion, median of %d turns: static %.3f ms, " \
    "dynamic %.3f ms, timeout alone %.3f ms\n", runs, s / 1000, d / 1000,
    h / 1000
  s -= h
  d -= h
  if (d <= 0) {
    print "the dynamic build took no longer than timeout alone: " \
      "too noisy to compare" > "/dev/stderr"
    exit 2
  }
  printf "less timeout: static %.3f ms, dynamic %.3f ms, " \
    "ratio %.2f (target at most 1.10)\n", s / 1000, d / 1000, s / d
  exit s > 1.1 * d }'
