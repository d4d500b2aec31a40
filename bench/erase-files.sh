#!/usr/bin/env bash
# The file erase of 10,000 files of 4 KiB (one pass, `vtctl erase` of their
# folder) against `shred -n 0 -z --remove=unlink` of the same set: the same
# overwrite and flush, no name wiping. Both work on an ext4 volume of their
# own behind a loop device with direct I/O, on a fresh set each time; the
# sets' own write-back is done before the clock starts (syncfs of that
# volume only: the machine's page cache is left alone). One warm-up round,
# then ROUNDS rounds (default 3) in alternating order; prints the minimum
# and median of the per-round ratio (ours / shred). Needs root.
#
#   bash bench/erase-files.sh [BUILD_DIR] [FILES] [ROUNDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/bench-lib.sh"
bench_init erase-files "$(cd "${1:-build}" && pwd)"
files=${2:-10000}

image=$bench_work/ext4.img
truncate -s 1G "$image"
mke2fs -q -t ext4 "$image"
bench_attach "$image"
mnt=$bench_work/mnt
mkdir -p "$mnt"
mount -t ext4 "$bench_loop" "$mnt"
bench_mounts+=("$mnt")

page=$(head -c 4096 /dev/zero | tr '\0' 'x')
# A fresh set: FILES files of 4 KiB in folders of 1000, all on the disk.
make_set() {
  local root=$1 i
  for ((i = 0; i < files; i++)); do
    [ $((i % 1000)) = 0 ] && mkdir -p "$root/d$((i / 1000))"
    printf '%s' "$page" >"$root/d$((i / 1000))/file_$i.bin"
  done
  sync -f "$mnt"
}
shred_set() {
  find "$1" -type f -exec shred -n 0 -z --remove=unlink {} +
  rm -r "$1"
}

bench_side() {
  make_set "$mnt/$1"
  case $1 in
    ours) side_time=$(bench_time "$vtctl" erase --history "$bench_work/history.db" "$mnt/ours") ;;
    shred) side_time=$(bench_time shred_set "$mnt/shred") ;;
  esac
  [ ! -e "$mnt/$1" ] || { echo "erase-files: $1 left files behind" >&2; exit 1; }
}

bench_rounds 1 "${3:-3}" ours shred
bench_report "file erase ($files x 4 KiB, 1 pass) vs shred -n 0 -z --remove=unlink" 1.1 \
  "${bench_times[ours]}" "${bench_times[shred]}"
