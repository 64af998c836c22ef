#!/bin/sh
# Checks the Windows .zip as a user would meet it:
#   check_zip.sh ZIP CAPTURE EXPECTED WINE TOOLS_PREFIX
# with Wine's environment (prefix) set. It must hold one folder with
# trovconv.exe, README.md, LICENSE and NOTICES, the three text files with
# CR LF line ends; that trovconv.exe must convert CAPTURE to exactly the
# bytes of EXPECTED, need only Windows' own DLLs, and carry its version
# resource and manifest, as the MinGW-w64 tools (TOOLS_PREFIX, as in
# x86_64-w64-mingw32-) read them.
set -u
zip=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
capture=$2
expected=$3
wine=$4
tools=$5
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/tests/checks.sh"

mkdir "$dir/unpacked"
(cd "$dir/unpacked" && cmake -E tar xf "$zip") || exit 1
set -- "$dir"/unpacked/*
[ $# = 1 ] && [ -d "$1" ] || fail "not one folder at the top"
top=$1
ls "$top" | sort >"$dir/listing"
printf 'LICENSE\nNOTICES\nREADME.md\ntrovconv.exe\n' |
  cmp -s - "$dir/listing" ||
  fail "holds $(tr '\n' ' ' <"$dir/listing")"

# Every line ended by CR LF, the last too, for Notepad before Windows 10
# 1809; and by one CR only.
cr=$(printf '\r')
for file in README.md LICENSE NOTICES; do
  [ -f "$top/$file" ] || continue
  LC_ALL=C grep -q -v "$cr\$" "$top/$file" &&
    fail "$file: a line without CR LF"
  LC_ALL=C grep -q "$cr$cr\$" "$top/$file" &&
    fail "$file: a line ending CR CR LF"
  [ "$(tail -c 1 "$top/$file" | od -An -tx1 | tr -d ' ')" = 0a ] ||
    fail "$file: no line end at its end"
done

cp "$capture" "$dir/x.dat"
(cd "$dir" && timeout 60 "$wine" "$top/trovconv.exe" x.dat) ||
  fail "trovconv.exe from the .zip failed"
cmp "$expected" "$dir/x.tim" || fail "converts differently"

exe=$top/trovconv.exe
"${tools}objdump" -p "$exe" | sed -n 's/.*DLL Name: //p' | sort >"$dir/dlls"
echo "DLLs: $(tr '\n' ' ' <"$dir/dlls")"
# Nothing more: the stack protector's runtime would add ADVAPI32.dll and,
# at start, a dozen more behind it.
grep -v -i -x -e KERNEL32.dll -e msvcrt.dll "$dir/dlls" &&
  fail "needs DLLs other than KERNEL32.dll and msvcrt.dll"
# objdump that read nothing would pass the line above.
grep -q -i -x KERNEL32.dll "$dir/dlls" || fail "no KERNEL32.dll among them"

# The version the resource gives must be the one the tool prints.
version=$(timeout 60 "$wine" "$exe" 2>&1 | sed -n 's/^Version \([0-9.]*\).*/\1/p')
[ -n "$version" ] || fail "no version in the banner"
"${tools}windres" -J coff -O rc "$exe" >"$dir/resources" ||
  fail "no resources to read"
for value in "FileVersion\", \"$version\"" "ProductVersion\", \"$version\"" \
  'ProductName", "trovconv"' 'OriginalFilename", "trovconv.exe"' \
  'FileDescription", "trovik' 'LegalCopyright", "Copyright'; do
  grep -q "VALUE \"$value" "$dir/resources" || fail "version resource: $value"
done
# The manifest: no elevation, Windows 7 to 11, long paths.
grep -q '^1 24 /\* RT_MANIFEST \*/' "$dir/resources" || fail "no manifest"
for text in 'level=""asInvoker""' '>true</longPathAware>' \
  35138b9a-5d96-4fbd-8e2d-a2440225f93a 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 \
  1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
  grep -q -- "$text" "$dir/resources" || fail "manifest: $text"
done

[ $failed = 0 ] && echo "Windows .zip: all checks passed"
exit $failed
