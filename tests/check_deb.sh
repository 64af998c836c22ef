#!/bin/sh
# Checks the Debian package as a user would meet it:
#   check_deb.sh PACKAGE TOOL CAPTURE
# It is unpacked into a scratch root; the tool it installs must convert the
# capture exactly as TOOL, the tree's own build, does and print the same
# banner; the manual page must be where man looks for it, and render.
set -u
package=$1
tool=$2
capture=$3
. "$(dirname "$0")/checks.sh"

dpkg-deb -x "$package" "$dir/root" || exit 1
installed=$dir/root/usr/bin/trovconv
page=$dir/root/usr/share/man/man1/trovconv.1
depends=$(dpkg-deb -f "$package" Depends)
echo "Depends: $depends"
# The C library only: the C++ runtime is linked in.
case $depends in
*,*) fail "depends on more than the C library" ;;
"libc6 ("*) ;;
*) fail "no versioned C library dependency from dpkg-shlibdeps" ;;
esac

mkdir "$dir/tree" "$dir/installed"
cp "$capture" "$dir/tree/x.dat"
cp "$capture" "$dir/installed/x.dat"
"$tool" "$dir/tree/x.dat" || fail "the tree's tool failed"
"$installed" "$dir/installed/x.dat" || fail "the installed tool failed"
cmp "$dir/tree/x.tim" "$dir/installed/x.tim" ||
  fail "the installed tool converts differently"

"$tool" 2>"$dir/tree/banner"
"$installed" 2>"$dir/installed/banner"
[ $? = 1 ] || fail "the banner's status is not 1"
cmp "$dir/tree/banner" "$dir/installed/banner" || fail "the banners differ"

[ -f "$page" ] || fail "no manual page at usr/share/man/man1/trovconv.1"
found=$(man -M "$dir/root/usr/share/man" -w trovconv) || fail "man -w"
[ "$found" = "$page" ] || fail "man finds '$found', not the page"
MANWIDTH=80 man -M "$dir/root/usr/share/man" -P cat trovconv \
  >"$dir/rendered" 2>&1 || fail "man could not show the page"
grep -q '^SYNOPSIS' "$dir/rendered" || fail "the rendered page has no SYNOPSIS"
grep -q 'trovconv capture-file' "$dir/rendered" ||
  fail "the rendered page has no synopsis line"

[ $failed = 0 ] && echo "Debian package: all checks passed"
exit $failed
