#!/usr/bin/env bash
# The partition wipe of a 1 GiB partition (one pass, no format) through
# `vtctl wipe-partition` against `dd if=<0xFF file> of=<the partition> bs=2M
# oflag=direct conv=fsync` (the wipe flushes at its end, so dd does too) on
# the same loop device with direct I/O. One warm-up round, then ROUNDS rounds
# (default 3) in alternating order; prints the minimum and median of the
# per-round ratio (wipe time / dd time). Needs root.
#
#   bash bench/wipe-partition.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/bench-lib.sh"
bench_init wipe-partition "$(cd "${1:-build}" && pwd)"

img=$bench_work/disk.img
truncate -s 1026M "$img"
printf 'label: dos\nstart=2048, size=2097152, type=7\n' | sfdisk -q "$img"
bench_attach "$img" -P
part=${bench_loop}p1
head -c 1G /dev/zero | tr '\0' '\377' >"$bench_work/ff"

export VANTOREL_DISKS=$bench_loop
letter=$("$vtctl" wipe-partition --list | awk -v p="$part" '$2 == p { print substr($1, 1, 1) }')
[ -n "$letter" ] || { echo "wipe-partition: $part has no letter"; exit 1; }

run_dd() { dd if="$bench_work/ff" of="$part" bs=2M oflag=direct conv=fsync status=none; }
check_wiped() {
  cmp -n 1073741824 "$part" "$bench_work/ff" >/dev/null || { echo "wipe-partition: the partition is not all 0xFF"; exit 1; }
}

# Neither side pays for the other's write-back.
bench_side() {
  sync
  case $1 in
    ours)
      side_time=$(bench_time "$vtctl" wipe-partition --no-format "$letter")
      check_wiped
      dd if=/dev/zero of="$part" bs=2M count=8 oflag=direct status=none  # the next wipe must write again
      ;;
    dd) side_time=$(bench_time run_dd) ;;
  esac
}

# The warm-up round allocates the image's blocks.
bench_rounds 1 "${2:-3}" ours dd
bench_report "wipe-partition 1 GiB vs dd oflag=direct conv=fsync" 1.1 "${bench_times[ours]}" "${bench_times[dd]}"
