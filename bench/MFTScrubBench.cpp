// The MFT scrub on an NTFS image of 100,000 records (half deleted), timed in
// the same run against `ntfswipe --mft --undel` on a copy of the same image
// and against reading the whole $MFT once with `ntfscat`.
//
//   build/bench/bench_mft_scrub [--image PATH] [--records N]
//
// The image is made in build/bench/ (bench/make-mft-bench-image.sh, needs
// root and ntfs-3g) unless --image names one. Each tool works on its own
// fresh copy; the copies are read once beforehand so that all three start
// from the page cache. Prints the two ratios of elapsed times at the end
// (below 1: the scrub is faster).
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CNTFSMFTWiper.h"
#include "CVolumeDevice.h"
#include "IMountDriverWriter.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int Spawn(const std::vector<std::string>& args, const char* outputPath = nullptr) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (outputPath) posix_spawn_file_actions_addopen(&actions, 1, outputPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

// Writes 512-byte sectors into the image at their offsets.
class FileWriter : public IMountDriverWriter {
 public:
  explicit FileWriter(const std::string& path) : m_fd(::open(path.c_str(), O_RDWR | O_CLOEXEC)) {}
  ~FileWriter() override {
    if (m_fd >= 0) {
      fdatasync(m_fd);
      ::close(m_fd);
    }
  }
  uint64_t WriteSectors(const void* buffer, uint64_t first, uint64_t count) override {
    const size_t bytes = static_cast<size_t>(count * 512);
    size_t done = 0;
    while (done < bytes) {
      const ssize_t n =
          pwrite(m_fd, static_cast<const char*>(buffer) + done, bytes - done, static_cast<off_t>(first * 512 + done));
      if (n <= 0) {
        m_error = static_cast<uint32_t>(errno);
        return done / 512;
      }
      done += static_cast<size_t>(n);
    }
    return count;
  }
  uint32_t LastError() const override { return m_error; }
  int GetSectorSize() const override { return 512; }

 private:
  int m_fd;
  uint32_t m_error = 0;
};

}  // namespace

int main(int argc, char** argv) {
  std::string image;
  std::string records = "100000";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!strcmp(argv[i], "--image")) image = argv[i + 1];
    if (!strcmp(argv[i], "--records")) records = argv[i + 1];
  }
  const std::string dir = std::string(VANTOREL_BUILD_DIR) + "/bench";
  if (image.empty()) {
    image = dir + "/mft-bench-" + records + ".img";
    struct stat st;
    if (stat(image.c_str(), &st) != 0) {
      std::printf("making %s (%s records)...\n", image.c_str(), records.c_str());
      const std::string script = std::string(VANTOREL_SOURCE_DIR) + "/bench/make-mft-bench-image.sh";
      if (Spawn({"bash", script, image, records}) != 0) {
        std::fprintf(stderr, "cannot make the image (needs root, mkntfs and ntfs-3g)\n");
        return 1;
      }
    }
  }
  const std::string ours = dir + "/mft-bench-scrub.img";
  const std::string theirs = dir + "/mft-bench-ntfswipe.img";
  for (const std::string& copy : {ours, theirs}) {
    if (Spawn({"cp", "--sparse=always", image, copy}) != 0) return 1;
    Spawn({"cat", copy}, "/dev/null");
  }

  // The scrub, through a strict volume device and a writer into the copy.
  setenv("VANTOREL_DISKS", ours.c_str(), 1);
  SetMountDriverOpener(
      [&](int, uint32_t*) -> std::unique_ptr<IMountDriverWriter> { return std::make_unique<FileWriter>(ours); });
  struct stat st;
  stat(ours.c_str(), &st);
  auto start = Clock::now();
  CVolumeDevice volume(ours, 0, static_cast<uint64_t>(st.st_size), 512, true);
  volume.Open();
  CNTFSMFTWiper wiper;
  const int rc = wiper.Wipe(&volume, 0, 0, nullptr);
  const double scrub = Seconds(start);
  SetMountDriverOpener(nullptr);
  std::printf("scrub: result 0x%X, %" PRIu64 " records scrubbed, %" PRIu64 " sectors in %" PRIu64 " writes, %.3f s\n",
              static_cast<unsigned>(rc), wiper.GetStats().recordsScrubbed, wiper.GetStats().sectorsWritten,
              wiper.GetStats().writes, scrub);

  start = Clock::now();
  const int wipeRc = Spawn({"ntfswipe", "--mft", "--undel", "-f", theirs}, "/dev/null");
  const double ntfswipe = Seconds(start);
  std::printf("ntfswipe --mft --undel: exit %d, %.3f s\n", wipeRc, ntfswipe);

  start = Clock::now();
  const int catRc = Spawn({"ntfscat", image, "$MFT"}, "/dev/null");
  const double ntfscat = Seconds(start);
  std::printf("ntfscat $MFT: exit %d, %.3f s\n", catRc, ntfscat);

  std::printf("ratio (scrub / ntfswipe --mft --undel): %.3f\n", ntfswipe > 0 ? scrub / ntfswipe : 0.0);
  std::printf("ratio (scrub / ntfscat $MFT): %.3f\n", ntfscat > 0 ? scrub / ntfscat : 0.0);
  unlink(ours.c_str());
  unlink(theirs.c_str());
  return rc == 0 ? 0 : 2;
}
