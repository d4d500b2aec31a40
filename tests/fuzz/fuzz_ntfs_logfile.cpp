// The $LogFile analyser over arbitrary log pages, then matching a deleted
// record (taken from the input) against what it found.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "CNTFSFileProperties.h"
#include "CNTFSLogFileAnalyzer.h"
#include "CNoneResidentNTFSDataRunList.h"
#include "FuzzMemoryDevice.h"
#include "IDataRunList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1024 + 4 || size > 128 * 1024) return 0;
  const uint8_t spc = data[0] & 1 ? 8 : 2;
  const std::vector<uint8_t> record(data + 4, data + 4 + 1024);
  // The log: four empty restart pages, then the input from byte 4 as record
  // pages (a page is 8 sectors whatever the cluster size).
  std::vector<uint8_t> volume(4 * 4096, 0);
  volume.insert(volume.end(), data + 4, data + size);
  volume.resize((volume.size() + 4095) / 4096 * 4096, 0);
  const uint64_t clusters = volume.size() / (uint64_t(spc) * 512);
  MemoryDevice device(volume);
  auto* runs = new CNoneResidentNTFSDataRunList;
  // Two runs, so that a page may come from either.
  runs->AddRun({clusters / 2, clusters - clusters / 2});
  runs->AddRun({0, clusters / 2});
  CNTFSLogFileAnalyzer analyzer(&device, runs, spc);
  analyzer.Analyze();

  CNTFSFileProperties* p = CreateNTFSFileProperties();
  p->SetName(data[1] & 1 ? "x" : "");
  p->SetDeleted(1);
  p->SetAttributes(static_cast<uint16_t>(data[2] << 4));
  NTFSSegmentRefList extensions;
  extensions.Add(1, data[3] % 64);
  extensions.Add(2, -1);
  analyzer.MatchFileRecords(record.data(), p, data[3] & 1 ? -1 : 5, &extensions);
  std::unique_ptr<IDataRunList> list(p->GetDataRunList());
  DeleteFileProperties(p);
  return 0;
}
