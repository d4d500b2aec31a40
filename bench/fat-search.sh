#!/usr/bin/env bash
# The FAT complete search end to end: `vtctl recover 0 --engines fat` over a
# 1 GiB disk (MBR, one FAT32 partition from 1 MiB holding 50,000 files in
# folders of 200, a tenth of them deleted; the rest of the disk random
# bytes), with only the FAT search registered, against testdisk's partition
# search (`testdisk /log /cmd IMAGE partition_i386,analyze,search`) and
# against `dd if=IMAGE of=/dev/null bs=4M iflag=direct`, in the same run.
# One warm-up round, then ROUNDS rounds (default 3) in alternating order;
# prints the minimum and median of both per-round ratios.
#
#   bash bench/fat-search.sh [BUILD_DIR] [FILES] [ROUNDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/bench-lib.sh"
build=$(cd "${1:-build}" && pwd)
bench_init fat-search "$build"
files=${2:-50000}
for need in mkfs.fat mcopy mdel sfdisk testdisk; do
  command -v "$need" >/dev/null || { echo "fat-search: skipped (needs $need)"; exit 0; }
done

image=$bench_work/disk.img
# Real bytes, not holes: a sparse image would read faster than a disk.
head -c 1G /dev/urandom >"$image"
printf 'label: dos\nstart=2048, type=c\n' | sfdisk -q "$image"
sectors=$(( (1 << 21) - 2048 ))
mkfs.fat -F 32 -s 8 -n BENCH --offset 2048 "$image" $((sectors / 2)) >/dev/null
bench_fat_fill "$image@@1M" "$files"
sync "$image"
listed=$(VANTOREL_DISKS=$image VANTOREL_PROGRAM_DIR=$bench_work "$vtctl" recover 0 --engines fat 2>/dev/null | grep -c '^node' || true)
echo "fat-search: $listed nodes listed"
bench_search_vs_testdisk_dd "$image" fat "FAT complete search, 1 GiB disk, $files files" "${3:-3}"
