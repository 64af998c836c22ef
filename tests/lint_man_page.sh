#!/bin/sh
# The manual page must format without a single warning:
#   lint_man_page.sh PAGE
# groff is required; mandoc's stricter lint runs where it is installed.
# Exits 77 (skipped) when there is no groff.
set -u
page=$1
command -v groff >/dev/null || {
  echo "groff not found (Debian package: groff-base)"
  exit 77
}
failed=0
out=$(groff -man -ww -z "$page" 2>&1)
if [ -n "$out" ]; then
  printf 'groff -man -ww -z:\n%s\n' "$out"
  failed=1
fi
if command -v mandoc >/dev/null; then
  if ! out=$(mandoc -Tlint "$page" 2>&1) || [ -n "$out" ]; then
    printf 'mandoc -Tlint:\n%s\n' "$out"
    failed=1
  fi
else
  echo "mandoc not found: only groff checked"
fi
exit $failed
