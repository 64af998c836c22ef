#!/bin/sh
# Checks the Windows .zip as a user would meet it:
#   check_zip.sh ZIP CAPTURE EXPECTED WINE
# with Wine's environment (prefix) set. It must hold one folder with
# trovconv.exe, README.md and LICENSE, and that trovconv.exe must convert
# CAPTURE to exactly the bytes of EXPECTED.
set -u
zip=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
capture=$2
expected=$3
wine=$4
. "$(dirname "$0")/checks.sh"

mkdir "$dir/unpacked"
(cd "$dir/unpacked" && cmake -E tar xf "$zip") || exit 1
set -- "$dir"/unpacked/*
[ $# = 1 ] && [ -d "$1" ] || fail "not one folder at the top"
top=$1
ls "$top" | sort >"$dir/listing"
printf 'LICENSE\nREADME.md\ntrovconv.exe\n' | cmp -s - "$dir/listing" ||
  fail "holds $(tr '\n' ' ' <"$dir/listing")"

cp "$capture" "$dir/x.dat"
(cd "$dir" && "$wine" "$top/trovconv.exe" x.dat) ||
  fail "trovconv.exe from the .zip failed"
cmp "$expected" "$dir/x.tim" || fail "converts differently"

[ $failed = 0 ] && echo "Windows .zip: all checks passed"
exit $failed
