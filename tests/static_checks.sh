#!/bin/sh
# Runs clang-tidy (with .clang-tidy's checks) and cppcheck over every source
# of the project; fails on any finding.
# usage: static_checks.sh BUILD_DIR [WINDOWS_BUILD_DIR]
# BUILD_DIR is a configured native build (its compile_commands.json says how
# each file is compiled). A native build never compiles the Windows-only
# files, so without WINDOWS_BUILD_DIR (a configured `windows` preset) they are
# left to cppcheck alone.
. "$(dirname "$0")/checks.sh"
build=${1:?usage: static_checks.sh BUILD_DIR [WINDOWS_BUILD_DIR]}
win=${2-}
root=$(cd "$(dirname "$0")/.." && pwd)

if ! run-clang-tidy -quiet -p "$build" "$root/(src|tests|fuzz|bench|examples)/" \
  >"$dir/tidy" 2>&1; then
  grep -E -A3 'warning:|error:' "$dir/tidy" || cat "$dir/tidy"
  fail "clang-tidy found the problems above"
fi

# clang reads the Windows build's commands as the cross compiler would, but
# finds on its own neither that compiler's C++ library (clang 14 does not
# take "12-posix" for a GCC version) nor only the target's C headers: without
# a sysroot it also searches the host's /usr/include, where a POSIX-only
# header would be found and hide a Windows build failure. So the target, the
# C headers (Debian's layout, as in cmake/mingw-w64.cmake) and the compiler's
# own libstdc++ are named.
if [ -n "$win" ]; then
  cxx=$(sed -n 's/^ *"command": "\([^ ]*\) .*/\1/p' \
    "$win/compile_commands.json" | head -n 1)
  if ! target=$("$cxx" -dumpmachine) ||
    ! inc=$("$cxx" -print-file-name=include/c++); then
    fail "no cross compiler found through $win/compile_commands.json"
  elif ! run-clang-tidy -quiet -p "$win" -extra-arg=--target="$target" \
    -extra-arg=--sysroot="/usr/$target" -extra-arg=-stdlib++-isystem"$inc" \
    -extra-arg=-stdlib++-isystem"$inc/$target" \
    -extra-arg=-stdlib++-isystem"$inc/backward" \
    "$root/(src|tests)/[^/]*_win[^/]*\.cc$" >"$dir/tidy-win" 2>&1; then
    grep -E -A3 'warning:|error:' "$dir/tidy-win" || cat "$dir/tidy-win"
    fail "clang-tidy found the problems above in the Windows-only files"
  fi
fi

# useStlAlgorithm is left out: a plain loop is no fault. GoogleTest's macros
# are known to cppcheck through its own description of the library.
cppcheck --quiet --std=c++17 --library=googletest \
  --enable=warning,performance,portability,style --inline-suppr \
  --suppress=missingIncludeSystem --suppress=useStlAlgorithm \
  --error-exitcode=1 -I "$root/src" -I "$root/tests" \
  "$root/src" "$root/tests" "$root/fuzz" "$root/bench" "$root/examples" ||
  fail "cppcheck found problems (above)"
exit $failed
