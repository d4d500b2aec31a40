# Shared by the bench scripts (sourced, not run): a work folder of the run,
# loop devices with direct I/O over image files, timing, and the per-round
# ratio's minimum and median.
#
# The work folder is $VANTOREL_BENCH_TMP when scripts/run-benchmarks made
# one, else a temporary folder of the script's own; either is removed at
# the end. Loop devices this script attached are detached at exit, only
# those.

bench_loops=()
bench_mounts=()
bench_own_tmp=""

bench_cleanup() {
  local m l
  for m in "${bench_mounts[@]}"; do
    for _ in $(seq 50); do umount "$m" 2>/dev/null && break; mountpoint -q "$m" || break; sleep 0.1; done
  done
  for l in "${bench_loops[@]}"; do
    for _ in $(seq 50); do losetup -d "$l" 2>/dev/null && break; sleep 0.1; done
  done
  if [ -n "$bench_own_tmp" ]; then rm -rf "$bench_own_tmp"; fi
  if [ -n "${bench_work:-}" ]; then rm -rf "$bench_work"; fi
}

# bench_init NAME BUILD_DIR: needs root and BUILD_DIR/bin/vtctl (in $vtctl);
# sets bench_work (a fresh folder) and the exit trap.
bench_init() {
  local name=$1 parent
  vtctl=$2/bin/vtctl
  if [ "$(id -u)" != 0 ]; then
    echo "$name: skipped (needs root for loop devices)"
    exit 0
  fi
  [ -x "$vtctl" ] || { echo "$name: skipped (no $vtctl)"; exit 0; }
  if [ -n "${VANTOREL_BENCH_TMP:-}" ] && [ -d "$VANTOREL_BENCH_TMP" ]; then
    parent=$VANTOREL_BENCH_TMP
  else
    bench_own_tmp=$(mktemp -d "${TMPDIR:-/tmp}/vantorel-bench.XXXXXX")
    parent=$bench_own_tmp
  fi
  bench_work=$(mktemp -d "$parent/$name.XXXXXX")
  trap bench_cleanup EXIT
}

# bench_attach IMAGE: a loop device with direct I/O over IMAGE, in
# $bench_loop (not to be called in a subshell: the exit trap must know it).
# The image's dirty pages are written first, so that no side pays for them.
# With a second argument "-P" its partitions get nodes too ($bench_loop"p1"...).
bench_attach() {
  local image=$1 i
  sync "$image"
  bench_loop=$(losetup -f --show --direct-io=on ${2:+"$2"} "$image")
  bench_loops+=("$bench_loop")
  if [ "${2:-}" = -P ]; then
    blockdev --rereadpt "$bench_loop" 2>/dev/null || true
    for i in $(seq 50); do
      [ -b "${bench_loop}p1" ] && return 0
      [ "$i" = 10 ] && { partx -a "$bench_loop" 2>/dev/null || true; }
      sleep 0.1
    done
    echo "bench: no partition node for $bench_loop" >&2
    exit 1
  fi
}

# bench_detach LOOP: detaches a loop device bench_attach made.
bench_detach() {
  local loop=$1 i
  for _ in $(seq 50); do losetup -d "$loop" 2>/dev/null && break; sleep 0.1; done
  for i in "${!bench_loops[@]}"; do
    [ "${bench_loops[$i]}" = "$loop" ] && unset 'bench_loops[i]'
  done
  bench_loops=("${bench_loops[@]}")
}

bench_now() { date +%s.%N; }

# bench_time CMD...: runs CMD (output dropped) and prints its seconds; a
# failing command fails the bench.
bench_time() {
  local t0 t1
  t0=$(bench_now)
  if ! "$@" >"$bench_work/last.log" 2>&1; then
    echo "bench: failed: $*" >&2
    cat "$bench_work/last.log" >&2
    exit 1
  fi
  t1=$(bench_now)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f\n", b - a }'
}

# bench_report LABEL GOAL OURS_TIMES PEER_TIMES: one line with both sides'
# median times and the minimum and median of the per-round ratio.
bench_report() {
  local label=$1 goal=$2 ours=$3 peer=$4
  awk -v label="$label" -v goal="$goal" -v ours="$ours" -v peer="$peer" '
    function median(a, n,   i, j, t) {
      for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j - 1] > a[j]; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
      return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    BEGIN {
      n = split(ours, o, " "); split(peer, p, " ")
      for (i = 1; i <= n; i++) { r[i] = o[i] / p[i]; oo[i] = o[i]; pp[i] = p[i] }
      mo = median(oo, n); mp = median(pp, n); mr = median(r, n)
      min = r[1]; for (i = 2; i <= n; i++) if (r[i] < min) min = r[i]
      printf "%s: ours %.3f s, peer %.3f s (medians of %d rounds); ratio ours/peer min %.2f, median %.2f (goal <= %s)\n",
             label, mo, mp, n, min, mr, goal
    }'
}

# bench_letter VTCTL NODE: the letter vtctl gives the volume on NODE.
bench_letter() {
  VANTOREL_DISKS=$2 "$1" letters | awk -v p="$2" 'index($0, p) { print substr($0, 1, 1); exit }'
}

# bench_rounds WARMUP ROUNDS KIND...: WARMUP uncounted rounds, then ROUNDS
# counted ones; each runs `bench_side KIND` (the script's, which sets
# $side_time) for every kind, in turn forwards and backwards, so that no
# side always runs first. The counted times land in bench_times[KIND]
# (space-separated, round by round).
declare -A bench_times
bench_rounds() {
  local warmup=$1 rounds=$2 round kind order
  shift 2
  for ((round = 1; round <= warmup + rounds; round++)); do
    order=("$@")
    if [ $((round % 2)) = 0 ]; then
      order=()
      for kind in "$@"; do order=("$kind" "${order[@]}"); done
    fi
    for kind in "${order[@]}"; do
      bench_side "$kind"
      [ "$round" -le "$warmup" ] || bench_times[$kind]+=" $side_time"
    done
  done
}

# bench_fresh_copy IMAGE NAME: a fresh copy of IMAGE behind a loop device of
# its own ($bench_loop); bench_drop_copy NAME lets it go.
bench_fresh_copy() {
  cp --sparse=always "$1" "$bench_work/$2.img"
  bench_attach "$bench_work/$2.img"
}
bench_drop_copy() {
  bench_detach "$bench_loop"
  rm -f "$bench_work/$1.img"
}

# bench_time_scrub NODE: the seconds `vtctl scrub` of the volume on NODE takes.
bench_time_scrub() {
  local letter
  letter=$(bench_letter "$vtctl" "$1")
  [ -n "$letter" ] || { echo "bench: no letter for $1" >&2; exit 1; }
  VANTOREL_DISKS=$1 bench_time "$vtctl" scrub "$letter"
}

# bench_fat_fill IMAGE FILES: FILES small files in folders of 200 ("folder
# D/bench file F.txt"), a tenth of each folder deleted, written by mtools
# into the FAT volume IMAGE (which may be "disk.img@@OFFSET").
bench_fat_fill() {
  local image=$1 files=$2 src=$bench_work/src per=200 d f
  export MTOOLS_SKIP_CHECK=1 MTOOLS_NO_VFAT=0
  # mtools slows down with the size of the folder it writes into: 200 a folder.
  for ((d = 0; d < files / per; d++)); do
    rm -rf "$src"
    mkdir -p "$src"
    for ((f = 0; f < per; f++)); do echo "file $d $f" >"$src/bench file $f.txt"; done
    mmd -i "$image" "::/folder $d"
    mcopy -i "$image" "$src"/* "::/folder $d/"
    local gone=()
    for ((f = 0; f < per; f += 10)); do gone+=("::/folder $d/bench file $f.txt"); done
    mdel -i "$image" "${gone[@]}"
  done
  rm -rf "$src"
}

# bench_many_files DIR FILES: FILES small text files spread over 100
# folders below DIR (made), for the file-system searches' benchmarks.
bench_many_files() {
  local dir=$1 files=$2 d i
  mkdir -p "$dir"
  for ((d = 0; d < 100; d++)); do mkdir "$dir/dir$d"; done
  for ((i = 0; i < files; i++)); do printf 'file %d\n' "$i" >"$dir/dir$((i % 100))/file-$i.txt"; done
}

# bench_search_vs_testdisk_dd IMAGE ENGINES LABEL ROUNDS: the complete
# search `vtctl recover 0 --engines ENGINES` over the disk IMAGE (real bytes,
# not holes) against testdisk's partition search (`testdisk /log /cmd IMAGE
# partition_i386,analyze,search`) and against `dd if=IMAGE of=/dev/null
# bs=4M iflag=direct`, in the same rounds: one warm-up round, then ROUNDS;
# prints both ratios (goals 1 and 2). Skips when the work folder takes no
# direct I/O.
bench_search_vs_testdisk_dd() {
  local image=$1 engines=$2 label=$3 rounds=$4
  if ! dd if="$image" of=/dev/null bs=4M count=1 iflag=direct status=none 2>/dev/null; then
    echo "$label: skipped (the work folder takes no direct I/O)"
    return 0
  fi
  local program=$bench_work/program
  mkdir -p "$program"
  bench_side() {
    case $1 in
      ours)
        side_time=$(VANTOREL_DISKS=$image VANTOREL_PROGRAM_DIR=$program bench_time "$vtctl" recover 0 --engines "$engines") ;;
      testdisk)
        side_time=$( (cd "$bench_work" && bench_time testdisk /log /cmd "$image" partition_i386,analyze,search)) ;;
      dd) side_time=$(bench_time dd if="$image" of=/dev/null bs=4M iflag=direct status=none) ;;
    esac
  }
  bench_rounds 1 "$rounds" ours testdisk dd
  bench_report "$label, vs testdisk search" 1.0 "${bench_times[ours]}" "${bench_times[testdisk]}"
  bench_report "$label, vs dd iflag=direct" 2.0 "${bench_times[ours]}" "${bench_times[dd]}"
}

# bench_exfat_fill LOOP MOUNT FILES: mkfs.exfat (4 KiB clusters) on the loop
# device LOOP, then FILES small files in 100 folders written through
# exfat-fuse at MOUNT, which is unmounted again.
bench_exfat_fill() {
  local loop=$1 mnt=$2 files=$3 d i
  mkfs.exfat -c 4096 "$loop" >/dev/null
  mount.exfat-fuse "$loop" "$mnt" >/dev/null 2>&1
  bench_mounts+=("$mnt")
  for ((d = 0; d < 100; d++)); do mkdir "$mnt/dir$d"; done
  for ((i = 0; i < files; i++)); do printf 'file %d\n' "$i" >"$mnt/dir$((i % 100))/file-$i.txt"; done
  fusermount -u "$mnt"
}
