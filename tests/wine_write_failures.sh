#!/bin/sh
# Write failures of the Windows build under Wine, arranged from the Linux
# side, where a size limit and a full device are at hand:
#   wine_write_failures.sh TOOL.exe CAPTURE WINE WINESERVER HOLD_OPEN.exe
# with Wine's environment (prefix and locale) set. A failed write must be
# reported, with status 1, leaving the capture as it was and no cut-off
# timing file.
set -u
tool=$1
capture=$2
wine=$3
wineserver=$4
holder=$5
. "$(dirname "$0")/checks.sh"

# $1: the message expected. The rest: how to run the tool on x.dat in $dir.
expect_failure() {
  want=$1
  shift
  cp "$capture" "$dir/x.dat"
  (cd "$dir" && "$@") >"$dir/out" 2>"$dir/err"
  status=$?
  printf 'status %s, message: ' "$status"
  cat "$dir/err"
  [ "$status" = 1 ] || fail "status $status"
  [ -s "$dir/out" ] && fail "wrote to standard output"
  printf 'trovconv: %s\r\n' "$want" | cmp -s - "$dir/err" || fail "message"
  cmp -s "$capture" "$dir/x.dat" || fail "capture changed"
}

# The Wine server must not start under the size limit below: start it now,
# to stay a minute past its last client. One already running may be about
# to end, so wait for that first.
tries=0
until "$wineserver" -p60 2>/dev/null; do
  tries=$((tries + 1))
  [ $tries -lt 5 ] || { echo "cannot start the Wine server"; exit 1; }
  "$wineserver" -w
done

# Wine reports a write past the limit as a general device failure.
# $1: the message expected after that; the rest: what Wine runs.
limited() {
  want=$1
  shift
  expect_failure "Input/output error$want" sh -c \
    'ulimit -f 1 && trap "" XFSZ && exec "$@"' limited "$wine" "$@"
}

echo "file size limit of 512 bytes, timing file left cut off:"
limited "" "$tool" x.dat
[ -e "$dir/x.tim" ] && fail "cut-off timing file left"

echo "the same, the timing file's name a hard link to another file:"
printf 'an earlier timing file\r\n' >"$dir/t.txt"
ln "$dir/t.txt" "$dir/x.tim"
limited "" "$tool" x.dat
[ -e "$dir/x.tim" ] && fail "cut-off timing file left"
[ -s "$dir/t.txt" ] && fail "cut-off bytes left behind the link"

# A scanner opens files sharing reading and writing, not their removal.
# The holder runs the tool, as Windows names it, once it holds the file.
tool_here="Z:$(printf %s "$tool" | tr / '\\')"
echo "an earlier timing file held open, let go 200 ms after the tool took it:"
printf 'an earlier timing file\r\n' >"$dir/x.tim"
limited "" "$holder" x.tim 200 "$tool_here" x.dat
[ -e "$dir/x.tim" ] && fail "timing file left"

echo "the same, held until the tool has ended:"
printf 'an earlier timing file\r\n' >"$dir/x.tim"
limited "$(printf '\r\ntrovconv: %s' \
  'an empty timing file was left behind: another program has it open')" \
  "$holder" x.tim -1 "$tool_here" x.dat
[ -f "$dir/x.tim" ] && [ ! -s "$dir/x.tim" ] || fail "no empty timing file"

echo "timing file a link to a full device:"
rm -f "$dir/x.tim"
ln -s /dev/full "$dir/x.tim"
expect_failure "No space left on device" "$wine" "$tool" x.dat
[ "$(readlink "$dir/x.tim")" = /dev/full ] || fail "link to the device gone"

exit $failed
