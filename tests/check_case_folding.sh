#!/bin/sh
# A capture named x.TIM on the FUSE drivers of exFAT and FAT32, which give
# each spelling of a name an identity of its own: its timing name, x.tim,
# is the capture itself there, and the tool must refuse it, leaving the
# capture whole, as a fresh mount shows.
#   check_case_folding.sh TOOL CAPTURE
# Needs root, /dev/fuse, a loop device for exFAT, and the Debian packages
# exfat-fuse, exfatprogs, fusefat and dosfstools; exits 77 (skipped) when
# neither file system can be mounted here.
set -u
tool=$1
capture=$2
. "$(dirname "$0")/checks.sh"
loop=
trap 'umount "$dir/mnt" 2>/dev/null; [ -n "$loop" ] && losetup -d "$loop";
  rm -rf "$dir"' EXIT
mkdir "$dir/mnt"
mounted=0

# $1: the file system's name; the rest: the command that mounts it.
check_on() {
  name=$1
  shift
  if ! timeout 20 "$@" "$dir/mnt" >/dev/null 2>&1; then
    echo "$name: cannot be mounted here, not checked"
    return
  fi
  mounted=1
  cp "$capture" "$dir/mnt/x.TIM"
  timeout 60 "$tool" "$dir/mnt/x.TIM" 2>"$dir/err"
  status=$?
  printf '%s: status %s, message: %s\n' "$name" "$status" "$(cat "$dir/err")"
  [ "$status" = 1 ] || fail "$name: status $status"
  echo 'trovconv: timing file would overwrite the capture file' |
    cmp -s - "$dir/err" || fail "$name: message"
  umount "$dir/mnt"
  timeout 20 "$@" "$dir/mnt" >/dev/null 2>&1 || fail "$name: no second mount"
  cmp -s "$capture" "$dir/mnt/x.TIM" || fail "$name: capture changed"
  [ "$(ls "$dir/mnt")" = x.TIM ] || fail "$name: holds $(ls "$dir/mnt")"
  umount "$dir/mnt"
}

truncate -s 64M "$dir/exfat.img" && mkfs.exfat "$dir/exfat.img" >/dev/null &&
  loop=$(losetup -f --show "$dir/exfat.img" 2>/dev/null)
if [ -n "$loop" ]; then
  check_on exFAT mount.exfat-fuse "$loop"
else
  echo "exFAT: no loop device here, not checked"
fi
if truncate -s 64M "$dir/fat.img" && mkfs.vfat -F 32 "$dir/fat.img" >/dev/null
then
  check_on FAT32 fusefat -o rw+ "$dir/fat.img"
else
  echo "FAT32: cannot be made here, not checked"
fi

[ "$mounted" = 1 ] || exit 77
exit "$failed"
