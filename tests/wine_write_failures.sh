#!/bin/sh
# Write failures of the Windows build under Wine, arranged from the Linux
# side, where a size limit and a full device are at hand:
#   wine_write_failures.sh TOOL.exe CAPTURE COMMAND-THAT-RUNS-WINDOWS-PROGRAMS...
# A failed write must be reported, with status 1, leaving the capture as it
# was and no cut-off timing file.
set -u
tool=$1
capture=$2
shift 2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failed=0

fail() {
  echo "FAILED: $*"
  failed=1
}

# $1: the message expected, or "any" for any system text. The rest: how to
# run the tool on x.dat in $dir.
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
  if [ "$want" = any ]; then
    grep -q "^trovconv: .*$(printf "\r")\$" "$dir/err" || fail "message"
  else
    printf 'trovconv: %s\r\n' "$want" | cmp -s - "$dir/err" || fail "message"
  fi
  cmp -s "$capture" "$dir/x.dat" || fail "capture changed"
}

# The wine server must not start under the limit below.
"$@" cmd /c exit 0 || fail "cannot run Windows programs"

echo "file size limit of 512 bytes, timing file left cut off:"
expect_failure any sh -c \
  'ulimit -f 1 && trap "" XFSZ && exec "$@"' limited "$@" "$tool" x.dat
[ -e "$dir/x.tim" ] && fail "cut-off timing file left"

echo "timing file a link to a full device:"
rm -f "$dir/x.tim"
ln -s /dev/full "$dir/x.tim"
expect_failure "No space left on device" "$@" "$tool" x.dat
[ "$(readlink "$dir/x.tim")" = /dev/full ] || fail "link to the device gone"

exit $failed
