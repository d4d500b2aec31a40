#!/usr/bin/env bash
# The partition wipe of a 1 GiB partition (one pass, no format) through
# `vtctl wipe-partition` against `dd if=<0xFF file> of=<the partition>
# bs=2M oflag=direct` on the same loop device in the same run. Each is
# timed twice, alternating, after one unmeasured dd that allocates the
# image's blocks; the best times count. Prints both and the speed ratio
# (dd time / wipe time; the goal is at least 0.9). Needs root.
#
#   bash bench/wipe-partition.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
vtctl=$build/bin/vtctl
if [ "$(id -u)" != 0 ]; then
  echo "wipe-partition bench: needs root (loop devices), skipped"
  exit 0
fi
mkdir -p "$build/tmp"
work=$(mktemp -d "$build/tmp/wipebench-XXXXXX")
loop=""
cleanup() {
  if [ -n "$loop" ]; then losetup -d "$loop" || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

img=$work/disk.img
truncate -s 1026M "$img"
printf 'label: dos\nstart=2048, size=2097152, type=7\n' | sfdisk -q "$img"
# Direct I/O to the image file: what either writes reaches the disk, not
# only the page cache of the image file.
loop=$(losetup -f --show -P --direct-io="${LOOP_DIRECT_IO:-on}" "$img")
blockdev --rereadpt "$loop" || true
part=${loop}p1
for i in $(seq 50); do
  [ -b "$part" ] && break
  [ "$i" = 10 ] && partx -a "$loop" || true
  sleep 0.1
done
[ -b "$part" ] || { echo "wipe-partition bench: no partition node $part"; exit 1; }
head -c 1G /dev/zero | tr '\0' '\377' >"$work/ff"

export VANTOREL_DISKS=$loop
letter=$("$vtctl" wipe-partition --list | awk -v p="$part" '$2 == p { print substr($1, 1, 1) }')
[ -n "$letter" ] || { echo "wipe-partition bench: $part has no letter"; exit 1; }

now() { date +%s.%N; }
run_dd() { dd if="$work/ff" of="$part" bs=2M oflag=direct status=none; }
run_wipe() { "$vtctl" wipe-partition --no-format "$letter" >"$work/wipe.log" 2>&1 || { cat "$work/wipe.log"; exit 1; }; }
check_wiped() {
  cmp -n 1073741824 "$part" "$work/ff" >/dev/null || { echo "wipe-partition bench: the partition is not all 0xFF"; exit 1; }
}
# Each run starts with nothing dirty: neither pays for the other's
# write-back (the wipe flushes its own writes before it ends; dd does not).
time_of() {
  local t0 t1
  sync
  t0=$(now)
  "$@"
  t1=$(now)
  echo "$t1 - $t0" | bc -l
}

run_dd  # allocates the image's blocks
best_dd="" best_wipe=""
for round in 1 2; do
  t=$(time_of run_wipe)
  if [ -z "$best_wipe" ] || (($(echo "$t < $best_wipe" | bc -l))); then best_wipe=$t; fi
  check_wiped
  dd if=/dev/zero of="$part" bs=2M count=8 oflag=direct status=none  # the wipe must write again
  t=$(time_of run_dd)
  if [ -z "$best_dd" ] || (($(echo "$t < $best_dd" | bc -l))); then best_dd=$t; fi
done
printf 'wipe-partition 1 GiB: wipe %.3f s, dd %.3f s, ratio (dd/wipe) %.2f (goal >= 0.9)\n' \
  "$best_wipe" "$best_dd" "$(echo "$best_dd / $best_wipe" | bc -l)"
