#!/bin/sh
# Checks the Debian package as Debian's own tools judge it, and what it
# installs:
#   check_deb.sh PACKAGE PREFIX
# lintian, pedantic, must report nothing; its tool and manual page must be
# those under PREFIX, which check_binary.sh checked; and it must declare no
# dependency and hold only what old dpkg reads.
set -u
package=$1
prefix=$2
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
for file in bin/trovconv share/man/man1/trovconv.1.gz; do
  cmp -s "$prefix/$file" "$dir/root/usr/$file" || fail "another usr/$file"
done
for file in README.md CHANGELOG.md NOTICES copyright changelog.gz; do
  [ -f "$dir/root/usr/share/doc/trovconv/$file" ] ||
    fail "no usr/share/doc/trovconv/$file"
done
# Members compressed as dpkg 1.19 (Ubuntu 18.04, Debian 10) reads them.
ar t "$package" | grep -v -e '^debian-binary$' -e '\.tar\.[gx]z$' &&
  fail "members older dpkg cannot read"
# Declared from the binary, which needs no library: nothing.
depends=$(dpkg-deb -f "$package" Depends)
echo "Depends: ${depends:-(none)}"
[ -z "$depends" ] || fail "declares dependencies; its binary must need none"

[ $failed = 0 ] && echo "Debian package: all checks passed"
exit $failed
