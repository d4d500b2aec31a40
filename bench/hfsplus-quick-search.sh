#!/usr/bin/env bash
# The HFS+ quick search of a journaled volume made by hfsgen holding FILES
# files (20,000 by default) in 100 folders, its journal naming a few deleted
# ones: its full node stream into a counting builder
# (build/bench/hfsplus_quick_search, reading through the disk device)
# against sleuthkit's `fls -f hfs -r -p` of the same image, in the same run.
# Before each side the image's cached pages are dropped. One warm-up round,
# then ROUNDS rounds (default 3) in alternating order; prints the minimum and
# median of the per-round ratio (ours / fls).
#
#   bash bench/hfsplus-quick-search.sh [BUILD_DIR] [FILES] [ROUNDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/bench-lib.sh"
build=$(cd "${1:-build}" && pwd)
bench_init hfsplus-quick-search "$build"
files=${2:-20000}
tool=$build/bench/hfsplus_quick_search
gen=$build/bin/hfsgen
for need in "$tool" "$gen" fls; do
  command -v "$need" >/dev/null || { echo "hfsplus-quick-search: skipped (needs $need)"; exit 0; }
done

image=$bench_work/hfs.img
manifest=$bench_work/manifest
{
  echo "name Bench"
  echo "size $((16 + files / 1000))M"
  echo "blocksize 512"
  echo "journal 1M"
  for ((d = 0; d < 100; d++)); do echo "folder /dir$d"; done
  for ((i = 0; i < files; i++)); do echo "text /dir$((i % 100))/file-$i.txt file $i"; done
  for ((i = 0; i < 20; i++)); do echo "deleted-text /dir$i/gone-$i.txt gone $i"; done
} >"$manifest"
"$gen" -o "$image" -m "$manifest"
listed=$(fls -f hfs -r -p "$image" | grep -vc '\$')

bench_side() {
  dd if="$image" iflag=nocache count=0 status=none
  case $1 in
    ours) side_time=$(VANTOREL_DISKS=$image bench_time "$tool") ;;
    fls) side_time=$(bench_time fls -f hfs -r -p "$image") ;;
  esac
}

bench_rounds 1 "${3:-3}" ours fls
nodes=$(VANTOREL_DISKS=$image "$tool")
[ "$nodes" -ge "$listed" ] || { echo "hfsplus-quick-search: $nodes nodes for $listed entries" >&2; exit 1; }
bench_report "quick search of HFS+ with $files files ($nodes nodes) vs fls -f hfs -r -p" 1.0 \
  "${bench_times[ours]}" "${bench_times[fls]}"
