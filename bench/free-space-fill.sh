#!/usr/bin/env bash
# One pass of the free-space fill (`vtctl wipe-free-space`, the whole run)
# over about 1 GiB of free space on an ext2 volume behind a loop device with
# direct I/O, against dd writing 0xFF from a file into one file on the same
# volume (bs=2M, until full, conv=fsync). One warm-up round, then ROUNDS
# rounds (default 3) in alternating order; prints the minimum and median of
# the per-round ratio (ours / dd). Needs root.
#
#   bash bench/free-space-fill.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/bench-lib.sh"
bench_init free-space-fill "$(cd "${1:-build}" && pwd)"

truncate -s 1100M "$bench_work/disk.img"
printf 'label: dos\nstart=2048, type=83\n' | sfdisk -q "$bench_work/disk.img"
bench_attach "$bench_work/disk.img" -P
loop=$bench_loop
part=${loop}p1
mke2fs -q -t ext2 -m 0 "$part"
mnt=$bench_work/mnt
mkdir -p "$mnt"
mount -t ext2 "$part" "$mnt"
bench_mounts+=("$mnt")

# The dd source: 0xFF bytes, larger than the free space, read once so that
# it comes from the page cache.
head -c 1100M /dev/zero | tr '\0' '\377' >"$bench_work/ff.bin"
cat "$bench_work/ff.bin" >/dev/null
letter=$(bench_letter "$vtctl" "$part")
[ -n "$letter" ] || { echo "free-space-fill: no letter for $part"; exit 1; }

# dd stops at the full volume with an error; that is its end here.
fill_dd() { dd if="$bench_work/ff.bin" of="$mnt/dd.fill" bs=2M conv=fsync status=none 2>/dev/null || true; }
fill_ours() { VANTOREL_DISKS=$loop "$vtctl" wipe-free-space "$letter"; }

bench_side() {
  sync
  case $1 in
    ours) side_time=$(bench_time fill_ours) ;;
    dd)
      side_time=$(bench_time fill_dd)
      rm -f "$mnt/dd.fill"
      ;;
  esac
}

# The warm-up round allocates the image's blocks.
bench_rounds 1 "${2:-3}" ours dd
bench_report "free-space fill (about 1 GiB, 1 pass) vs dd conv=fsync" 1.1 "${bench_times[ours]}" "${bench_times[dd]}"
