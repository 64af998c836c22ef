#!/bin/sh
# The source as it builds on a Linux that is not Debian: with no dpkg, no
# package database and no /usr/share/common-licenses, the default preset
# must configure and build, make no NOTICES, and its tool convert CAPTURE
# to exactly EXPECTED, linked statically; with no static C library either,
# the configure must say so, and the tool, linked dynamically, convert it
# the same:
#   check_no_debian.sh CAPTURE EXPECTED
# Run as root, in a mount namespace of its own where an empty folder hides
# each of Debian's, and a program that fails each of its tools; exits 77
# (skipped) where that cannot be had. Builds in a scratch folder.
set -u
if [ -z "${TROVCONV_NAMESPACE:-}" ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "not root: no mount namespace to hide Debian's files in; skipped"
    exit 77
  fi
  if ! unshare -m true 2>/dev/null; then
    echo "unshare -m is not allowed here; skipped"
    exit 77
  fi
  exec timeout 3600 unshare -m env TROVCONV_NAMESPACE=1 sh "$0" "$@"
fi
capture=$(realpath "$1") || exit 2
expected=$(realpath "$2") || exit 2
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tests/checks.sh"

mkdir "$dir/empty" && : >"$dir/empty-file" || exit 2
printf '#!/bin/sh\necho "not on this system" >&2\nexit 127\n' >"$dir/absent"
chmod 755 "$dir/absent"
for folder in /var/lib/dpkg /usr/share/common-licenses; do
  mount --bind "$dir/empty" "$folder" || exit 2
done
for tool in dpkg dpkg-query; do
  path=$(command -v $tool) || continue
  mount --bind "$dir/absent" "$path" || exit 2
done
dpkg-query -W cmake >/dev/null 2>&1 && fail "dpkg-query still answers"

# build NAME TARGET: the default preset configured in $dir/NAME and TARGET
# built; its tool must convert a copy of the capture as committed.
build() {
  echo "== $1: cmake --preset default, cmake --build --target $2"
  timeout 300 cmake -S "$root" --preset default -B "$dir/$1" \
    >"$dir/$1.log" 2>&1 &&
    timeout 1800 cmake --build "$dir/$1" --target "$2" -j2 \
      >>"$dir/$1.log" 2>&1 ||
    { tail -n 30 "$dir/$1.log"; fail "$1: the build failed"; return 1; }
  grep '^-- trovconv: ' "$dir/$1.log"
  [ -e "$dir/$1/NOTICES" ] && fail "$1: NOTICES made"
  mkdir "$dir/$1-run" && cp "$capture" "$dir/$1-run/x.dat" || exit 2
  timeout 60 "$dir/$1/trovconv" "$dir/$1-run/x.dat" ||
    fail "$1: the tool failed"
  cmp "$expected" "$dir/$1-run/x.tim" ||
    fail "$1: the example converts differently"
  readelf -d "$dir/$1/trovconv" | grep NEEDED
}

if build static all >"$dir/out"; then
  grep -q NEEDED "$dir/out" && fail "static: not linked statically"
fi
cat "$dir/out"

# As where the C library comes only as shared libraries.
mount --bind "$dir/empty-file" "$(${CXX:-c++} -print-file-name=libc.a)" ||
  exit 2
if build dynamic trovconv >"$dir/out"; then
  grep -q 'NEEDED.*libc\.so' "$dir/out" || fail "dynamic: no libc.so needed"
  note='-- trovconv: no static C or C++ library here: the tool is linked'
  grep -qx -- "$note dynamically" "$dir/out" ||
    fail "dynamic: the configure did not say so"
fi
cat "$dir/out"

[ $failed = 0 ] && echo "without Debian's tools and files: the default" \
  "preset builds, and its tool converts the example as committed"
exit $failed
