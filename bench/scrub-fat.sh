#!/usr/bin/env bash
# `vtctl scrub` of a FAT32 volume holding 20,000 files in 200 folders, half
# of them deleted (made with mkfs.fat and mtools), end to end, against
# `mdir -/` listing every folder of a copy of the same image. Each side works
# on fresh copies behind loop devices of their own with direct I/O: a round
# of a side is VOLUMES such volumes (default 12) one after another, so that
# a round lasts seconds, and its time is the sum of the commands' times. One
# warm-up round, then ROUNDS rounds (default 3) in alternating order; prints
# the minimum and median of the per-round ratio (ours / mdir). Needs root.
#
#   bash bench/scrub-fat.sh [BUILD_DIR] [FOLDERS] [FILES_PER_FOLDER] [ROUNDS] [VOLUMES]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/bench-lib.sh"
bench_init scrub-fat "$(cd "${1:-build}" && pwd)"
folders=${2:-200}
per=${3:-100}
export MTOOLS_SKIP_CHECK=1

# The files are made in a folder tree first and copied in with one mcopy.
image=$bench_work/fat.img
tree=$bench_work/tree
for ((d = 0; d < folders; d++)); do
  mkdir -p "$tree/folder_$d"
  for ((i = 0; i < per; i++)); do
    printf 'file %d of folder %d\n' "$i" "$d" >"$tree/folder_$d/deleted_or_kept_name_$i.txt"
  done
done
truncate -s 512M "$image"
mkfs.fat -F 32 -n FATBENCH "$image" >/dev/null
mcopy -s -i "$image" "$tree"/* ::/
rm -rf "$tree"
for ((d = 0; d < folders; d++)); do
  names=()
  for ((i = 0; i < per; i += 2)); do names+=("::/folder_$d/deleted_or_kept_name_$i.txt"); done
  mdel -i "$image" "${names[@]}"
done

volumes=${5:-12}

# The volumes of a round are all made before the first is timed.
bench_side() {
  local v loops=() t total=0
  for ((v = 0; v < volumes; v++)); do
    bench_fresh_copy "$image" "$1-$v"
    loops+=("$bench_loop")
  done
  for v in "${!loops[@]}"; do
    case $1 in
      ours) t=$(bench_time_scrub "${loops[$v]}") ;;
      mdir) t=$(bench_time sh -c 'mdir -/ -i "$1" :: >/dev/null' mdir "${loops[$v]}") ;;
    esac
    total=$(awk -v a="$total" -v b="$t" 'BEGIN { printf "%.4f", a + b }')
  done
  for v in "${!loops[@]}"; do
    bench_loop=${loops[$v]}
    bench_drop_copy "$1-$v"
  done
  side_time=$total
}

bench_rounds 1 "${4:-3}" ours mdir
bench_report "scrub FAT32 ($volumes volumes of $((folders * per)) files in $folders folders, half deleted) vs mdir -/" \
  2.0 "${bench_times[ours]}" "${bench_times[mdir]}"
