// Scrubs the deleted entries of a FAT32 volume holding 50,000 files of which
// half are deleted (made with mkfs.fat and mtools), and reads the same
// directories with `mdir -/` in the same run; reports both times and their
// ratio.
//
//   bench_fat_scrub [FOLDER] [--files N] [--rounds R]
//
// FOLDER (default: ./bench-fatscrub) holds the image and its work copies.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "CFATQuickScrub.h"
#include "CVolumeDevice.h"
#include "FATScrubCodes.h"
#include "ScrubTestSupport.h"

namespace {

int Shell(const std::string& command) {
  const int rc = std::system(command.c_str());
  if (rc != 0) std::fprintf(stderr, "failed (%d): %s\n", rc, command.c_str());
  return rc;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = "bench-fatscrub";
  int files = 50000;
  int rounds = 3;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--files" && i + 1 < argc)
      files = std::atoi(argv[++i]);
    else if (a == "--rounds" && i + 1 < argc)
      rounds = std::atoi(argv[++i]);
    else
      folder = a;
  }
  setenv("MTOOLS_SKIP_CHECK", "1", 1);
  const std::string image = folder + "/fat32-" + std::to_string(files) + ".img";
  const std::string work = folder + "/work.img";
  if (Shell("mkdir -p '" + folder + "'") != 0) return 1;
  if (Shell("test -f '" + image + "'") != 0) {
    std::printf("building %s ...\n", image.c_str());
    const int dirs = (files + 999) / 1000;
    const std::string script =
        "set -e; cd '" + folder + "'; rm -rf src; mkdir src; "
        "for d in $(seq -w 1 " + std::to_string(dirs) + "); do mkdir src/d$d; "
        "for f in $(seq -w 0 999); do echo \"$d$f\" > src/d$d/f$f.txt; done; done; "
        "truncate -s 400M tmp.img; mkfs.fat -F 32 -s 8 tmp.img >/dev/null; "
        "mcopy -s -i tmp.img src/* ::/; "
        "for d in $(seq -w 1 " + std::to_string(dirs) + "); do mdel -i tmp.img \"::/d$d/f??[13579].txt\"; done; "
        "rm -rf src; mv tmp.img '" + image.substr(folder.size() + 1) + "'";
    setenv("BENCH_SCRIPT", script.c_str(), 1);
    if (Shell("bash -c \"$BENCH_SCRIPT\"") != 0) return 1;
  }

  double bestScrub = 1e9, bestMdir = 1e9;
  FATWipeCounters counters;
  for (int r = 0; r < rounds; ++r) {
    if (Shell("cp --sparse=always '" + image + "' '" + work + "' && sync") != 0) return 1;
    auto t0 = std::chrono::steady_clock::now();
    if (Shell("mdir -/ -i '" + work + "' :: >/dev/null") != 0) return 1;
    bestMdir = std::min(bestMdir, Seconds(t0));

    scrubtest::WriterPlan plan;
    plan.imagePath = work;
    scrubtest::WriterInstall install(&plan);
    CVolumeDevice volume(work, 0, 400ull << 20, 512, true);
    t0 = std::chrono::steady_clock::now();
    const int code = ScrubFATVolume(&volume, 0, 0, nullptr, &counters);
    bestScrub = std::min(bestScrub, Seconds(t0));
    if (code != fatscrub::kDone) {
      std::fprintf(stderr, "scrub failed: 0x%x\n", static_cast<unsigned>(code));
      return 1;
    }
  }
  std::printf("entries replaced %llu, sectors zeroed %llu, directories %llu\n",
              static_cast<unsigned long long>(counters.entriesReplaced),
              static_cast<unsigned long long>(counters.sectorsZeroed),
              static_cast<unsigned long long>(counters.directoriesWalked));
  std::printf("scrub %.3f s, mdir -/ %.3f s, ratio %.2f\n", bestScrub, bestMdir, bestScrub / bestMdir);
  return 0;
}
