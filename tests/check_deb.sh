#!/bin/sh
# Checks the Debian package as a user would meet it, and as Debian's own
# tools judge it:
#   check_deb.sh PACKAGE TOOL CAPTURE
# lintian, pedantic, must report nothing; it is unpacked into a scratch
# root, where its tool must be hardened and behave as TOOL, the tree's own
# build (checks.sh, check_installed), under EMULATOR for another
# architecture (checks.sh).
set -u
package=$1
tool=$2
capture=$3
. "$(dirname "$0")/checks.sh"

# Root is warned about on standard error, which is no finding; a lintian
# that could not run at all is one.
lintian --display-info --pedantic --display-experimental "$package" \
  >"$dir/lintian" 2>"$dir/lintian-errors"
[ $? -le 1 ] || { cat "$dir/lintian-errors"; fail "lintian did not run"; }
cat "$dir/lintian"
[ -s "$dir/lintian" ] && fail "lintian reported the above"

dpkg-deb -x "$package" "$dir/root" || exit 1
depends=$(dpkg-deb -f "$package" Depends)
echo "Depends: $depends"
# The C library only: the C++ runtime is linked in.
case $depends in
*,*) fail "depends on more than the C library" ;;
"libc6 ("*) ;;
*) fail "no versioned C library dependency from dpkg-shlibdeps" ;;
esac

check_hardening "$dir/root/usr/bin/trovconv"
check_installed "$dir/root" "$tool" "$capture"
[ -f "$dir/root/usr/share/doc/trovconv/changelog.gz" ] || fail "no changelog"

[ $failed = 0 ] && echo "Debian package: all checks passed"
exit $failed
