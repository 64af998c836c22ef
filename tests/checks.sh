# Sourced by the shell checks: a scratch folder $dir, removed on exit, and
# fail, which records a failure and lets the check go on to report the rest.
# For another architecture's package, EMULATOR is the command that runs its
# programs (qemu-aarch64 -L /usr/aarch64-linux-gnu) and TOOLS the prefix of
# its compiler and binutils (aarch64-linux-gnu-); both empty for this one.
EMULATOR=${EMULATOR:-}
TOOLS=${TOOLS:-}
dir=$(mktemp -d) || exit 2
trap 'rm -rf "$dir"' EXIT
failed=0

fail() {
  echo "FAILED: $*"
  failed=1
}

# What a package installs, unpacked into ROOT, as a user meets it: its tool
# must convert CAPTURE exactly as TOOL, the tree's own build, does and print
# the same banner, and its manual page must be where man looks, and render.
#   check_installed ROOT TOOL CAPTURE
check_installed() {
  installed=$1/usr/bin/trovconv
  page=$1/usr/share/man/man1/trovconv.1.gz
  mkdir "$dir/tree" "$dir/installed"
  cp "$3" "$dir/tree/x.dat"
  cp "$3" "$dir/installed/x.dat"
  $EMULATOR "$2" "$dir/tree/x.dat" || fail "the tree's tool failed"
  $EMULATOR "$installed" "$dir/installed/x.dat" ||
    fail "the installed tool failed"
  cmp "$dir/tree/x.tim" "$dir/installed/x.tim" ||
    fail "the installed tool converts differently"

  $EMULATOR "$2" 2>"$dir/tree/banner"
  $EMULATOR "$installed" 2>"$dir/installed/banner"
  [ $? = 1 ] || fail "the banner's status is not 1"
  cmp "$dir/tree/banner" "$dir/installed/banner" || fail "the banners differ"

  [ -f "$page" ] || fail "no manual page at usr/share/man/man1/trovconv.1.gz"
  found=$(man -M "$1/usr/share/man" -w trovconv) || fail "man -w"
  [ "$found" = "$page" ] || fail "man finds '$found', not the page"
  MANWIDTH=80 man -M "$1/usr/share/man" -P cat trovconv \
    >"$dir/rendered" 2>&1 || fail "man could not show the page"
  grep -q '^SYNOPSIS' "$dir/rendered" || fail "the rendered page has no SYNOPSIS"
  grep -q 'trovconv capture-file' "$dir/rendered" ||
    fail "the rendered page has no synopsis line"
}

# The hardening of the installed tool, as hardening-check (devscripts)
# judges it: yes on every line it can judge.
#   check_hardening BINARY
check_hardening() {
  hardening-check "$1" >"$dir/hardening"
  cat "$dir/hardening"
  for line in "Position Independent Executable: yes" "Stack protected: yes" \
    "Fortify Source functions: yes" "Read-only relocations: yes" \
    "Immediate binding: yes"; do
    grep -q " $line" "$dir/hardening" || fail "hardening-check: not '$line'"
  done
  # It recognises the stack probes of variable-sized frames only; the tool
  # has none, so it cannot judge.
  grep -Eq " Stack clash protection: (yes|unknown)" "$dir/hardening" ||
    fail "hardening-check: stack clash protection"
  # The linker marks a binary as built with control-flow protection only
  # when every object in it is, the C library's start files included.
  # hardening-check knows x86's marks; arm64's are read here, and its code
  # must sign return addresses whatever the start files are.
  start=$(${TOOLS}g++ -print-file-name=Scrt1.o)
  case $(readelf -h "$1" | sed -n 's/^ *Machine: *//p') in
  *X86-64*)
    mark='x86 feature: IBT, SHSTK'
    readelf -n "$start" | grep -q "$mark" &&
      { grep -q " Control flow integrity: yes" "$dir/hardening" ||
        fail "hardening-check: control flow integrity"; } ;;
  *AArch64*)
    mark='AArch64 feature: BTI, PAC'
    readelf -n "$start" | grep -q "$mark" &&
      { readelf -n "$1" | grep -q "$mark" || fail "no '$mark' mark"; }
    "${TOOLS}objdump" -d "$1" | grep -q paciasp ||
      fail "return addresses are not signed (-mbranch-protection)" ;;
  *) mark= ;;
  esac
  [ -n "$mark" ] && ! readelf -n "$start" | grep -q "$mark" &&
    echo "(control flow integrity: $start carries no '$mark' mark," \
      "so no binary linked with it can)"
  return 0
}
