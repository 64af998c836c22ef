#!/bin/sh
# Checks the Debian package as a user would meet it, and as Debian's own
# tools judge it:
#   check_deb.sh PACKAGE TOOL CAPTURE
# lintian, pedantic, must report nothing; it is unpacked into a scratch
# root, where its tool must need no library, be hardened and behave as TOOL,
# the unstripped build it comes from (checks.sh), under EMULATOR.
set -u
package=$1
tool=$2
capture=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/tests/checks.sh"

# Root is warned about on standard error, which is no finding; a lintian
# that could not run at all is one.
lintian --display-info --pedantic --display-experimental "$package" \
  >"$dir/lintian" 2>"$dir/lintian-errors"
[ $? -le 1 ] || { cat "$dir/lintian-errors"; fail "lintian did not run"; }
cat "$dir/lintian"
[ -s "$dir/lintian" ] && fail "lintian reported the above"

dpkg-deb -x "$package" "$dir/root" || exit 1
# Members compressed as dpkg 1.19 (Ubuntu 18.04, Debian 10) reads them.
ar t "$package" | grep -v -e '^debian-binary$' -e '\.tar\.[gx]z$' &&
  fail "members older dpkg cannot read"
# Declared from the binary, which needs no library: nothing.
depends=$(dpkg-deb -f "$package" Depends)
echo "Depends: ${depends:-(none)}"
[ -z "$depends" ] || fail "declares dependencies; its binary must need none"
check_static "$dir/root/usr/bin/trovconv"
check_hardening "$dir/root/usr/bin/trovconv" "$tool"
check_installed "$dir/root" "$tool" "$capture"
[ -f "$dir/root/usr/share/doc/trovconv/changelog.gz" ] || fail "no changelog"

[ $failed = 0 ] && echo "Debian package: all checks passed"
exit $failed
