#!/bin/sh
# Checks the Authenticode signing of `make release WINCERT=...` as
# packaging/sign_exe.sh does it, with a throwaway self-signed certificate,
# on the executable of RELEASE, an unsigned release (as one made again from
# its source archive has it):
#   check_authenticode.sh RELEASE
# Signed, it must verify against that certificate, with a SHA-256 digest
# and the release's time as its signing time, and fail to once a byte of
# its code is changed; its detached signature, attached to the unsigned
# executable as `make release WINSIG=...` does it, must give the signed
# executable to the byte, and attached to a changed one, be refused.
set -u
release=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/tests/checks.sh"
top=trovconv-$(sed -n '1s/^trovconv //p' "$release/BUILDINFO")-win64
SOURCE_DATE_EPOCH=$(sed -n 's/^SOURCE_DATE_EPOCH: //p' "$release/BUILDINFO")
export SOURCE_DATE_EPOCH
if [ -e "$release/$top.exe.sig" ]; then
  echo "$release is signed: this check signs an unsigned one"
  exit 2
fi
unzip -p "$release/$top.zip" "$top/trovconv.exe" >"$dir/unsigned.exe" ||
  exit 2

# A certificate for code signing, and its passphrase in a file, as a
# release's would come.
echo throwaway >"$dir/passphrase"
timeout 120 openssl req -x509 -newkey rsa:3072 -nodes -days 2 \
  -subj '/CN=trovconv release check' -addext extendedKeyUsage=codeSigning \
  -keyout "$dir/key.pem" -out "$dir/certificate.pem" 2>/dev/null &&
  timeout 60 openssl pkcs12 -export -inkey "$dir/key.pem" \
    -in "$dir/certificate.pem" -passout "file:$dir/passphrase" \
    -out "$dir/certificate.pfx" ||
  { fail "no certificate could be made"; exit 1; }

cp "$dir/unsigned.exe" "$dir/signed.exe" || exit 2
sh "$root/packaging/sign_exe.sh" "$dir/signed.exe" "$dir/$top.exe.sig" \
  "$dir/certificate.pfx" "$dir/passphrase" || fail "sign_exe.sh failed"

# verify NAME: osslsigncode's verdict on $dir/NAME, in $dir/verdict.
verify() {
  echo "\$ osslsigncode verify -CAfile certificate.pem -in $1"
  (cd "$dir" && timeout 60 osslsigncode verify -CAfile certificate.pem \
    -in "$1") >"$dir/verdict" 2>&1
}
verify signed.exe || fail "the signed executable does not verify"
cat "$dir/verdict"
grep -qx 'Signature verification: ok' "$dir/verdict" || fail "not verified"
grep -qx 'Message digest algorithm *: SHA256' "$dir/verdict" ||
  fail "not a SHA-256 digest"
time=$(LC_ALL=C date -u -d "@$SOURCE_DATE_EPOCH" '+%b %e %H:%M:%S %Y GMT')
grep -qxF "	Signing time: $time" "$dir/verdict" ||
  fail "the signing time is not SOURCE_DATE_EPOCH, $time"

# A byte of the code, past the headers, turned into its complement.
cp "$dir/signed.exe" "$dir/changed.exe" || exit 2
byte=$(od -An -tu1 -j 2000 -N 1 "$dir/changed.exe" | tr -d ' ')
printf "\\$(printf %03o $((255 - byte)))" |
  dd of="$dir/changed.exe" bs=1 seek=2000 conv=notrunc 2>/dev/null
cmp -s "$dir/signed.exe" "$dir/changed.exe" && fail "no byte changed"
verify changed.exe && fail "verifies with the 2001st byte changed"
grep -E 'message digest|Signature verification' "$dir/verdict"

cp "$dir/unsigned.exe" "$dir/attached.exe" || exit 2
sh "$root/packaging/sign_exe.sh" "$dir/attached.exe" "$dir/$top.exe.sig" ||
  fail "sign_exe.sh could not attach the signature"
echo "\$ cmp signed.exe attached.exe"
cmp "$dir/signed.exe" "$dir/attached.exe" ||
  fail "the unsigned executable with the signature attached is another"

# Attached to another executable, the signature must be refused.
cp "$dir/unsigned.exe" "$dir/other.exe" || exit 2
printf 'X' | dd of="$dir/other.exe" bs=1 seek=2000 conv=notrunc 2>/dev/null
sh "$root/packaging/sign_exe.sh" "$dir/other.exe" "$dir/$top.exe.sig" \
  2>/dev/null && fail "the signature attaches to a changed executable"

[ $failed = 0 ] && echo "Authenticode: the signed executable verifies, a" \
  "changed one does not, and the detached signature gives it again"
exit $failed
