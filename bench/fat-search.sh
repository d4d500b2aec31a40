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
if ! dd if="$image" of=/dev/null bs=4M count=1 iflag=direct status=none 2>/dev/null; then
  echo "fat-search: skipped (the work folder takes no direct I/O)"
  exit 0
fi
progdir=$bench_work/program
mkdir -p "$progdir"

bench_side() {
  case $1 in
    ours)
      side_time=$(VANTOREL_DISKS=$image VANTOREL_PROGRAM_DIR=$progdir bench_time "$vtctl" recover 0 --engines fat) ;;
    testdisk)
      side_time=$( (cd "$bench_work" && bench_time testdisk /log /cmd "$image" partition_i386,analyze,search)) ;;
    dd) side_time=$(bench_time dd if="$image" of=/dev/null bs=4M iflag=direct status=none) ;;
  esac
}

bench_rounds 1 "${3:-3}" ours testdisk dd
listed=$(VANTOREL_DISKS=$image VANTOREL_PROGRAM_DIR=$progdir "$vtctl" recover 0 --engines fat 2>/dev/null | grep -c '^node' || true)
echo "fat-search: $listed nodes listed"
bench_report "FAT complete search, 1 GiB disk, $files files, vs testdisk search" 1.0 "${bench_times[ours]}" \
  "${bench_times[testdisk]}"
bench_report "FAT complete search, 1 GiB disk, $files files, vs dd iflag=direct" 2.0 "${bench_times[ours]}" \
  "${bench_times[dd]}"
