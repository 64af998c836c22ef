#!/bin/sh
# Checks the RPM as a user would meet it, and as rpmlint judges it:
#   check_rpm.sh PACKAGE TOOL CAPTURE
# rpmlint, with packaging/rpmlint.toml, must report nothing; it is unpacked
# into a scratch root, where its tool must need no library, be hardened and
# behave as TOOL, the unstripped build it comes from (checks.sh), under
# EMULATOR.
set -u
package=$1
tool=$2
capture=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/tests/checks.sh"

rpmlint -c "$root/packaging/rpmlint.toml" "$package" >"$dir/rpmlint" 2>&1 ||
  fail "rpmlint failed"
cat "$dir/rpmlint"
grep -q ' 0 errors, 0 warnings' "$dir/rpmlint" ||
  fail "rpmlint reported the above"

mkdir "$dir/root"
(rpm2cpio "$package" | (cd "$dir/root" && cpio -idm --quiet)) || exit 1
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
check_static "$dir/root/usr/bin/trovconv"
check_hardening "$dir/root/usr/bin/trovconv" "$tool"
check_installed "$dir/root" "$tool" "$capture"

[ $failed = 0 ] && echo "RPM: all checks passed"
exit $failed
