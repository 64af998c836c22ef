#!/bin/sh
# Makes every release package, and SHA256SUMS for them, in OUT:
#   release.sh OUT
# Each is built in its own folder beside OUT, from the sources this script
# is in, with the tests left out (the CI runs them). The packages are the
# same to the byte wherever and whenever they are built, for which
# SOURCE_DATE_EPOCH, when not given, is the last commit's time; it is every
# time the packages carry. Zip files keep local times, hence UTC here; and
# C sorting, for one order of the sums whatever the user's locale.
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

# package NAME TOOLCHAIN GENERATOR: one package in $work/NAME, copied to $out.
package() {
  set -- "$1" "${2:+--toolchain=$root/cmake/$2.cmake}" "$3"
  # Windows has the one kind of package.
  kind=-DTROVCONV_PACKAGE=$3
  [ "$3" = ZIP ] && kind=
  cmake -S "$root" -B "$work/$1" ${2:+"$2"} -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBUILD_TESTING=OFF $kind >"$work/$1.log"
  cmake --build "$work/$1" -j 2 >>"$work/$1.log"
  # A .deb's three members get the modes the umask gives; nothing in CPack
  # sets them.
  (umask 022 && cd "$work/$1" && cpack -G "$3" >>"$work/$1.log")
  cp "$work/$1"/trovconv*."$(echo "$3" | tr A-Z a-z)" "$out/"
}

rm -rf "$out" "$work"
mkdir -p "$out" "$work"
package deb-amd64 "" DEB
package deb-arm64 aarch64-linux-gnu DEB
package deb-armhf arm-linux-gnueabihf DEB
package rpm-x86_64 "" RPM
package rpm-aarch64 aarch64-linux-gnu RPM
package zip-win64 mingw-w64 ZIP
(cd "$out" && sha256sum trovconv* >SHA256SUMS)
cat "$out/SHA256SUMS"
