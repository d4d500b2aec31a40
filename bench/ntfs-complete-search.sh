#!/usr/bin/env bash
# The NTFS complete search over a 1 GiB disk whose partition table is lost:
# one NTFS partition (from sector 2048) holding FILES files (100,000 by
# default) in 100 folders, its MBR zeroed. `vtctl recover DISK --engines
# ntfs` (the scan, the settlement and the tree of the partition) is timed
# in the same run against testdisk's deep search of the same image
# (`testdisk /log /cmd IMG partition_i386,analyze,search`, a peer that finds
# the same partition) and against `dd if=IMG of=/dev/null bs=4M
# iflag=direct` (the floor any scan pays). One warm-up round, then ROUNDS
# rounds (default 3) in alternating order; prints the minimum and median of
# the per-round ratios (ours / testdisk, ours / dd).
#
#   bash bench/ntfs-complete-search.sh [BUILD_DIR] [FILES] [ROUNDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/bench-lib.sh"
build=$(cd "${1:-build}" && pwd)
bench_init ntfs-complete-search "$build"
files=${2:-100000}
for need in "$vtctl" mkntfs ntfs-3g sfdisk testdisk; do
  command -v "$need" >/dev/null || { echo "ntfs-complete-search: skipped (needs $need)"; exit 0; }
done
[ -e /dev/fuse ] || { echo "ntfs-complete-search: skipped (needs /dev/fuse)"; exit 0; }

image=$bench_work/disk.img
volume=$bench_work/volume.img
mnt=$bench_work/mnt
truncate -s 1023M "$volume"
mkntfs -q -F -Q -c 4096 -L Bench "$volume" >/dev/null
mkdir -p "$mnt"
ntfs-3g "$volume" "$mnt"
bench_mounts+=("$mnt")
for ((d = 0; d < 100; d++)); do mkdir "$mnt/dir$d"; done
for ((i = 0; i < files; i++)); do printf 'file %d\n' "$i" >"$mnt/dir$((i % 100))/file-$i.txt"; done
umount "$mnt"
truncate -s 1G "$image"
printf 'label: dos\nstart=2048, type=7\n' | sfdisk -q "$image" >/dev/null
dd if="$volume" of="$image" bs=1M seek=1 conv=notrunc,sparse status=none
rm -f "$volume"
# The partition table is lost.
dd if=/dev/zero of="$image" bs=512 count=1 conv=notrunc status=none
sync "$image"

listed=$(VANTOREL_DISKS=$image "$vtctl" recover 0 --engines ntfs | awk -F'\t' '$1 == "node" && $2 == 1' | wc -l)
[ "$listed" -ge "$files" ] || { echo "ntfs-complete-search: $listed nodes for $files files" >&2; exit 1; }

tdwork=$bench_work/testdisk
mkdir -p "$tdwork"
bench_side() {
  case $1 in
    ours) side_time=$(VANTOREL_DISKS=$image bench_time "$vtctl" recover 0 --engines ntfs) ;;
    testdisk) side_time=$(cd "$tdwork" && bench_time testdisk /log /cmd "$image" partition_i386,analyze,search) ;;
    dd) side_time=$(bench_time dd if="$image" of=/dev/null bs=4M iflag=direct status=none) ;;
  esac
}

bench_rounds 1 "${3:-3}" ours testdisk dd
bench_report "NTFS complete search, 1 GiB, $files files, vs testdisk search" 1.0 \
  "${bench_times[ours]}" "${bench_times[testdisk]}"
bench_report "NTFS complete search, 1 GiB, $files files, vs dd iflag=direct" 2.0 \
  "${bench_times[ours]}" "${bench_times[dd]}"
