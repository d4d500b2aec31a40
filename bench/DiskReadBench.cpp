// Sequential read throughput of the disk device over a 1 GiB image file
// against `dd bs=4M iflag=direct` of the same image, in the same run.
//
//   build/bench/bench_disk_read [--image PATH] [benchmark flags]
//
// The image (random bytes) is made in build/bench/ unless --image names an
// existing file or block device. Both readers bypass the page cache.
// Prints "ratio (disk device / dd): X" at the end; above 1 is faster than dd.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "CDiskDevice.h"
#include "DiskTable.h"
#include "SafeAlloc.h"

extern char** environ;

namespace {

constexpr uint64_t kImageBytes = uint64_t{1} << 30;
constexpr uint64_t kChunkBytes = 4u << 20;
std::string g_image;
double g_best[2] = {0, 0};  // bytes per second: disk device, dd

bool MakeImage(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && static_cast<uint64_t>(st.st_size) == kImageBytes) return true;
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  std::mt19937_64 rng(42);
  std::vector<uint64_t> chunk(kChunkBytes / 8);
  for (uint64_t done = 0; done < kImageBytes; done += kChunkBytes) {
    for (auto& w : chunk) w = rng();
    if (write(fd, chunk.data(), kChunkBytes) != static_cast<ssize_t>(kChunkBytes)) {
      close(fd);
      return false;
    }
  }
  fsync(fd);
  close(fd);
  return true;
}

void Record(int which, uint64_t bytes, double seconds) {
  if (seconds > 0) g_best[which] = std::max(g_best[which], static_cast<double>(bytes) / seconds);
}

void BM_DiskDeviceSequential(benchmark::State& state) {
  CDiskDevice disk(0, true);
  if (!disk.IsOpen()) {
    state.SkipWithError("disk 0 does not open");
    return;
  }
  const uint64_t ss = static_cast<uint64_t>(disk.GetSectorSize());
  const uint64_t total = disk.GetSectorCount();
  const uint64_t chunk = kChunkBytes / ss;
  uint8_t* buffer = AllocBuffer(static_cast<uint32_t>(kChunkBytes));  // as engine callers allocate
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    for (uint64_t s = 0; s < total; s += chunk) {
      if (!disk.ReadSectors(buffer, s, std::min(chunk, total - s))) {
        state.SkipWithError("read failed");
        break;
      }
    }
    benchmark::DoNotOptimize(buffer[0]);
    Record(0, total * ss, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * total * ss));
  FreeBuffer(buffer);
}

void BM_DdDirect(benchmark::State& state) {
  std::string input = "if=" + g_image;
  const char* argv[] = {"dd", input.c_str(), "of=/dev/null", "bs=4M", "iflag=direct", "status=none", nullptr};
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (posix_spawnp(&pid, "dd", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
      state.SkipWithError("dd does not start");
      break;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("dd failed");
      break;
    }
    Record(1, kImageBytes, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kImageBytes));
}

BENCHMARK(BM_DdDirect)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DiskDeviceSequential)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (strcmp(argv[i], "--image") == 0 && i + 1 < argc) {
      g_image = argv[++i];
      continue;
    }
    args.push_back(argv[i]);
  }
  if (g_image.empty()) {
    // scripts/run-benchmarks names a temporary folder of its own.
    const char* tmp = getenv("VANTOREL_BENCH_TMP");
    g_image = std::string(tmp ? tmp : VANTOREL_BUILD_DIR "/bench") + "/disk-read-1g.img";
    if (!MakeImage(g_image)) {
      fprintf(stderr, "cannot make %s\n", g_image.c_str());
      return 1;
    }
  }
  setenv("VANTOREL_DISKS", g_image.c_str(), 1);
  platform::RefreshDiskTable();
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_best[0] > 0 && g_best[1] > 0)
    printf("best of 3: disk device %.0f MiB/s, dd %.0f MiB/s, ratio (disk device / dd): %.2f\n", g_best[0] / 1048576,
           g_best[1] / 1048576, g_best[0] / g_best[1]);
  return 0;
}
