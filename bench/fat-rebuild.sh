#!/usr/bin/env bash
# The directory rebuild of a FAT32 volume holding 50,000 files in folders
# of 200 (a tenth of them deleted), through build/bench/fat_rebuild (the
# directory-start pass over the data area, then the rebuild with runs for
# every file), against sleuthkit's `fls -r -p` of the same image, in the
# same run. One warm-up round, then ROUNDS rounds (default 3) in
# alternating order; prints the minimum and median of the per-round ratio.
#
#   bash bench/fat-rebuild.sh [BUILD_DIR] [FILES] [ROUNDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/bench-lib.sh"
build=$(cd "${1:-build}" && pwd)
bench_init fat-rebuild "$build"
files=${2:-50000}
tool=$build/bench/fat_rebuild
for need in "$tool" mkfs.fat mcopy mdel fls; do
  command -v "$need" >/dev/null || { echo "fat-rebuild: skipped (needs $need)"; exit 0; }
done

image=$bench_work/fat32.img
truncate -s 1G "$image"
mkfs.fat -F 32 -s 8 -n BENCH "$image" >/dev/null
bench_fat_fill "$image" "$files"

bench_side() {
  case $1 in
    ours) side_time=$(bench_time "$tool" "$image") ;;
    fls) side_time=$(bench_time fls -r -p "$image") ;;
  esac
}

bench_rounds 1 "${3:-3}" ours fls
listed=$(fls -r -p "$image" | wc -l)
echo "fat-rebuild: fls lists $listed entries; ours: $("$tool" "$image" 2>/dev/null)"
bench_report "rebuild a FAT32 directory tree of $files files vs fls -r -p" 1.0 "${bench_times[ours]}" \
  "${bench_times[fls]}"
