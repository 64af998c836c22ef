# Sourced by the shell checks: a scratch folder $dir, removed on exit, and
# fail, which records a failure and lets the check go on to report the rest.
dir=$(mktemp -d) || exit 2
trap 'rm -rf "$dir"' EXIT
failed=0

fail() {
  echo "FAILED: $*"
  failed=1
}
