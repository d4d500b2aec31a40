#!/usr/bin/env bash
# `vtctl scrub` of an NTFS volume whose $MFT holds 100,000 records, half of
# them deleted, end to end (lock, scrub through the guarded writer, unlock),
# against `ntfswipe --mft --undel` and against one `ntfscat $MFT` read (the
# floor: the $MFT read once). Every side works on a fresh copy of the same
# image behind its own loop device with direct I/O. One warm-up round, then
# ROUNDS rounds (default 3) in alternating order; prints the minimum and
# median of the per-round ratio (ours / peer). Needs root.
#
#   bash bench/scrub-ntfs.sh [BUILD_DIR] [RECORDS] [ROUNDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/bench-lib.sh"
bench_init scrub-ntfs "$(cd "${1:-build}" && pwd)"
records=${2:-100000}

image=$bench_work/mft.img
bash "$here/lib/make-mft-bench-image.sh" "$image" "$records"

# Each side: a fresh copy behind its own loop device, timed, then let go.
bench_side() {
  bench_fresh_copy "$image" "$1"
  case $1 in
    ours) side_time=$(bench_time_scrub "$bench_loop") ;;
    ntfswipe) side_time=$(bench_time ntfswipe --mft --undel --force --quiet "$bench_loop") ;;
    ntfscat) side_time=$(bench_time sh -c 'ntfscat "$1" "\$MFT" >/dev/null' ntfscat "$bench_loop") ;;
  esac
  bench_drop_copy "$1"
}

bench_rounds 1 "${3:-3}" ours ntfswipe ntfscat
label="scrub NTFS ($records records, half deleted)"
bench_report "$label vs ntfswipe --mft --undel" 1.0 "${bench_times[ours]}" "${bench_times[ntfswipe]}"
bench_report "$label vs ntfscat \$MFT" 2.0 "${bench_times[ours]}" "${bench_times[ntfscat]}"
