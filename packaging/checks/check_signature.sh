#!/bin/sh
# Checks `make release SIGN=KEYID` as packaging/sign.sh does it, with a
# throwaway key, and as README.md tells users to check it: its `gpg` lines,
# run as written in the signed copy of RELEASE's sums and source archive,
# with a GNUPGHOME of their own that has only the exported public key, must
# show the signer's fingerprint and verify both files, with gpg's warning
# that the key is not certified (README explains it); and fail to once a
# byte of either is changed:
#   check_signature.sh RELEASE
set -u
release=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/tests/checks.sh"
signer=$dir/signer
user=$dir/user
mkdir -m 700 "$signer" "$user"
mkdir "$dir/release"
trap 'for home in "$signer" "$user"; do
  GNUPGHOME=$home gpgconf --kill all 2>/dev/null; done; rm -rf "$dir"' EXIT
source=trovconv-$(sed -n '1s/^trovconv //p' "$release/BUILDINFO").tar.gz
cp "$release/BUILDINFO" "$release/SHA256SUMS" "$release/$source" \
  "$dir/release/" || exit 2

GNUPGHOME=$signer
export GNUPGHOME
timeout 120 gpg --batch --quiet --passphrase '' --quick-gen-key \
  'trovconv release check <check@example.org>' ed25519 sign never ||
  { fail "no key could be made"; exit 1; }
key=$(gpg --batch --with-colons --list-keys |
  awk -F: '/^fpr:/ { print $10; exit }')
sh "$root/packaging/sign.sh" "$dir/release" "$key" ||
  fail "sign.sh failed"

# The user's side: README's lines, in a home that never saw the secret key.
GNUPGHOME=$user
echo batch >"$user/gpg.conf"
sed -n 's/^    \(gpg .*\)/\1/p' "$root/README.md" >"$dir/lines"
grep -q '^gpg --show-keys ' "$dir/lines" ||
  fail "README has no 'gpg --show-keys'"
for file in SHA256SUMS "$source"; do
  grep -qxF "gpg --verify $file.asc $file" "$dir/lines" ||
    fail "README has no 'gpg --verify $file.asc $file'"
done
# run LINE OUTPUT: a line as a user runs it, in the release's folder.
run() {
  (cd "$dir/release" && timeout 60 sh -c "$1") </dev/null >"$2" 2>&1
}
n=0
while read -r line; do
  n=$((n + 1))
  echo "\$ $line"
  run "$line" "$dir/out$n" || fail "$line"
  cat "$dir/out$n"
  case $line in
  *--show-keys*)
    grep -q "$key" "$dir/out$n" || fail "no fingerprint $key shown" ;;
  *--verify*)
    grep -q 'Good signature' "$dir/out$n" || fail "no good signature"
    grep -q 'This key is not certified with a trusted signature!' \
      "$dir/out$n" || fail "no warning of a key not certified" ;;
  esac
done <"$dir/lines"
gpg --with-colons --list-secret-keys | grep . && fail "a secret key is there"

grep '^gpg --verify ' "$dir/lines" >"$dir/verify"
while read -r line; do
  file=${line##* }
  printf 'X' | dd of="$dir/release/$file" bs=1 seek=100 conv=notrunc \
    2>/dev/null
  echo "\$ $line, with the 101st byte of $file changed:"
  run "$line" "$dir/out" && fail "$file verifies changed"
  cat "$dir/out"
  grep -q 'Good signature' "$dir/out" && fail "$file changed: a good signature"
done <"$dir/verify"

[ $failed = 0 ] &&
  echo "signatures: README's lines verify the good files, not the changed"
exit $failed
