#!/bin/sh
# Runs clang-tidy (with .clang-tidy's checks) and cppcheck over every source
# of the project; fails on any finding.
# usage: static_checks.sh BUILD_DIR
# BUILD_DIR is a configured native build (its compile_commands.json says how
# each file is compiled); the Windows-only files are left to cppcheck, which
# needs no compiler.
. "$(dirname "$0")/checks.sh"
build=${1:?usage: static_checks.sh BUILD_DIR}
root=$(cd "$(dirname "$0")/.." && pwd)

if ! run-clang-tidy -quiet -p "$build" "$root/(src|tests|fuzz|bench|examples)/" \
  >"$dir/tidy" 2>&1; then
  grep -E -A3 'warning:|error:' "$dir/tidy" || cat "$dir/tidy"
  fail "clang-tidy found the problems above"
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
