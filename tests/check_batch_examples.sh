#!/bin/sh
# The cmd examples of README.md, taken from it as they stand, run under
# Wine's cmd at the prompt and from a batch file:
#   check_batch_examples.sh README.md TOOL.exe CAPTURE EXPECTED.tim WINE
# with Wine's environment (prefix and locale) set. Only the capture whose
# extension is .dat may be converted, beside names that merely begin with
# it, and a failed run and one that ends as an interrupted one does must
# both be reported.
set -u
readme=$1 tool=$2 capture=$3 expected=$4 wine=$5
. "$(dirname "$0")/checks.sh"

# The Nth indented block after the line that opens with "In cmd".
example() {
  awk -v want="$1" '/^In cmd/ { on = 1; next }
    on && /^    / { if (!inside) n++; inside = 1
                    if (n == want) print substr($0, 5); next }
    on && /^$/ { inside = 0; next }
    on && n { exit }' "$readme"
}
prompt=$(example 1)
batch=$(example 2)
if [ -z "$prompt" ] || [ -z "$batch" ]; then
  echo "FAILED: no two cmd examples after the line 'In cmd' in $readme"
  exit 1
fi
[ "$(printf '%s\n' "$prompt" | wc -l)" = 1 ] ||
  fail "the example for the prompt is not one line"

mkdir "$dir/bin"
cp "$tool" "$dir/bin/trovconv.exe"
WINEPATH=$(timeout 60 "$wine" winepath -w "$dir/bin" | tr -d '\r')
[ -n "$WINEPATH" ] || { echo "FAILED: winepath"; exit 1; }
export WINEPATH

# The stand-in for an interrupted run must end with a code cmd sees as
# negative, or the check below would prove nothing.
stand_in='cmd /c exit -1073741510'
printf '%s & if not errorlevel 0 echo negative\r\n' "$stand_in" |
  timeout 60 "$wine" cmd 2>&1 | grep -q '>negative' ||
  fail "'$stand_in' does not leave a negative errorlevel"

# run NAME FORM TEXT FILE...: TEXT in a fresh folder holding FILE...
# (x.dat not a capture, the others copies of CAPTURE), at the prompt or
# from a batch file; then its output, less cmd's prompts, is in NAME.out
# and the names of the files it made in NAME.new.
run() {
  name=$1
  how=$2
  commands=$3
  shift 3
  mkdir "$dir/$name"
  for file; do cp "$capture" "$dir/$name/$file"; done
  [ -e "$dir/$name/x.dat" ] && printf 'not a capture' >"$dir/$name/x.dat"
  if [ "$how" = prompt ]; then
    # Wine's cmd takes one line from a pipe, as if typed: a line given to
    # cmd /c would reach it with its quotes escaped.
    printf '%s\r\n' "$commands" |
      (cd "$dir/$name" && timeout 60 "$wine" cmd) >"$dir/$name.raw" 2>&1
  else
    printf '%s\n' "$commands" | sed 's/$/\r/' >"$dir/$name.bat"
    (cd "$dir/$name" && timeout 60 "$wine" cmd /c "..\\$name.bat") \
      </dev/null >"$dir/$name.raw" 2>&1
  fi
  [ $? = 124 ] && fail "$name: cmd did not end within 60 seconds"
  tr -d '\r' <"$dir/$name.raw" | sed 's/^[A-Za-z]:\\[^>]*>//; s/ *$//' \
    >"$dir/$name.out"
  (cd "$dir/$name" && ls) | grep -vxF "$(printf '%s\n' "$@")" \
    | tr '\n' ' ' >"$dir/$name.new"
}

# expect NAME MADE FAILED: the files that must have been made and the
# captures that must have been reported, each a list of names.
expect() {
  made=$(cat "$dir/$1.new")
  reported=$(sed -n 's/^failed: //p' "$dir/$1.out" | sort | tr '\n' ' ')
  [ "$made" = "$2" ] || fail "$1: made '$made', not '$2'"
  [ "$reported" = "$3" ] || fail "$1: reported failed '$reported', not '$3'"
  if [ -e "$dir/$1/foo.tim" ] && ! cmp -s "$expected" "$dir/$1/foo.tim"; then
    fail "$1: foo.tim is not $expected"
  fi
  [ "$made$reported" = "$2$3" ] || awk '{ print "  | " $0 }' "$dir/$1.raw"
}

for form in prompt batch; do
  eval "text=\$$form"
  printf '%s:\n%s\n' "$form" "$text"
  stopped=$(printf '%s\n' "$text" | sed "s|trovconv \"[^\"]*\"|$stand_in|")
  [ "$stopped" != "$text" ] || fail "$form: no 'trovconv \"...\"' to stand in for"

  run "$form-beside" "$form" "$text" foo.dat foo.data bar.dat2
  expect "$form-beside" "foo.tim " ""
  run "$form-longer" "$form" "$text" foo.data bar.dat2
  expect "$form-longer" "" ""
  run "$form-failed" "$form" "$text" foo.dat x.dat
  expect "$form-failed" "foo.tim " "x.dat "
  run "$form-stopped" "$form" "$stopped" foo.dat
  expect "$form-stopped" "" "foo.dat "
done

[ $failed = 0 ] && echo "the README's cmd examples do as they should"
exit $failed
