#!/bin/sh
# Checks every Linux package that `make release` made, as shipped:
#   check_release.sh RELEASE CAPTURE
# RELEASE is its folder (build/release); the builds it kept are beside it
# (build/release-work). For each architecture, every package must carry the
# same binary, and each package passes its own checks (check_deb.sh,
# check_rpm.sh, check_archive.sh), with the tool run under qemu-user as the
# oldest processor of its kind and with no C library to be seen.
set -u
release=$(cd "$1" && pwd)
capture=$2
here=$(dirname "$0")
. "$here/checks.sh"
mkdir "$dir/no-libraries"

# arch MACHINE DEB RPM QEMU CPU TOOLS: one architecture's checks.
arch() {
  tool=$release-work/linux-$1/trovconv
  EMULATOR="qemu-$4 -cpu $5 -L $dir/no-libraries"
  TOOLS=$6
  export EMULATOR TOOLS
  echo "== $1: run as qemu-$4 -cpu $5"
  archive=$(echo "$release"/trovconv-*-linux-"$1".tar.gz)
  sh "$here/check_archive.sh" "$archive" "$tool" "$capture" ||
    fail "$archive"
  tar -xzOf "$archive" --wildcards '*/bin/trovconv' >"$dir/$1"
  ls -l "$dir/$1" | awk '{ print "binary: " $5 " bytes" }'
  deb=$(echo "$release"/trovconv_*_"$2".deb)
  sh "$here/check_deb.sh" "$deb" "$tool" "$capture" || fail "$deb"
  dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/bin/trovconv |
    cmp -s - "$dir/$1" || fail "$deb carries another binary"
  [ -n "$3" ] || return 0
  rpm=$(echo "$release"/trovconv-*."$3".rpm)
  sh "$here/check_rpm.sh" "$rpm" "$tool" "$capture" || fail "$rpm"
  rpm2cpio "$rpm" | cpio -i --quiet --to-stdout ./usr/bin/trovconv |
    cmp -s - "$dir/$1" || fail "$rpm carries another binary"
}

arch x86_64 amd64 x86_64 x86_64 qemu64 ""
arch aarch64 arm64 aarch64 aarch64 cortex-a53 aarch64-linux-gnu-
arch armv6 armhf "" arm arm1176 arm-linux-gnueabi-

[ $failed = 0 ] && echo "release: all Linux packages passed"
exit $failed
