#!/bin/sh
# The examples of README.md, taken from it as they stand:
#   check_batch_examples.sh README.md PAGE TOOL CAPTURE EXPECTED.tim [WINE]
# Without WINE: the manual page PAGE (its source) shows the same commands,
# the sample timing file is EXPECTED's start, and the bash examples name
# each capture that fails, go on past a run a signal ended alone, and
# stop, as a terminal's Ctrl-C stops them. With WINE (its environment set):
# the cmd examples, run under Wine's cmd at the prompt and from a batch
# file, convert only the capture whose extension is .dat, beside names
# that merely begin with it, and report a failed run and one that ends as
# an interrupted one does.
set -u
readme=$1 page=$2 tool=$3 capture=$4 expected=$5 wine=${6:-}
. "$(dirname "$0")/checks.sh"

# The indented blocks of README's section "## Use", or the .EX blocks of
# the page with its escapes undone, each followed by a line "--"; less the
# transcripts, which differ by nature.
readme_blocks() {
  awk '/^## / { on = ($0 == "## Use"); next }
    on && /^    / { text = text substr($0, 5) "\n"; next }
    on && /^$/ && text != "" { blocks[++n] = text; text = "" }
    END { if (text != "") blocks[++n] = text
          for (i = 1; i <= n; i++) printf "%s--\n", blocks[i] }' "$readme" |
    awk 'BEGIN { RS = "--\n"; ORS = "--\n" } !/^(\$ |C:)/' -
}
page_blocks() {
  sed -n '/^\.SH EXAMPLES/,$p' "$page" |
    sed -n '/^\.EX/,/^\.EE/{ /^\.EX/d; s/^\.EE$/--/; p; }' |
    sed 's/\\-/-/g; s/\\(aq/'"'"'/g; s/\\&//g; s/\\e/\\/g' |
    awk 'BEGIN { RS = "--\n"; ORS = "--\n" } !/^(\$ |C:)/' -
}

# batch NAME COMMAND FILE...: COMMAND run by bash in a fresh folder holding
# captures/FILE... (x.dat not a capture, the others copies of CAPTURE),
# with the stand-in below as trovconv, in a process group of its own as a
# terminal would give it; then its standard error is in NAME.err, its
# status in NAME.status, and the names of the files it made in NAME.new.
batch() {
  name=$1
  command=$2
  shift 2
  mkdir -p "$dir/$name/captures"
  for file; do cp "$capture" "$dir/$name/captures/$file"; done
  [ -e "$dir/$name/captures/x.dat" ] &&
    printf 'not a capture' >"$dir/$name/captures/x.dat"
  (cd "$dir/$name" && PATH=$dir/bin:$PATH timeout 60 setsid -w \
    bash -c "$command" 2>"$dir/$name.err")
  echo $? >"$dir/$name.status"
  (cd "$dir/$name/captures" && ls) | grep -vxF "$(printf '%s\n' "$@")" |
    tr '\n' ' ' >"$dir/$name.new"
}

# check_batch NAME MADE FAILED STATUS: the files made ("?" for any), the
# captures named as failed, and the status.
check_batch() {
  made=$(cat "$dir/$1.new")
  named=$(sed -n 's/^failed: //p' "$dir/$1.err" | sed 's|.*/||' | sort |
    tr '\n' ' ')
  [ "$made" = "$2" ] || [ "$2" = "?" ] || fail "$1: made '$made', not '$2'"
  [ "$named" = "$3" ] || fail "$1: named as failed '$named', not '$3'"
  [ "$(cat "$dir/$1.status")" = "$4" ] ||
    fail "$1: status $(cat "$dir/$1.status"), not $4"
  for made in "$dir/$1"/captures/*.tim; do
    [ -e "$made" ] || continue
    cmp -s "$expected" "$made" || fail "$1: $made is not $expected"
  done
}

if [ -z "$wine" ]; then
  readme_blocks >"$dir/readme"
  page_blocks >"$dir/page"
  [ -s "$dir/readme" ] || fail "no examples under '## Use' in $readme"
  diff "$dir/readme" "$dir/page" ||
    fail "the page's examples are not README's (< README, > page)"
  awk '/^A timing file starts like this/ { on = 1; next }
    on && /^    / { print substr($0, 5); next } on && /^$/ && n++ { exit }' \
    "$readme" >"$dir/sample"
  head -n 6 "$expected" | tr -d '\r' | cmp -s - "$dir/sample" ||
    fail "README's sample timing file is not the start of $expected"

  # The stand-in: the tool itself, but for a capture named stop*, whose run
  # a signal ends, as kill or timeout would, or ctrl-c*, whose run sends
  # SIGINT to its whole process group, as a terminal's Ctrl-C does.
  mkdir "$dir/bin"
  real=$(cd "$(dirname "$tool")" && pwd)/$(basename "$tool")
  printf '%s\n' '#!/bin/sh' 'case ${1##*/} in' 'stop*) kill -TERM $$ ;;' \
    'ctrl-c*) kill -INT 0 ;;' 'esac' "exec '$real' \"\$1\"" \
    >"$dir/bin/trovconv"
  chmod +x "$dir/bin/trovconv"
  loop=$(readme_blocks | grep '^for f in \*\.dat; do')
  parallel=$(readme_blocks | grep '^find captures .*| xargs ')
  [ -n "$loop" ] || fail "no 'for f in *.dat; do' loop in $readme"
  [ -n "$parallel" ] || fail "no 'find captures ... | xargs' line in $readme"
  loop="cd captures && $loop"
  batch loop-bad "$loop" a.dat b.dat x.dat
  check_batch loop-bad "a.tim b.tim " "x.dat " 0
  batch loop-stopped "$loop" a.dat stop.dat z.dat
  check_batch loop-stopped "a.tim z.tim " "stop.dat " 0
  batch loop-ctrl-c "$loop" a.dat ctrl-c.dat z.dat
  check_batch loop-ctrl-c "a.tim " "" 130
  batch parallel-bad "$parallel" a.dat b.dat x.dat c.dat d.dat e.dat
  check_batch parallel-bad "a.tim b.tim c.tim d.tim e.tim " "x.dat " 123
  batch parallel-stopped "$parallel" a.dat stop.dat z.dat
  check_batch parallel-stopped "a.tim z.tim " "stop.dat " 123
  # Runs started at once may have ended before the Ctrl-C.
  batch parallel-ctrl-c "$parallel" a.dat ctrl-c.dat z.dat
  check_batch parallel-ctrl-c "?" "" 130
  [ $failed = 0 ] && echo "README's examples are the page's, and do as they say"
  exit $failed
fi

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
  [ "$made" = "$2" ] || [ "$2" = "?" ] || fail "$1: made '$made', not '$2'"
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
