#!/usr/bin/env bash
# `vtctl scrub` of a FAT32 volume holding 20,000 files in 200 folders, half
# of them deleted (made with mkfs.fat and mtools), end to end, against
# `mdir -/` listing every folder of a copy of the same image. Each side works
# on a fresh copy behind its own loop device with direct I/O. One warm-up
# round, then ROUNDS rounds (default 3) in alternating order; prints the
# minimum and median of the per-round ratio (ours / mdir). Needs root.
#
#   bash bench/scrub-fat.sh [BUILD_DIR] [FOLDERS] [FILES_PER_FOLDER] [ROUNDS]
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

bench_side() {
  bench_fresh_copy "$image" "$1"
  case $1 in
    ours) side_time=$(bench_time_scrub "$bench_loop") ;;
    mdir) side_time=$(bench_time sh -c 'mdir -/ -i "$1" :: >/dev/null' mdir "$bench_loop") ;;
  esac
  bench_drop_copy "$1"
}

bench_rounds 1 "${4:-3}" ours mdir
bench_report "scrub FAT32 ($((folders * per)) files in $folders folders, half deleted) vs mdir -/" 2.0 \
  "${bench_times[ours]}" "${bench_times[mdir]}"
