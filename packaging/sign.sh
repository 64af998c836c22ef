#!/bin/sh
# Signs a release with the key KEYID: detached, armored signatures of its
# sums and of its source archive, SHA256SUMS.asc and trovconv-VERSION.tar.gz.asc,
# and the key's public part beside them, trovconv-signing-key.asc, for users
# to check against the fingerprint published apart from the files:
#   sign.sh RELEASE KEYID
# Every package is covered by the sums it is listed in.
set -eu
cd "$1"
# gpg exports nothing, and says so, for a key it does not have, yet
# succeeds.
timeout 60 gpg --batch --yes --armor --output trovconv-signing-key.asc \
  --export "$2"
if [ ! -s trovconv-signing-key.asc ]; then
  echo "sign.sh: no public key $2 to export" >&2
  exit 1
fi
for file in SHA256SUMS "trovconv-$(sed -n '1s/^trovconv //p' BUILDINFO).tar.gz"; do
  timeout 120 gpg --batch --yes --armor --local-user "$2" --detach-sign \
    --output "$file.asc" "$file"
done
