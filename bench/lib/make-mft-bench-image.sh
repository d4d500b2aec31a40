#!/usr/bin/env bash
# make-mft-bench-image.sh IMAGE [RECORDS]
# An NTFS image (mkntfs, 4 KiB clusters) whose $MFT holds about RECORDS
# records (default 100000), half of them deleted: RECORDS empty files are
# written through ntfs-3g in folders of 1000, then every other one removed.
set -euo pipefail
image=$1 records=${2:-100000}
tmp="$image.tmp"
rm -f "$tmp"
truncate -s 512M "$tmp"
mkntfs -F -Q -c 4096 -L mftbench "$tmp" >/dev/null 2>&1
mnt=$(mktemp -d)
cleanup() { mountpoint -q "$mnt" && umount "$mnt"; rmdir "$mnt"; }
trap cleanup EXIT
ntfs-3g "$tmp" "$mnt"
for ((d = 0; d * 1000 < records; d++)); do
  mkdir "$mnt/d$d"
  for ((i = 0; i < 1000; i++)); do
    printf 'file %d %d\n' "$d" "$i" > "$mnt/d$d/deleted_or_kept_name_$i.txt"
  done
done
for ((d = 0; d * 1000 < records; d++)); do
  (cd "$mnt/d$d" && rm deleted_or_kept_name_{0..998..2}.txt)
done
umount "$mnt"
mv "$tmp" "$image"
