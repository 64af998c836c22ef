#!/bin/sh
# Checks a plain archive of the Linux tool as a user would meet it:
#   check_archive.sh ARCHIVE
# One folder named as the archive, owned by no one in particular, holding
# bin/trovconv, its manual page and the documents, to unpack under a prefix
# and remove from it as README.md says. What it holds, check_binary.sh
# checks.
set -u
archive=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/tests/checks.sh"

top=$(basename "$archive" .tar.gz)
tar -tzvf "$archive" >"$dir/listing" || exit 1
awk '$2 != "0/0"' "$dir/listing" | grep . && fail "entries with an owner"
tar -tzf "$archive" | grep -v "^$top/" && fail "entries outside $top/"
files="bin/trovconv share/man/man1/trovconv.1.gz share/doc/trovconv/README.md
  share/doc/trovconv/CHANGELOG.md share/doc/trovconv/LICENSE
  share/doc/trovconv/NOTICES"
mkdir "$dir/root"
tar -xzf "$archive" -C "$dir/root" --strip-components=1 || exit 1
for file in $files; do
  [ -f "$dir/root/$file" ] || fail "no $top/$file"
done

# README's lines that install the archive under /usr/local and remove it,
# run as written but for sudo, the archive's name and the prefix, into one
# whose folders a group shares (2775, setgid): the folders must keep their
# modes, owners and groups, and the removal leave the prefix as it was.
# As root only, as README runs them: tar then sets owners and modes.
readme=$root/README.md
prefix=$dir/prefix
install=$(sed -n 's|^    sudo \(tar -xzf \)trovconv-[^ ]*\.tar\.gz|\1NAME|p' \
  "$readme" | sed "s|NAME|$top.tar.gz|; s|/usr/local|$prefix|g")
remove=$(sed -n 's|^    sudo \(rm -r /usr/local/.*\)|\1|p' "$readme" |
  sed "s|/usr/local|$prefix|g")
for word in ${remove#rm -r}; do
  case $word in "$prefix"/*) ;; *) fail "README removes $word"; remove= ;; esac
done
group=staff
getent group staff >/dev/null ||
  group=$(awk -F: '$3 > 0 { print $1; exit }' /etc/group)
snapshot() {
  (cd "$prefix" && find . -exec stat -c '%a %U:%G %n' {} + | sort)
}
if [ "$(id -u)" != 0 ]; then
  echo "not root: README's lines that install and remove the archive unchecked"
elif [ -z "$install" ] || [ -z "$remove" ]; then
  fail "no line of README's to run: 'sudo tar -xzf', 'sudo rm -r /usr/local/'"
else
  mkdir -p "$prefix/bin" "$prefix/share/man/man1" "$prefix/share/doc/other"
  touch "$prefix/bin/other" "$prefix/share/doc/other/README"
  chgrp -R "$group" "$prefix" &&
    find "$prefix" -type d -exec chmod 2775 {} + || exit 2
  snapshot >"$dir/before"
  echo "\$ $install"
  (cd "$(dirname "$archive")" && timeout 60 sh -c "$install") ||
    fail "README's install line"
  snapshot >"$dir/after"
  comm -23 "$dir/before" "$dir/after" | grep . &&
    fail "the prefix's folders changed, from the above"
  for file in $files; do
    [ -f "$prefix/$file" ] || fail "not installed: $file"
  done
  echo "\$ $remove"
  timeout 60 sh -c "$remove" || fail "README's removal line"
  snapshot | diff "$dir/before" - || fail "the prefix is not as it was"
  [ $failed = 0 ] && echo "a prefix of $group's folders, 2775: kept by" \
    "the install, as it was after the removal"
fi

[ $failed = 0 ] && echo "$top.tar.gz: all checks passed"
exit $failed
