#!/usr/bin/env bash
# The Ext2 quick search of an ext4 volume (Debian's defaults) holding FILES
# files (50,000 by default) in 100 folders: its full node stream into a
# counting builder (build/bench/ext2_quick_search, reading through the disk
# device) against sleuthkit's `fls -r -p` of the same image, in the same
# run. Before each side the image's cached pages are dropped. One warm-up
# round, then ROUNDS rounds (default 3) in alternating order; prints the
# minimum and median of the per-round ratio (ours / fls).
#
#   bash bench/ext2-quick-search.sh [BUILD_DIR] [FILES] [ROUNDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/bench-lib.sh"
build=$(cd "${1:-build}" && pwd)
bench_init ext2-quick-search "$build"
files=${2:-50000}
tool=$build/bench/ext2_quick_search
for need in "$tool" mke2fs fls; do
  command -v "$need" >/dev/null || { echo "ext2-quick-search: skipped (needs $need)"; exit 0; }
done

src=$bench_work/src
image=$bench_work/ext4.img
bench_many_files "$src" "$files"
truncate -s $((256 + files / 256))M "$image"
mke2fs -q -F -t ext4 -T default -N $((files + 4096)) -d "$src" "$image"
rm -rf "$src"
listed=$(fls -r -p "$image" | grep -vc OrphanFiles)

bench_side() {
  dd if="$image" iflag=nocache count=0 status=none
  case $1 in
    ours) side_time=$(VANTOREL_DISKS=$image bench_time "$tool") ;;
    fls) side_time=$(bench_time fls -r -p "$image") ;;
  esac
}

bench_rounds 1 "${3:-3}" ours fls
nodes=$(VANTOREL_DISKS=$image "$tool")
[ "$nodes" -ge "$listed" ] || { echo "ext2-quick-search: $nodes nodes for $listed entries" >&2; exit 1; }
bench_report "quick search of ext4 with $files files ($nodes nodes) vs fls -r -p" 1.0 \
  "${bench_times[ours]}" "${bench_times[fls]}"
