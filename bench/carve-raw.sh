#!/usr/bin/env bash
# The RAW search end to end: `vtctl recover 0 --raw-only --extract-carved DIR`
# over a 2 GiB image against photorec with every file type
# (`photorec /log /d DIR/r /cmd DISK partition_none,fileopt,everything,enable,search`),
# in the same run, both reading the image through one loop device with
# direct I/O and both writing their files into the same file system. The
# image holds the samples of the carving corpus (tests/fixtures/make-carving-
# corpus.sh) scattered between regions of zeros and of random bytes: random
# sectors make every key-less analyser look. One warm-up round, then ROUNDS
# rounds (default 3) in alternating order; prints both throughputs in MB/s
# and the minimum and median of the per-round time ratio (ours / photorec).
#
#   bash bench/carve-raw.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/bench-lib.sh"
build=$(cd "${1:-build}" && pwd)
bench_init carve-raw "$build"
for need in photorec convert exiftool cjpeg mkfs.fat mcopy openssl; do
  command -v "$need" >/dev/null || { echo "carve-raw: skipped (needs $need)"; exit 0; }
done

corpus=$bench_work/corpus
bash "$here/../tests/fixtures/make-carving-corpus.sh" "$corpus" "$here/../tests/fixtures/carving-corpus.manifest" \
  >/dev/null
mapfile -t samples < <(awk '{ print $3 }' "$corpus/samples.list")

# 32 regions of 63 MiB, zeros and random bytes in turn, each followed by one
# sample at the next 4 KiB boundary (the samples in turn); zeros to 2 GiB.
image=$bench_work/disk.img
: >"$image"
for ((r = 0; r < 32; r++)); do
  if ((r % 2)); then head -c 63M /dev/urandom >>"$image"; else head -c 63M /dev/zero >>"$image"; fi
  size=$(stat -c %s "$image")
  head -c $(((4096 - size % 4096) % 4096)) /dev/zero >>"$image"
  cat "$corpus/samples/${samples[r % ${#samples[@]}]}" >>"$image"
done
size=$(stat -c %s "$image")
head -c $(((1 << 31) - size)) /dev/zero >>"$image"
bytes=$(stat -c %s "$image")
rm -rf "$corpus"
bench_attach "$image"
disk=$bench_loop
if ! dd if="$disk" of=/dev/null bs=4M count=1 iflag=direct status=none 2>/dev/null; then
  echo "carve-raw: skipped (the loop device takes no direct I/O)"
  exit 0
fi
progdir=$bench_work/program
mkdir -p "$progdir"

bench_side() {
  local out=$bench_work/out-$1
  rm -rf "$out"
  mkdir -p "$out"
  case $1 in
    ours)
      side_time=$(VANTOREL_DISKS=$disk VANTOREL_PROGRAM_DIR=$progdir bench_time "$vtctl" recover 0 --raw-only \
        --extract-carved "$out") ;;
    photorec)
      side_time=$( (cd "$out" && bench_time photorec /log /d "$out/r" /cmd "$disk" \
        partition_none,fileopt,everything,enable,search)) ;;
  esac
  side_files=$(find "$out" -type f ! -name report.xml ! -name photorec.log | wc -l)
}

bench_rounds 1 "${2:-3}" ours photorec
bench_side ours
echo "carve-raw: ours carved $side_files files"
bench_side photorec
echo "carve-raw: photorec carved $side_files files"
rm -rf "$bench_work/out-ours" "$bench_work/out-photorec"
for side in ours photorec; do
  awk -v side="$side" -v bytes="$bytes" -v times="${bench_times[$side]}" 'BEGIN {
    n = split(times, t, " ")
    for (i = 2; i <= n; i++) for (j = i; j > 1 && t[j - 1] > t[j]; j--) { x = t[j]; t[j] = t[j - 1]; t[j - 1] = x }
    m = n % 2 ? t[(n + 1) / 2] : (t[n / 2] + t[n / 2 + 1]) / 2
    printf "carve-raw: %s %.1f MB/s (median of %d rounds, %.3f s for %.0f bytes)\n", side, bytes / m / 1e6, n, m, bytes
  }'
done
bench_report "RAW search of a 2 GiB image with the carving corpus, vs photorec with every file type" 1.0 \
  "${bench_times[ours]}" "${bench_times[photorec]}"
