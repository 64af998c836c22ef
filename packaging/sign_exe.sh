#!/bin/sh
# Gives a release's Windows executable its Authenticode signature, in
# place. With a certificate (PKCS#12) and the file holding its passphrase,
# signs EXE (SHA-256) and writes the signature, detached, to SIGNATURE, to
# be published beside the release; a timestamp is asked of a server only
# when one is named, so that no release needs the network unasked:
#   sign_exe.sh EXE SIGNATURE CERT PASSFILE [TIMESTAMP_URL]
# With no certificate, attaches SIGNATURE, the published one, to EXE made
# again from the source archive, which gives the published executable:
#   sign_exe.sh EXE SIGNATURE
# The signing time is SOURCE_DATE_EPOCH, as is every time in a release.
set -eu
exe=$1
signature=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ $# -ge 4 ]; then
  set -- -pkcs12 "$3" -readpass "$4" ${5:+-ts "$5"}
  timeout 300 osslsigncode sign "$@" -h sha256 -time "$SOURCE_DATE_EPOCH" \
    -in "$exe" -out "$work/signed.exe" >"$work/log" 2>&1 ||
    { cat "$work/log" >&2; exit 1; }
  timeout 60 osslsigncode extract-signature -in "$work/signed.exe" \
    -out "$signature" >"$work/log" 2>&1 || { cat "$work/log" >&2; exit 1; }
else
  # Attaching verifies too, against this system's authorities, which may
  # not know the signer, nor find the certificate valid years later when
  # the signature has no timestamp: its status says nothing of the bytes.
  # What does: the executable must carry exactly that signature, over a
  # digest of its own bytes.
  timeout 60 osslsigncode attach-signature -sigin "$signature" -in "$exe" \
    -out "$work/signed.exe" >"$work/log" 2>&1 || true
  timeout 60 osslsigncode extract-signature -in "$work/signed.exe" \
    -out "$work/attached.sig" >>"$work/log" 2>&1 &&
    cmp -s "$signature" "$work/attached.sig" ||
    { cat "$work/log" >&2; echo "sign_exe.sh: $signature could not be" \
      "attached" >&2; exit 1; }
  timeout 60 osslsigncode verify -in "$work/signed.exe" >"$work/verdict" \
    2>&1 || true
  digest() { sed -n "s/^$1 message digest *: *\([0-9A-F]*\).*/\1/p" \
    "$work/verdict"; }
  [ -n "$(digest Current)" ] && [ "$(digest Current)" = "$(digest Calculated)" ] ||
    { cat "$work/verdict" >&2; echo "sign_exe.sh: $signature is not the" \
      "signature of $exe" >&2; exit 1; }
fi
# Copied over, the executable keeps its mode, which the .zip records.
cp "$work/signed.exe" "$exe"
