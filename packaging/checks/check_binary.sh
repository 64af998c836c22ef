#!/bin/sh
# Checks one architecture's binary of a release, once for all the packages
# that carry it (check_deb.sh and check_rpm.sh compare their bytes with
# these), as a plain archive installs it under PREFIX:
#   check_binary.sh PREFIX TOOL CAPTURE
# TOOL is the unstripped build the binary comes from. EMULATOR is the
# command that runs it (qemu-aarch64 -cpu cortex-a53 -L EMPTY: the oldest
# processor of the kind, no C library to be seen), empty to run it here;
# TOOLS the prefix of the binutils for its machine code
# (aarch64-linux-gnu-), empty for this machine's.
set -u
prefix=$1
tool=$2
capture=$3
EMULATOR=${EMULATOR:-}
TOOLS=${TOOLS:-}
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/tests/checks.sh"

# What is installed under PREFIX, as a user meets it: its tool must convert
# CAPTURE exactly as TOOL does and print the same banner, and its manual
# page must be where man looks, and render.
#   check_installed PREFIX TOOL CAPTURE
check_installed() {
  installed=$1/bin/trovconv
  page=$1/share/man/man1/trovconv.1.gz
  mkdir "$dir/tree" "$dir/installed"
  cp "$3" "$dir/tree/x.dat"
  cp "$3" "$dir/installed/x.dat"
  timeout 60 $EMULATOR "$2" "$dir/tree/x.dat" || fail "the tree's tool failed"
  timeout 60 $EMULATOR "$installed" "$dir/installed/x.dat" ||
    fail "the installed tool failed"
  cmp "$dir/tree/x.tim" "$dir/installed/x.tim" ||
    fail "the installed tool converts differently"
  if [ -f "${3%.dat}.tim" ]; then
    cmp "${3%.dat}.tim" "$dir/installed/x.tim" ||
      fail "the installed tool does not convert $3 to ${3%.dat}.tim"
  fi

  timeout 60 $EMULATOR "$2" 2>"$dir/tree/banner"
  timeout 60 $EMULATOR "$installed" 2>"$dir/installed/banner"
  [ $? = 1 ] || fail "the banner's status is not 1"
  cmp "$dir/tree/banner" "$dir/installed/banner" || fail "the banners differ"

  [ -f "$page" ] || fail "no manual page at share/man/man1/trovconv.1.gz"
  found=$(man -M "$1/share/man" -w trovconv) || fail "man -w"
  [ "$found" = "$page" ] || fail "man finds '$found', not the page"
  MANWIDTH=80 man -M "$1/share/man" -P cat trovconv \
    >"$dir/rendered" 2>&1 || fail "man could not show the page"
  grep -q '^SYNOPSIS' "$dir/rendered" || fail "the rendered page has no SYNOPSIS"
  grep -q 'trovconv capture-file' "$dir/rendered" ||
    fail "the rendered page has no synopsis line"
}

# What the binary asks of the system: no dynamic loader and no
# shared library, so it runs whatever C library the system has; and the
# oldest kernel its C library supports, from the ABI note.
#   check_static BINARY
check_static() {
  readelf -lWd "$1" >"$dir/elf" || { fail "readelf cannot read $1"; return; }
  kernel=$(readelf -n "$1" | sed -n 's/^ *OS: Linux, ABI: //p')
  if grep -E 'interpreter|NEEDED' "$dir/elf"; then
    fail "needs the above"
  else
    echo "needs: no interpreter, no shared library; Linux $kernel"
  fi
  # README promises Linux 3.7 at most.
  printf '%s\n3.7.0\n' "$kernel" | sort -CV || fail "needs Linux $kernel"
}

# The hardening of the binary, a static one that hardening-check cannot
# read, shown from its ELF headers and from the code of TOOL, the unstripped
# build that BINARY must be, stripped (so what TOOL's symbols show holds for
# BINARY).
#   check_hardening BINARY TOOL
check_hardening() {
  ${TOOLS}strip -o "$dir/stripped" "$2" &&
    ${TOOLS}objcopy --remove-section=.comment --remove-section=.note \
      "$dir/stripped" && cmp -s "$dir/stripped" "$1" ||
    fail "$1 is not $2 stripped"
  readelf -hlWd "$1" >"$dir/elf"
  machine=$(sed -n 's/^ *Machine: *//p' "$dir/elf")
  ${TOOLS}objdump -d "$2" >"$dir/code"
  if grep -q 'Type: *DYN' "$dir/elf"; then
    echo "position independent: yes (static PIE)"
    grep -Eq 'BIND_NOW|Flags: NOW' "$dir/elf" || fail "no immediate binding"
    echo "immediate binding: yes"
  elif [ "$machine" = ARM ]; then
    echo "position independent: no (no static PIE start file for ARM)"
    echo "immediate binding: nothing to bind (no dynamic section)"
  else
    fail "not position independent"
  fi
  grep -q 'GNU_RELRO' "$dir/elf" || fail "no read-only relocations"
  echo "read-only relocations: yes (GNU_RELRO)"
  grep -q 'GNU_STACK.* RW  ' "$dir/elf" || fail "executable stack"
  echo "non-executable stack: yes"
  # The tool's own functions, not only the C library's, must check their
  # stacks, and its fprintf must be the checked one.
  protected=$(awk '/^[0-9a-f]+ <.*>:$/ { name = $2 }
    /<__stack_chk_fail>/ && name ~ /RunConverter|platform/ { print name }' \
    "$dir/code" | sort -u | wc -l)
  [ "$protected" -gt 0 ] || fail "no stack protector in the tool's code"
  echo "stack protector: yes, in $protected of the tool's functions"
  ${TOOLS}nm "$2" | grep -q ' __fprintf_chk$' || fail "not fortified"
  echo "fortified calls: yes (__fprintf_chk)"
  main=$(awk '/<main>:$/ { getline; print; exit }' "$dir/code")
  case $machine in
  *X86-64*)
    echo "$main" | grep -q endbr64 || fail "main does not start with endbr64"
    echo "control-flow protection: yes (endbr64)" ;;
  *AArch64*)
    echo "$main" | grep -q 'bti' || fail "main does not start with bti"
    grep -q paciasp "$dir/code" || fail "return addresses are not signed"
    echo "control-flow protection: yes (bti, paciasp)" ;;
  *) echo "control-flow protection: none on $machine" ;;
  esac
  return 0
}

check_static "$prefix/bin/trovconv"
check_hardening "$prefix/bin/trovconv" "$tool"
check_installed "$prefix" "$tool" "$capture"

[ $failed = 0 ] && echo "binary: all checks passed"
exit $failed
