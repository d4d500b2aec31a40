#!/usr/bin/env bash
# One pass of the free-space fill over about 1 GiB of free space on an ext2
# loop volume, against dd writing 0xFF from a file into one file on the same
# volume (bs=2M, until full, then fsync), in the same run. Prints the ratio
# dd time / our time; the goal is at least 0.9. Needs root.
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
vtctl="$build/bin/vtctl"
if [ "$(id -u)" != 0 ]; then echo "free-space-fill: skipped (needs root)"; exit 0; fi
[ -x "$vtctl" ] || { echo "free-space-fill: skipped (no $vtctl)"; exit 0; }

work=$(mktemp -d "$build/bench/freespace.XXXXXX")
loop=""
mounted=""
cleanup() {
  if [ -n "$mounted" ]; then
    for _ in $(seq 50); do umount "$mounted" 2>/dev/null && break; sleep 0.1; done
  fi
  if [ -n "$loop" ]; then
    for _ in $(seq 50); do losetup -d "$loop" 2>/dev/null && break; sleep 0.1; done
  fi
  rm -rf "$work"
}
trap cleanup EXIT

truncate -s 1100M "$work/disk.img"
printf 'label: dos\nstart=2048, type=83\n' | sfdisk -q "$work/disk.img"
loop=$(losetup -f --show -P "$work/disk.img")
blockdev --rereadpt "$loop" 2>/dev/null
for i in $(seq 50); do
  [ -b "${loop}p1" ] && break
  [ "$i" = 10 ] && partx -a "$loop" 2>/dev/null
  sleep 0.1
done
part="${loop}p1"
[ -b "$part" ] || { echo "free-space-fill: no partition node for $loop"; exit 1; }
mke2fs -q -t ext2 -m 0 "$part"
mkdir -p "$work/mnt"
mount -t ext2 "$part" "$work/mnt" && mounted="$work/mnt"

# The dd source: 0xFF bytes, larger than the free space, read once so that
# it comes from the page cache.
head -c 1100M /dev/zero | tr '\0' '\377' > "$work/ff.bin"
cat "$work/ff.bin" > /dev/null

now() { date +%s.%N; }
letter=$(VANTOREL_DISKS="$loop" "$vtctl" letters | awk -v p="$part" 'index($0, p) { print substr($0, 1, 1); exit }')
[ -n "$letter" ] || { echo "free-space-fill: no letter for $part"; exit 1; }

# A first, untimed fill: the image file's blocks are allocated on the host
# before either side is timed.
dd if="$work/ff.bin" of="$work/mnt/warm.fill" bs=2M conv=fsync status=none 2>/dev/null
rm -f "$work/mnt/warm.fill"
# Three rounds, alternating; the best time of each side counts (the machine
# is shared, single timings are noisy).
best_dd=""
best_ours=""
dd_bytes=0
ours_bytes=0
for round in 1 2 3; do
  sync
  t0=$(now)
  dd if="$work/ff.bin" of="$work/mnt/dd.fill" bs=2M conv=fsync status=none 2>/dev/null
  t1=$(now)
  dd_bytes=$(stat -c %s "$work/mnt/dd.fill")
  rm -f "$work/mnt/dd.fill"
  sync
  t2=$(now)
  out=$(VANTOREL_DISKS="$loop" "$vtctl" wipe-free-space "$letter" 2>/dev/null)
  rc=$?
  t3=$(now)
  [ $rc = 0 ] || { echo "free-space-fill: the run failed: $out"; exit 1; }
  ours_bytes=$(echo "$out" | sed -n 's/.* \([0-9]*\) filler bytes written.*/\1/p')
  best_dd=$(awk -v a="$t0" -v b="$t1" -v m="$best_dd" 'BEGIN { t = b - a; if (m == "" || t < m) m = t; print m }')
  best_ours=$(awk -v a="$t2" -v b="$t3" -v m="$best_ours" 'BEGIN { t = b - a; if (m == "" || t < m) m = t; print m }')
done

awk -v dd="$best_dd" -v ours="$best_ours" -v db="$dd_bytes" -v ob="$ours_bytes" 'BEGIN {
  printf "free-space-fill: dd %.0f MiB in %.2f s, fill %.0f MiB in %.2f s (whole vtctl run), ratio %.2f (goal >= 0.90)\n",
         db / 1048576, dd, ob / 1048576, ours, dd / ours }'
