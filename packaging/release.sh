#!/bin/sh
# Makes a release of the tree this script is in, in build/release: first the
# source archive, trovconv-VERSION.tar.gz, the tree as committed; then every
# package, one build for each architecture, in build/release-work (kept for
# the checks: every package of an architecture carries that build's one
# binary); BUILDINFO, what made them; and SHA256SUMS of them all.
#   release.sh
# with SIGN=KEYID in the environment, it signs the sums and the source
# archive with that key (packaging/sign.sh). With WINCERT=CERT.pfx and
# WINCERT_PASS=PASSFILE, the file holding its passphrase, it signs the
# Windows executable (Authenticode, packaging/sign_exe.sh), timestamped by
# the server WINCERT_TIMESTAMP=URL names, if any, before it goes into the
# .zip, and publishes the signature, trovconv-VERSION-win64.exe.sig; with
# WINSIG=that file instead, it attaches it, as when the release is made
# again from its source archive. A clone with uncommitted
# changes is refused, unless ALLOW_DIRTY=1 (for trying out, never to
# publish: its packages are not the commit's). So is a CHANGELOG.md whose
# newest entry is not the version released.
#
# The files are the same to the byte wherever and whenever they are built,
# from a clone or from the source archive: every time they carry is
# SOURCE_DATE_EPOCH, when not given the commit's time, which a source
# archive records in packaging/source-date. Zip files keep local times,
# hence UTC here; and C sorting, for one order of the sums whatever the
# user's locale.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/release
work=$root/build/release-work
version=$(sed -n 's/^project(trovconv VERSION \([0-9.]*\) .*/\1/p' \
  "$root/CMakeLists.txt")
date=$(sed -n 's/^set(TROVCONV_RELEASE_DATE \([0-9-]*\))$/\1/p' \
  "$root/CMakeLists.txt")

# What is released is what CHANGELOG.md's newest entry says, under the
# version and date CMakeLists.txt gives everything else. An empty
# Unreleased heading, where the next version's entries are to go, is
# passed over.
newest=$(awk '/^## / && $0 != "## Unreleased" { print; exit }
  /^## Unreleased$/ { under = 1; next }
  under && NF { print "Unreleased"; exit }' "$root/CHANGELOG.md") || exit 1
case $newest in
"## $version ($date)") ;;
Unreleased)
  echo "release.sh: CHANGELOG.md has entries under Unreleased: make them" \
    "the entry of the version released (CONTRIBUTING.md, Release checklist)" >&2
  exit 1 ;;
*)
  echo "release.sh: CHANGELOG.md's newest entry is '$newest', not" \
    "'## $version ($date)' as CMakeLists.txt says" >&2
  exit 1 ;;
esac

# Where the packages are built from: the source archive's tree, whose every
# file has the commit's time.
source=$work/source/trovconv-$version
TZ=UTC
LC_ALL=C
export TZ LC_ALL
# Every file made, and so every member of a package, gets the modes this
# gives; nothing in CPack sets them.
umask 022

commit=
time=
if [ -e "$root/.git" ]; then
  # A checkout owned by another user (a container's mount) is safe here.
  git() { command git -c safe.directory="$root" -C "$root" "$@"; }
  commit=$(git rev-parse HEAD)
  time=$(git log -1 --format=%ct)
  if [ -n "$(git status --porcelain)" ] &&
    [ "${ALLOW_DIRTY:-}" != 1 ]; then
    echo "release.sh: uncommitted changes: commit them, or set" \
      "ALLOW_DIRTY=1 to build them all the same" >&2
    exit 1
  fi
else
  # "$Format:...$" where git archive did not fill it in.
  read -r time commit <"$root/packaging/source-date" || true
  case $time in '' | *[!0-9]*) time= commit= ;; esac
fi
# Named relative to where make was run; every file is checked before
# anything is removed or built.
if [ -n "${WINCERT:-}" ] && [ -n "${WINSIG:-}" ]; then
  echo "release.sh: WINCERT signs, WINSIG attaches a signature: not both" >&2
  exit 1
fi
if [ -n "${WINCERT:-}" ] && [ -z "${WINCERT_PASS:-}" ]; then
  echo "release.sh: WINCERT needs WINCERT_PASS, the file holding the" \
    "certificate's passphrase" >&2
  exit 1
fi
[ -z "${WINCERT:-}" ] || WINCERT=$(realpath -e "$WINCERT") || exit 1
[ -z "${WINCERT_PASS:-}" ] || WINCERT_PASS=$(realpath -e "$WINCERT_PASS") ||
  exit 1
[ -z "${WINSIG:-}" ] || WINSIG=$(realpath -e "$WINSIG") || exit 1

SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$time}
if [ -z "$SOURCE_DATE_EPOCH" ]; then
  echo "release.sh: no commit time here: set SOURCE_DATE_EPOCH to the" \
    "release's time, in seconds since 1970" >&2
  exit 1
fi
export SOURCE_DATE_EPOCH

# configure NAME KIND: the build in $work/NAME, from the source archive's
# tree, with the preset release-NAME's settings, for KIND of package; a
# second kind only reconfigures it, and the binary stays.
configure() {
  cmake -S "$source" --preset "release-${1#linux-}" -B "$work/$1" \
    "-DTROVCONV_PACKAGE=$2" >>"$work/$1.log"
  cmake --build "$work/$1" >>"$work/$1.log"
}

# package NAME KIND: a package of that kind, copied to $out.
package() {
  configure "$@"
  (cd "$work/$1" && cpack -G "$2" >>"$work/$1.log")
  cp "$work/$1"/trovconv*."$(echo "$2" | tr A-Z a-z)" "$out/"
}

# zip_archive: the Windows .zip, packed here rather than by CPack, which
# records the builder's uid and gid and the order the file system lists;
# its executable signed, or given the signature published, and its text
# files given CR LF line ends, first.
zip_archive() {
  configure win64 ""
  top=trovconv-$version-win64
  cmake --install "$work/win64" --strip --prefix "$work/win64-tree/$top" \
    >>"$work/win64.log"
  exe=$work/win64-tree/$top/trovconv.exe
  if [ -n "${WINCERT:-}" ]; then
    sh "$root/packaging/sign_exe.sh" "$exe" "$out/$top.exe.sig" \
      "$WINCERT" "$WINCERT_PASS" "${WINCERT_TIMESTAMP:-}" || return
  elif [ -n "${WINSIG:-}" ]; then
    cp "$WINSIG" "$out/$top.exe.sig" &&
      sh "$root/packaging/sign_exe.sh" "$exe" "$out/$top.exe.sig" || return
  fi
  # Notepad before Windows 10 1809 runs lines ended by LF alone together.
  for file in README.md LICENSE NOTICES; do
    sed -i 's/\r*$/\r/' "$work/win64-tree/$top/$file" || return
  done
  find "$work/win64-tree" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  (cd "$work/win64-tree" && find "$top" | sort | zip -X -q "$out/$top.zip" -@)
}

# archive MACHINE: the plain archive trovconv-VERSION-linux-MACHINE.tar.gz,
# a tree to unpack under a prefix.
archive() {
  set -- "linux-$1"
  configure "$1" ""
  top=trovconv-$version-$1
  cmake --install "$work/$1" --strip --prefix "$work/$1-tree/$top" \
    >>"$work/$1.log"
  (cd "$work/$1-tree" && tar --sort=name --owner=0 --group=0 \
    --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" --format=gnu -cf - "$top") |
    gzip -9n >"$out/$top.tar.gz"
}

# The tree as committed: from git in a clone (which fills in
# packaging/source-date), or the tree itself, build/ left out, in one made
# from the archive; packed the same way both times.
source_archive() {
  mkdir -p "$source"
  if [ -e "$root/.git" ]; then
    git archive HEAD | tar -xf - -C "$source"
  else
    (cd "$root" && tar -cf - --exclude=./build .) | tar -xf - -C "$source"
  fi
  (cd "$work/source" && tar --sort=name --owner=0 --group=0 \
    --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" --mode=u+rwX,go+rX,go-w \
    --format=ustar -cf - "trovconv-$version") |
    gzip -9n >"$out/trovconv-$version.tar.gz"
}

# What made the release: the commit, its time, the system and the Debian
# packages of every tool and library that shapes the files' bytes: the
# compilers, linkers and the archives they link in, CPack and the archive
# libraries it and rpm write with, rpm's own libraries and macros, and
# what compresses and packs; and what signs the Windows executable, or
# attaches its signature. One not installed fails the release.
buildinfo() {
  signer=
  [ -z "${WINCERT:-}${WINSIG:-}" ] || signer="osslsigncode libssl3"
  system=$(. /etc/os-release && echo "$PRETTY_NAME") || return
  system="$system, $(cat /etc/debian_version)" || return
  packages=$(dpkg-query -W -f='${db:Status-Abbrev}${Package} ${Version}\n' \
    binutils binutils-aarch64-linux-gnu binutils-arm-linux-gnueabi \
    binutils-mingw-w64-x86-64 binutils-x86-64-linux-gnu cmake cmake-data \
    dpkg-dev g++-12 g++-12-aarch64-linux-gnu g++-12-arm-linux-gnueabi \
    g++-mingw-w64-x86-64-posix gcc-12 gcc-12-aarch64-linux-gnu \
    gcc-12-arm-linux-gnueabi gcc-mingw-w64-x86-64-posix gzip libarchive13 \
    libbinutils libbz2-1.0 libc6 libc6-dev libc6-dev-arm64-cross \
    libc6-dev-armel-cross libelf1 libgcc-12-dev libgcc-12-dev-arm64-cross \
    libgcc-12-dev-armel-cross libgmp10 libisl23 liblzma5 libmagic-mgc \
    libmagic1 libmpc3 libmpfr6 librpm9 librpmbuild9 librpmio9 \
    libstdc++-12-dev libstdc++-12-dev-arm64-cross \
    libstdc++-12-dev-armel-cross libstdc++6 libzstd1 make \
    mingw-w64-x86-64-dev rpm rpm-common tar xz-utils zip zlib1g $signer) ||
    return
  # Removed but for its configuration files, a package is still listed.
  if echo "$packages" | grep -v '^ii ' >&2; then
    echo "release.sh: the packages above are not installed" >&2
    return 1
  fi
  echo "trovconv $version"
  echo "release date: $date"
  echo "commit: ${commit:-not recorded}"
  echo "SOURCE_DATE_EPOCH: $SOURCE_DATE_EPOCH"
  echo "built on $system, with:"
  echo "$packages" | sed 's/^ii /  /' | sort -u
}
info=$(buildinfo) || exit 1

# Only this script's own folders are ever removed.
rm -rf "$out" "$work"
mkdir -p "$out" "$work"
source_archive
for machine in x86_64 aarch64 armv6; do
  package "linux-$machine" DEB
  [ $machine = armv6 ] || package "linux-$machine" RPM
  archive $machine
done
zip_archive
echo "$info" >"$out/BUILDINFO"
(cd "$out" && sha256sum BUILDINFO trovconv* >SHA256SUMS)
[ -z "${SIGN:-}" ] || sh "$root/packaging/sign.sh" "$out" "$SIGN"
cat "$out/SHA256SUMS"
