#!/bin/sh
# Checks a plain archive of the Linux tool as a user would meet it:
#   check_archive.sh ARCHIVE TOOL CAPTURE
# One folder named as the archive, owned by no one in particular, holding
# bin/trovconv, its manual page and the documents, to unpack under a prefix;
# its tool must need no library, be hardened and behave as TOOL, the
# unstripped build it comes from (checks.sh), under EMULATOR.
set -u
archive=$1
tool=$2
capture=$3
. "$(dirname "$0")/checks.sh"

top=$(basename "$archive" .tar.gz)
tar -tzvf "$archive" >"$dir/listing" || exit 1
awk '$2 != "0/0"' "$dir/listing" | grep . && fail "entries with an owner"
tar -tzf "$archive" | grep -v "^$top/" && fail "entries outside $top/"
mkdir -p "$dir/root/usr"
tar -xzf "$archive" -C "$dir/root/usr" --strip-components=1 || exit 1
for file in bin/trovconv share/man/man1/trovconv.1.gz \
  share/doc/trovconv/README.md share/doc/trovconv/CHANGELOG.md \
  share/doc/trovconv/LICENSE share/doc/trovconv/NOTICES; do
  [ -f "$dir/root/usr/$file" ] || fail "no $top/$file"
done

check_static "$dir/root/usr/bin/trovconv"
check_hardening "$dir/root/usr/bin/trovconv" "$tool"
check_installed "$dir/root" "$tool" "$capture"

[ $failed = 0 ] && echo "$top.tar.gz: all checks passed"
exit $failed
