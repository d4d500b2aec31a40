#!/usr/bin/env bash
# The complete recovery of a 1 GiB image with one registered search that
# does nothing (build/bench/recover_scan: the disk device, the cached
# device's read-ahead, the chunk loop, the tree builder) against
# `dd if=IMAGE of=/dev/null bs=4M iflag=direct` of the same image, in the
# same run. Both read with direct I/O, so neither side is served from the
# page cache. One warm-up round, then ROUNDS rounds (default 5) in
# alternating order; prints the minimum and median of the per-round ratio
# (recovery / dd).
#
#   bash bench/recover-scan.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/bench-lib.sh"
build=$(cd "${1:-build}" && pwd)
bench_init recover-scan "$build"
tool=$build/bench/recover_scan
[ -x "$tool" ] || { echo "recover-scan: skipped (no $tool)"; exit 0; }

image=$bench_work/disk.img
# Real bytes, not holes: a sparse image would read faster than a disk.
head -c 1G /dev/urandom >"$image"
sync "$image"
if ! dd if="$image" of=/dev/null bs=4M count=1 iflag=direct status=none 2>/dev/null; then
  echo "recover-scan: skipped (the work folder takes no direct I/O)"
  exit 0
fi

bench_side() {
  case $1 in
    ours) side_time=$(VANTOREL_DISKS=$image bench_time "$tool") ;;
    dd) side_time=$(bench_time dd if="$image" of=/dev/null bs=4M iflag=direct status=none) ;;
  esac
}

bench_rounds 1 "${2:-5}" ours dd
bench_report "complete recovery 1 GiB, one idle search, vs dd iflag=direct" 1.2 "${bench_times[ours]}" "${bench_times[dd]}"
