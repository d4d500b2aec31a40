#!/usr/bin/env bash
# Copying a fragmented file (256 MiB by default) out of an NTFS volume
# through the file content reader (build/bench/copy_file_out: the disk
# device, the NTFS engine's record and run parsing, CFileDataReader) against
# sleuthkit's `icat` of the same file on the same image, in the same run.
# The file is written through ntfs-3g in two passes, the even 64 KiB blocks
# with holes between them and then the odd ones, so its runs are scattered. Before each side the
# image's cached pages are dropped, so every side reads cold; both write the
# file to the work folder. One warm-up round, then ROUNDS rounds (default
# 3) in alternating order; prints the minimum and median of the per-round
# ratio (ours / icat). Needs root and /dev/fuse.
#
#   bash bench/copy-file-ntfs.sh [BUILD_DIR] [MIB] [ROUNDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/bench-lib.sh"
build=$(cd "${1:-build}" && pwd)
bench_init copy-file-ntfs "$build"
mib=${2:-256}
tool=$build/bench/copy_file_out
for need in "$tool" mkntfs ntfs-3g icat fls istat; do
  command -v "$need" >/dev/null || { echo "copy-file-ntfs: skipped (needs $need)"; exit 0; }
done

image=$bench_work/ntfs.img
src=$bench_work/src.bin
mnt=$bench_work/mnt
truncate -s $((mib + 128))M "$image"
mkntfs -F -Q -s 512 -c 4096 -L Bench "$image" >/dev/null 2>&1
head -c $((mib << 20)) /dev/urandom >"$src"
# Two halves of the file: the even 64 KiB blocks (zeros between them) and
# the odd ones. Written with conv=sparse, the first leaves holes that the
# second fills later, from wherever ntfs-3g finds room by then.
split -a 6 -d -b 64K "$src" "$bench_work/part."
head -c 65536 /dev/zero >"$bench_work/zero"
even=() odd=()
for ((k = 0; k < mib * 16; k++)); do
  printf -v part '%s/part.%06d' "$bench_work" "$k"
  if ((k % 2 == 0)); then even+=("$part") odd+=("$bench_work/zero"); else even+=("$bench_work/zero") odd+=("$part"); fi
done
cat "${even[@]}" >"$bench_work/even"
cat "${odd[@]}" >"$bench_work/odd"
rm -f "$bench_work"/part.* "$bench_work/zero"
mkdir "$mnt"
ntfs-3g "$image" "$mnt"
bench_mounts+=("$mnt")
dd if="$bench_work/even" of="$mnt/big.bin" bs=64K conv=sparse,notrunc status=none
truncate -s $((mib << 20)) "$mnt/big.bin"
dd if="$bench_work/odd" of="$mnt/big.bin" bs=64K conv=sparse,notrunc status=none
umount "$mnt"
rm -f "$bench_work/even" "$bench_work/odd"
record=$(fls "$image" | awk -F'\t' '$2 == "big.bin" { split($1, a, " "); split(a[2], b, "-"); print b[1] }')
[ -n "$record" ] || { echo "copy-file-ntfs: big.bin not listed" >&2; exit 1; }
runs=$(istat "$image" "$record" | sed -n '/^Type: \$DATA (128-/,$p' | tail -n +2 | tr ' ' '\n' | grep -v '^$' |
  awk 'NR > 1 && $1 != p + 1 { r++ } { p = $1 } END { print r + 1 }')

bench_side() {
  dd if="$image" iflag=nocache count=0 status=none
  rm -f "$bench_work/out.$1"
  case $1 in
    ours) side_time=$(VANTOREL_DISKS=$image bench_time "$tool" "$record" "$bench_work/out.ours") ;;
    icat) side_time=$(bench_time sh -c 'icat "$1" "$2" >"$3"' icat "$image" "$record" "$bench_work/out.icat") ;;
  esac
}

bench_rounds 1 "${3:-3}" ours icat
cmp -s "$src" "$bench_work/out.ours" || { echo "copy-file-ntfs: our copy differs from the file" >&2; exit 1; }
cmp -s "$src" "$bench_work/out.icat" || { echo "copy-file-ntfs: icat's copy differs from the file" >&2; exit 1; }
bench_report "copy a $mib MiB file in $runs runs out of NTFS vs icat" 1.0 "${bench_times[ours]}" "${bench_times[icat]}"
