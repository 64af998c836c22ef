#!/bin/sh
# Makes every release package, and SHA256SUMS for them, in OUT:
#   release.sh OUT
# One build for each architecture, from the sources this script is in, with
# the tests left out (the CI runs them), in a folder beside OUT, which keeps
# the builds for the checks: every package of an architecture carries that
# build's one binary. The packages are the same to the byte wherever and
# whenever they are built, for which SOURCE_DATE_EPOCH, when not given, is
# the last commit's time; it is every time the packages carry. Zip files
# keep local times, hence UTC here; and C sorting, for one order of the
# sums whatever the user's locale.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
work=$out-work
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)
fi
export SOURCE_DATE_EPOCH
TZ=UTC
LC_ALL=C
export TZ LC_ALL
# Every file made, and so every member of a package, gets the modes this
# gives; nothing in CPack sets them.
umask 022

# configure NAME TOOLCHAIN KIND: the build in $work/NAME, made for KIND of
# package; a second kind only reconfigures it, and the binary stays.
configure() {
  [ "$3" = ZIP ] && set -- "$1" "$2" ""  # Windows has the one kind
  cmake -S "$root" -B "$work/$1" ${2:+"--toolchain=$root/cmake/$2.cmake"} \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
    ${3:+"-DTROVCONV_PACKAGE=$3"} >>"$work/$1.log"
  cmake --build "$work/$1" -j 2 >>"$work/$1.log"
}

# package NAME TOOLCHAIN KIND: a package of that kind, copied to $out.
package() {
  configure "$@"
  (cd "$work/$1" && cpack -G "$3" >>"$work/$1.log")
  cp "$work/$1"/trovconv*."$(echo "$3" | tr A-Z a-z)" "$out/"
}

# archive NAME TOOLCHAIN MACHINE: the plain archive
# trovconv-VERSION-linux-MACHINE.tar.gz, a tree to unpack under a prefix.
archive() {
  configure "$1" "$2" TGZ
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' \
    "$work/$1/CMakeCache.txt")
  top=trovconv-$version-linux-$3
  rm -rf "$work/$1-tree"
  cmake --install "$work/$1" --strip --prefix "$work/$1-tree/$top" \
    >>"$work/$1.log"
  (cd "$work/$1-tree" && tar --sort=name --owner=0 --group=0 \
    --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" --format=gnu -cf - "$top") |
    gzip -9n >"$out/$top.tar.gz"
}

rm -rf "$out" "$work"
mkdir -p "$out" "$work"
package linux-x86_64 "" DEB
package linux-x86_64 "" RPM
archive linux-x86_64 "" x86_64
package linux-aarch64 aarch64-linux-gnu DEB
package linux-aarch64 aarch64-linux-gnu RPM
archive linux-aarch64 aarch64-linux-gnu aarch64
package linux-armv6 arm-linux-gnueabi DEB
archive linux-armv6 arm-linux-gnueabi armv6
package win64 mingw-w64 ZIP
(cd "$out" && sha256sum trovconv* >SHA256SUMS)
cat "$out/SHA256SUMS"
