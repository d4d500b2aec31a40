#!/usr/bin/env bash
# The Ext2 complete search, end to end: `vtctl recover 0 --engines ext2`
# (only that search registered) over a 1 GiB disk of real bytes holding, at
# sector 2048, an ext4 file system (Debian's defaults) with FILES files
# (50,000 by default) in 100 folders, against testdisk's
# `partition_i386,analyze,search` of the same image and against
# `dd if=IMAGE of=/dev/null bs=4M iflag=direct` (the read floor), in the
# same run. Before each side the image's cached pages are dropped. One
# warm-up round, then ROUNDS rounds (default 3) in alternating order; prints
# the minimum and median of both per-round ratios.
#
#   bash bench/ext2-complete-search.sh [BUILD_DIR] [FILES] [ROUNDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/bench-lib.sh"
build=$(cd "${1:-build}" && pwd)
bench_init ext2-complete-search "$build"
files=${2:-50000}
vtctl=$build/bin/vtctl
for need in "$vtctl" mke2fs testdisk; do
  command -v "$need" >/dev/null || { echo "ext2-complete-search: skipped (needs $need)"; exit 0; }
done

src=$bench_work/src
fs=$bench_work/ext4.img
image=$bench_work/disk.img
bench_many_files "$src" "$files"
truncate -s 512M "$fs"
mke2fs -q -F -t ext4 -T default -N $((files + 4096)) -d "$src" "$fs"
rm -rf "$src"
# Real bytes, not holes: a sparse image would read faster than a disk.
head -c 1G /dev/urandom >"$image"
dd if="$fs" of="$image" bs=1M seek=1 conv=notrunc status=none
rm -f "$fs"
sync "$image"
if ! dd if="$image" of=/dev/null bs=4M count=1 iflag=direct status=none 2>/dev/null; then
  echo "ext2-complete-search: skipped (the work folder takes no direct I/O)"
  exit 0
fi
program=$bench_work/program
mkdir -p "$program"
nodes=$(VANTOREL_DISKS=$image VANTOREL_PROGRAM_DIR=$program "$vtctl" recover 0 --engines ext2 | grep -c '^node' || true)
[ "$nodes" -ge "$files" ] || { echo "ext2-complete-search: $nodes nodes for $files files" >&2; exit 1; }

bench_side() {
  dd if="$image" iflag=nocache count=0 status=none
  case $1 in
    ours) side_time=$(VANTOREL_DISKS=$image VANTOREL_PROGRAM_DIR=$program bench_time "$vtctl" recover 0 --engines ext2) ;;
    testdisk) side_time=$(cd "$bench_work" && bench_time testdisk /log /cmd "$image" partition_i386,analyze,search) ;;
    dd) side_time=$(bench_time dd if="$image" of=/dev/null bs=4M iflag=direct status=none) ;;
  esac
}

bench_rounds 1 "${3:-3}" ours testdisk dd
bench_report "complete search 1 GiB, ext4 with $files files ($nodes nodes), vs testdisk search" 1.0 \
  "${bench_times[ours]}" "${bench_times[testdisk]}"
bench_report "complete search 1 GiB, ext4 with $files files, vs dd iflag=direct" 2.0 \
  "${bench_times[ours]}" "${bench_times[dd]}"
