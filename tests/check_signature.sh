#!/bin/sh
# Checks `make release SIGN=KEYID` as packaging/sign.sh does it, with a
# throwaway key in a scratch GNUPGHOME: the signatures of a copy of
# RELEASE's sums and source archive must verify, and fail to once a byte of
# either is changed:
#   check_signature.sh RELEASE
set -u
release=$(cd "$1" && pwd)
here=$(dirname "$0")
. "$here/checks.sh"
GNUPGHOME=$dir/gnupg
export GNUPGHOME
mkdir -m 700 "$GNUPGHOME" "$dir/release"
trap 'gpgconf --kill all 2>/dev/null; rm -rf "$dir"' EXIT
source=trovconv-$(sed -n '1s/^trovconv //p' "$release/BUILDINFO").tar.gz
cp "$release/BUILDINFO" "$release/SHA256SUMS" "$release/$source" \
  "$dir/release/" || exit 2

timeout 120 gpg --batch --quiet --passphrase '' --quick-gen-key \
  'trovconv release check <check@example.org>' ed25519 sign never ||
  { fail "no key could be made"; exit 1; }
key=$(gpg --batch --with-colons --list-keys | awk -F: '/^fpr:/ { print $10; exit }')
sh "$(dirname "$here")/packaging/sign.sh" "$dir/release" "$key" ||
  fail "sign.sh failed"

for file in SHA256SUMS "$source"; do
  echo "$file, as signed:"
  timeout 60 gpg --batch --verify "$dir/release/$file.asc" \
    "$dir/release/$file" || fail "$file does not verify"
  printf 'X' | dd of="$dir/release/$file" bs=1 seek=100 conv=notrunc \
    2>/dev/null
  echo "$file, with its 101st byte changed:"
  timeout 60 gpg --batch --verify "$dir/release/$file.asc" \
    "$dir/release/$file" && fail "$file verifies changed"
done

[ $failed = 0 ] && echo "signatures: the good files verify, the changed not"
exit $failed
