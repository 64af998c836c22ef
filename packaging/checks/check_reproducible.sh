#!/bin/sh
# Checks that a release is the same to the byte whoever builds it, and from
# what: builds it again from its own source archive, unpacked in another
# folder, as an ordinary user (nobody, when run as root), with the umask
# 002, later, on a file system that lists each folder's entries in reverse
# (disorderfs), and compares every file with RELEASE's:
#   check_reproducible.sh RELEASE
# RELEASE is the folder `make release` made in a clone (build/release).
# Where a file differs, diffoscope reports on it. A release whose Windows
# executable is signed is made again with its signature attached, as
# README.md says (WINSIG).
set -u
release=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/tests/checks.sh"
archive=$release/trovconv-$(sed -n '1s/^trovconv //p' "$release/BUILDINFO").tar.gz
top=$(basename "$archive" .tar.gz)
mkdir "$dir/unpacked" "$dir/listed" "$dir/home"
tar -xzf "$archive" -C "$dir/unpacked" || exit 2
trap 'umount "$dir/listed" 2>/dev/null; rm -rf "$dir"' EXIT

as=
who=$(id -un)
if [ "$(id -u)" = 0 ]; then
  as="runuser -u nobody --"
  who=nobody
  chmod 755 "$dir"
  chown -R nobody "$dir/unpacked" "$dir/home"
fi
timeout 60 disorderfs --multi-user=yes --reverse-dirents=yes \
  -o allow_other "$dir/unpacked" "$dir/listed" >/dev/null ||
  { fail "disorderfs could not mount"; exit 1; }

winsig=
signature=$release/$top-win64.exe.sig
if [ -f "$signature" ]; then
  cp "$signature" "$dir/home/" || exit 2
  winsig="WINSIG=$dir/home/$(basename "$signature")"
fi
echo "make release${winsig:+ $winsig} from $top.tar.gz as $who," \
  "umask 002, entries in reverse order"
$as env HOME="$dir/home" sh -c "umask 002 && cd '$dir/listed/$top' &&
  timeout 1800 make release $winsig" >"$dir/log" 2>&1 ||
  { tail -n 30 "$dir/log"; fail "make release failed"; exit 1; }

other=$dir/listed/$top/build/release
ls "$release" | grep -v '\.asc$' >"$dir/files-a"
ls "$other" >"$dir/files-b"
diff "$dir/files-a" "$dir/files-b" || fail "different files"
(cd "$other" && sha256sum -c --quiet SHA256SUMS) || fail "SHA256SUMS is wrong"
for file in $(cat "$dir/files-a"); do
  [ -f "$other/$file" ] || continue
  cmp -s "$release/$file" "$other/$file" && continue
  fail "$file differs"
  timeout 600 diffoscope --text - "$release/$file" "$other/$file"
done
echo "SHA256SUMS: $(sha256sum "$release/SHA256SUMS")"
echo "SHA256SUMS: $(sha256sum "$other/SHA256SUMS")"

[ $failed = 0 ] && echo "make release: the same bytes from the clone and" \
  "from the source archive"
exit $failed
