#!/bin/sh
# Signs a release with the key KEYID: detached, armored signatures of its
# sums and of its source archive, SHA256SUMS.asc and trovconv-VERSION.tar.gz.asc:
#   sign.sh RELEASE KEYID
# Every package is covered by the sums it is listed in.
set -eu
cd "$1"
for file in SHA256SUMS "trovconv-$(sed -n '1s/^trovconv //p' BUILDINFO).tar.gz"; do
  timeout 120 gpg --batch --yes --armor --local-user "$2" --detach-sign \
    --output "$file.asc" "$file"
done
