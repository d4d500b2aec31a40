#!/usr/bin/env bash
# The exFAT complete search end to end: `vtctl recover 0 --engines exfat`
# over a 1 GiB disk (MBR, one exFAT partition from 1 MiB, 4 KiB clusters,
# holding FILES files (20,000 by default) in 100 folders written through
# exfat-fuse; the rest of the disk random bytes), with only the exFAT
# searches registered, against testdisk's partition search (`testdisk /log
# /cmd IMAGE partition_i386,analyze,search`) and against `dd if=IMAGE
# of=/dev/null bs=4M iflag=direct`, in the same run. One warm-up round,
# then ROUNDS rounds (default 3) in alternating order; prints the minimum
# and median of both per-round ratios.
#
#   bash bench/exfat-search.sh [BUILD_DIR] [FILES] [ROUNDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/bench-lib.sh"
build=$(cd "${1:-build}" && pwd)
bench_init exfat-search "$build"
files=${2:-20000}
for need in mkfs.exfat mount.exfat-fuse losetup sfdisk testdisk; do
  command -v "$need" >/dev/null || { echo "exfat-search: skipped (needs $need)"; exit 0; }
done

image=$bench_work/disk.img
mnt=$bench_work/mnt
mkdir -p "$mnt"
# Real bytes, not holes: a sparse image would read faster than a disk.
head -c 1G /dev/urandom >"$image"
printf 'label: dos\nstart=2048, size=1048576, type=7\n' | sfdisk -q "$image"
# exfat-fuse run by root mounts block devices only: the partition is made
# and filled on a loop device over its extent.
loop=$(losetup -f --show -o $((2048 * 512)) --sizelimit $((1048576 * 512)) "$image")
bench_loops+=("$loop")
bench_exfat_fill "$loop" "$mnt" "$files"
losetup -d "$loop"
bench_loops=()
sync "$image"
listed=$(VANTOREL_DISKS=$image VANTOREL_PROGRAM_DIR=$bench_work "$vtctl" recover 0 --engines exfat 2>/dev/null |
  grep -c '^node' || true)
echo "exfat-search: $listed nodes listed"
[ "$listed" -ge "$files" ] || { echo "exfat-search: $listed nodes for $files files" >&2; exit 1; }
bench_search_vs_testdisk_dd "$image" exfat "exFAT complete search, 1 GiB disk, $files files" "${3:-3}"
