#!/bin/sh
# Checks the RPM as rpmlint judges it, and what it installs:
#   check_rpm.sh PACKAGE PREFIX
# rpmlint, with packaging/rpmlint.toml, must report nothing; its tool and
# manual page must be those under PREFIX, which check_binary.sh checked;
# and it must declare no dependency and need only what old rpm reads.
set -u
package=$1
prefix=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/tests/checks.sh"

rpmlint -c "$root/packaging/rpmlint.toml" "$package" >"$dir/rpmlint" 2>&1 ||
  fail "rpmlint failed"
cat "$dir/rpmlint"
grep -q ' 0 errors, 0 warnings' "$dir/rpmlint" ||
  fail "rpmlint reported the above"

mkdir "$dir/root"
(rpm2cpio "$package" | (cd "$dir/root" && cpio -idm --quiet)) || exit 1
for file in bin/trovconv share/man/man1/trovconv.1.gz; do
  cmp -s "$prefix/$file" "$dir/root/usr/$file" || fail "another usr/$file"
done
for file in doc/trovconv/README.md doc/trovconv/CHANGELOG.md \
  licenses/trovconv/LICENSE licenses/trovconv/NOTICES; do
  [ -f "$dir/root/usr/share/$file" ] || fail "no usr/share/$file"
done
[ -n "$(rpm -qp --changelog "$package")" ] || fail "no changelog"

# Declared from the binary, which needs no library: nothing but the
# features of rpm itself.
requires=$(rpm -qpR "$package" | grep -v '^rpmlib(')
echo "Requires: ${requires:-(none)}"
[ -z "$requires" ] || fail "declares dependencies; its binary must need none"
# Only what rpm 4.14 (RHEL 8, openSUSE Leap 15) reads: an xz payload, say,
# not a zstd one.
rpm -qpR "$package" | sed -n 's/^rpmlib(\([A-Za-z]*\)).*/\1/p' |
  grep -vxE 'CompressedFileNames|FileDigests|PayloadFilesHavePrefix|PayloadIsXz' &&
  fail "needs the rpm features above"

[ $failed = 0 ] && echo "RPM: all checks passed"
exit $failed
