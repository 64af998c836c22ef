#!/bin/sh
# Checks the RPM as a user would meet it, and as rpmlint judges it:
#   check_rpm.sh PACKAGE TOOL CAPTURE
# rpmlint, with packaging/rpmlint.toml, must report nothing; it is unpacked
# into a scratch root, where its tool must be hardened and behave as TOOL,
# the tree's own build (checks.sh, check_installed), under EMULATOR for
# another architecture (checks.sh).
set -u
package=$1
tool=$2
capture=$3
. "$(dirname "$0")/checks.sh"
root=$(cd "$(dirname "$0")/.." && pwd)

rpmlint -c "$root/packaging/rpmlint.toml" "$package" >"$dir/rpmlint" 2>&1 ||
  fail "rpmlint failed"
cat "$dir/rpmlint"
grep -q ' 0 errors, 0 warnings' "$dir/rpmlint" ||
  fail "rpmlint reported the above"

mkdir "$dir/root"
(rpm2cpio "$package" | (cd "$dir/root" && cpio -idm --quiet)) || exit 1
for file in doc/trovconv/README.md doc/trovconv/CHANGELOG.md \
  licenses/trovconv/LICENSE; do
  [ -f "$dir/root/usr/share/$file" ] || fail "no usr/share/$file"
done
[ -n "$(rpm -qp --changelog "$package")" ] || fail "no changelog"

check_hardening "$dir/root/usr/bin/trovconv"
check_installed "$dir/root" "$tool" "$capture"

[ $failed = 0 ] && echo "RPM: all checks passed"
exit $failed
