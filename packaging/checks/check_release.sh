#!/bin/sh
# Checks every Linux package that `make release` made, as shipped:
#   check_release.sh RELEASE CAPTURE
# RELEASE is its folder (build/release); the builds it kept are beside it
# (build/release-work). For each architecture, its binary passes its checks
# once (check_binary.sh), run under qemu-user as the oldest processor of its
# kind and with no C library to be seen; each package passes its own
# (check_archive.sh, check_deb.sh, check_rpm.sh), among them that it
# carries that binary. First, the changelogs the tree's release.sh refuses.
set -u
release=$(cd "$1" && pwd)
capture=$2
here=$(dirname "$0")
root=$(cd "$here/../.." && pwd)
. "$root/tests/checks.sh"
mkdir "$dir/no-libraries"

# What the release refuses before it removes or builds anything, in one
# line: a changelog with entries under Unreleased, or whose newest entry is
# not the version and date of CMakeLists.txt. Run in a scratch tree of the
# files release.sh reads first, where a changelog it takes goes on to stop
# at the want of a commit time. An empty Unreleased heading is taken.
while IFS='|' read -r edit expected; do
  rm -rf "$dir/tree" && mkdir -p "$dir/tree/packaging" &&
    cp "$root/CMakeLists.txt" "$root/CHANGELOG.md" "$dir/tree/" &&
    cp "$root/packaging/release.sh" "$dir/tree/packaging/" &&
    sed -i "$edit" "$dir/tree/CHANGELOG.md" || exit 2
  env -u SOURCE_DATE_EPOCH sh "$dir/tree/packaging/release.sh" \
    >/dev/null 2>"$dir/refusal"
  status=$?
  printf '%s\n' "release.sh, CHANGELOG.md edited by '$edit': status $status"
  cat "$dir/refusal"
  if [ -z "$expected" ]; then
    grep -q CHANGELOG.md "$dir/refusal" && fail "a good changelog refused"
    grep -q 'no commit time here' "$dir/refusal" || fail "stopped too soon"
  elif [ $status != 1 ] || [ "$(wc -l <"$dir/refusal")" != 1 ] ||
    ! grep -q "$expected" "$dir/refusal"; then
    fail "no refusal in one line, '$expected', with status 1"
  fi
done <<'EOF'
|
0,/^## /s/^## /## Unreleased\n\n## /|
0,/^## /s/^## /## Unreleased\n\n- A change.\n\n## /|has entries under Unreleased
0,/^## /s/ ([0-9-]*)$/ (2000-01-01)/|newest entry is '## [0-9.]* (2000-01-01)'
EOF

# arch MACHINE DEB RPM QEMU CPU TOOLS: one architecture's checks: its plain
# archive, then its binary, once, as that archive installs it; then each
# package, which must carry the same binary and manual page.
arch() {
  tool=$release-work/linux-$1/trovconv
  EMULATOR="qemu-$4 -cpu $5 -L $dir/no-libraries"
  TOOLS=$6
  export EMULATOR TOOLS
  echo "== $1: run as qemu-$4 -cpu $5"
  archive=$(echo "$release"/trovconv-*-linux-"$1".tar.gz)
  sh "$here/check_archive.sh" "$archive" || fail "$archive"
  prefix=$dir/$1
  mkdir "$prefix" &&
    tar -xzf "$archive" -C "$prefix" --strip-components=1 || exit 2
  ls -l "$prefix/bin/trovconv" | awk '{ print "binary: " $5 " bytes" }'
  sh "$here/check_binary.sh" "$prefix" "$tool" "$capture" ||
    fail "the $1 binary"
  deb=$(echo "$release"/trovconv_*_"$2".deb)
  sh "$here/check_deb.sh" "$deb" "$prefix" || fail "$deb"
  [ -n "$3" ] || return 0
  rpm=$(echo "$release"/trovconv-*."$3".rpm)
  sh "$here/check_rpm.sh" "$rpm" "$prefix" || fail "$rpm"
}

arch x86_64 amd64 x86_64 x86_64 qemu64 ""
arch aarch64 arm64 aarch64 aarch64 cortex-a53 aarch64-linux-gnu-
arch armv6 armhf "" arm arm1176 arm-linux-gnueabi-

[ $failed = 0 ] && echo "release: all Linux packages passed"
exit $failed
