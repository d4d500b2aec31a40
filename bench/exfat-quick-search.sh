#!/usr/bin/env bash
# The exFAT quick search of a volume (mkfs.exfat, 4 KiB clusters) holding
# FILES files (20,000 by default) in 100 folders, written through exfat-fuse
# on a loop device: its full node stream into a counting builder
# (build/bench/exfat_quick_search, reading through the disk device) against
# sleuthkit's `fls -r -p` of the same image, in the same run. Before each
# side the image's cached pages are dropped. One warm-up round, then ROUNDS
# rounds (default 3) in alternating order; prints the minimum and median of
# the per-round ratio (ours / fls).
#
#   bash bench/exfat-quick-search.sh [BUILD_DIR] [FILES] [ROUNDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/bench-lib.sh"
build=$(cd "${1:-build}" && pwd)
bench_init exfat-quick-search "$build"
files=${2:-20000}
tool=$build/bench/exfat_quick_search
for need in "$tool" mkfs.exfat mount.exfat-fuse losetup fls; do
  command -v "$need" >/dev/null || { echo "exfat-quick-search: skipped (needs $need)"; exit 0; }
done

image=$bench_work/exfat.img
mnt=$bench_work/mnt
mkdir -p "$mnt"
truncate -s $((64 + files / 128))M "$image"
loop=$(losetup -f --show "$image")
bench_loops+=("$loop")
bench_exfat_fill "$loop" "$mnt" "$files"
listed=$(fls -f exfat -r -p "$image" | grep -Evc 'OrphanFiles|^[vV]/')

bench_side() {
  dd if="$image" iflag=nocache count=0 status=none
  case $1 in
    ours) side_time=$(VANTOREL_DISKS=$image bench_time "$tool") ;;
    fls) side_time=$(bench_time fls -f exfat -r -p "$image") ;;
  esac
}

bench_rounds 1 "${3:-3}" ours fls
nodes=$(VANTOREL_DISKS=$image "$tool")
[ "$nodes" -ge $((files + 100)) ] || { echo "exfat-quick-search: $nodes nodes for $listed entries" >&2; exit 1; }
bench_report "quick search of exFAT with $files files ($nodes nodes) vs fls -r -p" 1.0 \
  "${bench_times[ours]}" "${bench_times[fls]}"
