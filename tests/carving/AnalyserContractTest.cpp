// Every analyser against the contract its callers rely on: offered any
// sector (a cluster's first sector from the FAT engine, a sector the
// signature map did not pick), it answers FALSE unless the sector starts a
// file of its format. Each analyser is offered zero, 0xFF and random
// sectors and the first 4096 bytes of every fixture format, in a buffer of
// exactly 4096 readable bytes followed by an inaccessible page, so a read
// past the contract's 4096 bytes ends the test. Any answer but FALSE must
// be the format's own analyser or a listed legitimate overlap; the format's
// own analyser, once it exists, must claim its fixture.
//
// Each analyser adds its fixtures' first sectors and its overlap rows here.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "CRawAnalyserRegistry.h"
#include "CRawFileInfo.h"
#include "CarvingFixtures.h"
#include "IRawFileAnalyser.h"
#include "TestUtil.h"

namespace {

using C = ERawAnalyserClass;
constexpr size_t kOffered = 4096;

// 4096 readable bytes directly followed by a page that faults when read.
class GuardedSector {
 public:
  GuardedSector() {
    m_page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    m_span = (kOffered + m_page - 1) / m_page * m_page + m_page;
    m_base = static_cast<uint8_t*>(mmap(nullptr, m_span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (m_base == MAP_FAILED) throw std::bad_alloc();
    mprotect(m_base + m_span - m_page, m_page, PROT_NONE);
  }
  ~GuardedSector() { munmap(m_base, m_span); }
  GuardedSector(const GuardedSector&) = delete;
  GuardedSector& operator=(const GuardedSector&) = delete;
  // The bytes, zero-padded to 4096.
  const uint8_t* Offer(const std::string& bytes) {
    uint8_t* data = m_base + m_span - m_page - kOffered;
    memset(data, 0, kOffered);
    memcpy(data, bytes.data(), std::min(bytes.size(), kOffered));
    return data;
  }

 private:
  size_t m_page = 0;
  size_t m_span = 0;
  uint8_t* m_base = nullptr;
};

struct Sample {
  std::string name;
  std::function<std::string()> firstBytes;  // "" when the fixture is missing
  std::vector<C> owners;                    // the format's own analysers
};

std::vector<Sample> Samples() {
  std::vector<Sample> samples = {
      {"zero", [] { return std::string(kOffered, '\0'); }, {}},
      {"0xFF", [] { return std::string(kOffered, '\xFF'); }, {}},
      {"docx (python3-docx default.docx)",
       [] { return carvingtest::FirstBytesOf("python3-docx", "/templates/default.docx"); },
       {C::FileZIP}},
      {"jpeg, Exif first (qtbase5-dev Qt-header-bg.jpg)",
       [] { return carvingtest::FirstBytesOf("qtbase5-dev", "/Qt-header-bg.jpg"); },
       {C::FileJPG}},
      {"jpeg, Exif first (qtbase5-dev Qt-footer-bg.jpg)",
       [] { return carvingtest::FirstBytesOf("qtbase5-dev", "/Qt-footer-bg.jpg"); },
       {C::FileJPG}},
      {"html (libffi-dev manual)",
       [] { return carvingtest::FirstBytesOf("libffi-dev", "/html/index.html"); },
       {C::FileHTM}},
  };
  std::mt19937 random(20261211);
  for (int i = 0; i < 16; ++i) {
    std::string bytes(kOffered, '\0');
    for (char& b : bytes) b = static_cast<char>(random());
    samples.push_back({"random " + std::to_string(i), [bytes] { return bytes; }, {}});
  }
  return samples;
}

// Legitimate overlaps: the analyser may claim the sample too.
struct Overlap {
  C analyser;
  const char* sample;
};
const std::vector<Overlap> kOverlaps = {};

bool MayMatch(C analyser, const Sample& sample) {
  if (std::find(sample.owners.begin(), sample.owners.end(), analyser) != sample.owners.end()) return true;
  return std::any_of(kOverlaps.begin(), kOverlaps.end(),
                     [&](const Overlap& o) { return o.analyser == analyser && sample.name == o.sample; });
}

int Offer(IRawFileAnalyser* analyser, const uint8_t* sector, CRawFileInfo* info) {
  try {
    return analyser->MatchHeader(sector, info);
  } catch (...) {
    return 0;  // a throwing analyser counts as one that did not match
  }
}

}  // namespace

TEST(AnalyserContract, EveryAnalyserDeclinesWhatIsNotItsFormat) {
  // The program's analysers, one of each class that exists (the script
  // analyser without scripts), exactly as the registry makes them.
  const CRawAnalyserRegistry::Factories factories = CRawAnalyserRegistry::DefaultFactories(nullptr);
  std::vector<std::pair<C, std::unique_ptr<IRawFileAnalyser>>> analysers;
  for (size_t i = 0; i < kRawAnalyserClassCount; ++i)
    if (factories[i]) analysers.emplace_back(static_cast<C>(i), std::unique_ptr<IRawFileAnalyser>(factories[i]()));
  ASSERT_FALSE(analysers.empty());

  GuardedSector guarded;
  int offered = 0;
  for (const Sample& sample : Samples()) {
    const std::string bytes = sample.firstBytes();
    if (bytes.empty()) {
      ADD_FAILURE() << "fixture missing: " << sample.name << " (scripts/install-deps)";
      continue;
    }
    for (auto& [cls, analyser] : analysers) {
      SCOPED_TRACE(std::string(RawAnalyserClass(cls).name) + " offered " + sample.name);
      CRawFileInfo info;
      const int answer = Offer(analyser.get(), guarded.Offer(bytes), &info);
      ++offered;
      if (answer) {
        EXPECT_TRUE(MayMatch(cls, sample)) << "claims a sector that is not its format";
      }
      const bool owner = std::find(sample.owners.begin(), sample.owners.end(), cls) != sample.owners.end();
      if (owner) {
        EXPECT_NE(answer, 0) << "does not claim its own fixture";
        EXPECT_NE(info.GetFileType(), 0) << "claims without a file type";
      }
    }
  }
  EXPECT_GT(offered, 0);
}

TEST(AnalyserContract, GuardPageStopsAReadPastTheOfferedBytes) {
  // The harness itself: the byte after the offered 4096 faults.
  GuardedSector guarded;
  const uint8_t* sector = guarded.Offer("x");
  EXPECT_EQ(sector[0], 'x');
  EXPECT_EQ(sector[kOffered - 1], 0);
  EXPECT_DEATH(
      {
        volatile uint8_t past = sector[kOffered];
        (void)past;
      },
      "");
}
