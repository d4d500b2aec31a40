// Erases 1 GiB held in files of mixed sizes with the program's erase run
// (one pass), then the same set again with `shred -n 0 -z -u`, and reports
// both times and their ratio.
//
//   bench_erase_files [FOLDER] [--mib N]
//
// FOLDER (default: ./bench-erase) must lie on a real disk; it is emptied.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CEraseFilesRun.h"
#include "EraseResult.h"

namespace fs = std::filesystem;

namespace {

struct Tier {
  uint64_t size;
  double share;  // part of the total held in files of this size
};

const Tier kTiers[] = {{64ull << 20, 0.5}, {1ull << 20, 0.25}, {64ull << 10, 0.125}, {16ull << 10, 0.125}};

std::vector<std::string> MakeSet(const std::string& root, uint64_t total) {
  std::vector<std::string> files;
  std::vector<char> block(1 << 20);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>('A' + (i * 7 + i / 13) % 26);
  int tierNo = 0;
  for (const Tier& t : kTiers) {
    const uint64_t count = static_cast<uint64_t>(total * t.share) / t.size;
    for (uint64_t n = 0; n < count; ++n) {
      std::string folder = root + "/t" + std::to_string(tierNo) + "/d" + std::to_string(n / 256);
      fs::create_directories(folder);
      std::string path = folder + "/f" + std::to_string(n);
      std::ofstream out(path, std::ios::binary);
      for (uint64_t left = t.size; left > 0;) {
        size_t w = static_cast<size_t>(std::min<uint64_t>(left, block.size()));
        out.write(block.data(), static_cast<std::streamsize>(w));
        left -= w;
      }
      files.push_back(path);
    }
    ++tierNo;
  }
  sync();
  // Start both runs from a cold cache where we may.
  if (FILE* f = fopen("/proc/sys/vm/drop_caches", "w")) {
    fputs("3\n", f);
    fclose(f);
  }
  return files;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

}  // namespace

int main(int argc, char** argv) {
  std::string root = "bench-erase";
  uint64_t mib = 1024;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--mib" && i + 1 < argc)
      mib = strtoull(argv[++i], nullptr, 10);
    else
      root = a;
  }
  if (system("command -v shred >/dev/null 2>&1") != 0) {
    fprintf(stderr, "shred is missing\n");
    return 1;
  }
  root = fs::absolute(root).string();
  fs::remove_all(root);
  const uint64_t total = mib << 20;

  std::vector<std::string> ours = MakeSet(root + "/ours", total);
  CEraseFilesRun run;
  run.SetItems({}, {{root + "/ours", 0, 1, 0}});
  run.SetPasses(1);
  run.SetHistoryPath("");
  run.SetPauses(0, 0);
  auto t0 = std::chrono::steady_clock::now();
  run.Run();
  sync();
  const double oursSec = Seconds(t0);
  if (run.Result() != ERASE_COMPLETED) {
    fprintf(stderr, "erase run failed: result %d\n", run.Result());
    return 1;
  }

  std::vector<std::string> theirs = MakeSet(root + "/shred", total);
  // One shred process per 256 files keeps the command line short.
  t0 = std::chrono::steady_clock::now();
  for (size_t i = 0; i < theirs.size(); i += 256) {
    std::string cmd = "shred -n 0 -z -u";
    for (size_t j = i; j < theirs.size() && j < i + 256; ++j) cmd += " " + Quote(theirs[j]);
    if (system(cmd.c_str()) != 0) {
      fprintf(stderr, "shred failed\n");
      return 1;
    }
  }
  sync();
  const double shredSec = Seconds(t0);
  fs::remove_all(root);

  printf("files: %zu, total: %llu MiB\n", ours.size(), static_cast<unsigned long long>(mib));
  printf("erase run (1 pass): %.2f s, %.1f MiB/s\n", oursSec, mib / oursSec);
  printf("shred -n 0 -z -u:   %.2f s, %.1f MiB/s\n", shredSec, mib / shredSec);
  printf("ratio (erase run / shred): %.2f\n", oursSec / shredSec);
  return 0;
}
