#!/bin/sh
# Checks that `make release` gives the same bytes from two clones of this
# commit, in folders of different names and depths, with the umasks 022
# and 002, in different time zones and locales, one after the other:
#   check_reproducible.sh [WORK]
# in WORK (a new scratch folder when not given; kept, for the packages and
# logs). Where the sums differ, diffoscope reports on each file that does.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
. "$(dirname "$0")/checks.sh"
if [ $# -gt 0 ]; then
  work=$1
  rm -rf "$work"
  mkdir -p "$work" || exit 2
  work=$(cd "$work" && pwd)
else
  work=$dir
fi
commit=$(git -C "$root" rev-parse HEAD) || exit 2

# release CLONE UMASK TZ LOCALE: make release in a new clone at CLONE.
release() {
  git clone -q --no-checkout "$root" "$1" &&
    git -C "$1" checkout -q "$commit" || exit 2
  echo "make release in $1 (umask $2, TZ=$3, LC_ALL=$4)"
  (umask "$2" && cd "$1" && TZ=$3 LC_ALL=$4 LANG=$4 \
    timeout 1800 make release >"$1.log" 2>&1) ||
    { tail -n 30 "$1.log"; fail "make release failed in $1"; }
}

release "$work/a/trovconv" 022 UTC C
release "$work/second/clone/of/trovconv-b" 002 Pacific/Kiritimati C.UTF-8
[ $failed = 0 ] || exit 1

a=$work/a/trovconv/build/release
b=$work/second/clone/of/trovconv-b/build/release
cat "$a/SHA256SUMS"
ls "$a" >"$work/files-a"
ls "$b" >"$work/files-b"
diff "$work/files-a" "$work/files-b" || fail "different files"
(cd "$a" && sha256sum -c --quiet SHA256SUMS) || fail "SHA256SUMS is wrong"
for file in $(cat "$work/files-a"); do
  [ -f "$b/$file" ] || continue
  cmp -s "$a/$file" "$b/$file" && continue
  fail "$file differs"
  timeout 600 diffoscope --text - "$a/$file" "$b/$file"
done
echo "SHA256SUMS: $(sha256sum "$a/SHA256SUMS")"
echo "SHA256SUMS: $(sha256sum "$b/SHA256SUMS")"

[ $failed = 0 ] && echo "make release: the same bytes twice"
exit $failed
