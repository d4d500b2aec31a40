// A recycled file's information file as the disk gives it: its bytes read
// whole, and read through the file content reader from runs and a size that
// are themselves taken from the input (as a damaged directory gives them).
// The name found is a single file name or nothing, and reading never leaves
// the device's bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CFATDataRunList.h"
#include "CFATFileProperties.h"
#include "CFileDataReader.h"
#include "CFileNode.h"
#include "FuzzMemoryDevice.h"
#include "RecycleBinNames.h"

namespace {

uint64_t Take(const uint8_t*& data, size_t& size, unsigned bytes) {
  uint64_t v = 0;
  for (unsigned i = 0; i < bytes && size > 0; ++i, ++data, --size) v |= static_cast<uint64_t>(*data) << (8 * i);
  return v;
}

std::unique_ptr<CFileNode> Node(const char* name, uint64_t size) {
  auto node = std::make_unique<CFileNode>();
  CFATFileProperties* p = CreateFATFileProperties();
  p->SetName(name);
  p->SetAttributes(0x20);
  p->SetFileSize(static_cast<int64_t>(size));
  node->SetProperties(p);
  return node;
}

void CheckName(const std::string& name) {
  if (name.find('\\') != std::string::npos || name.find('\0') != std::string::npos) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The bytes alone, as an information file read whole.
  CheckName(RecycledNameFromInfo(std::vector<uint8_t>(data, data + size)));

  // The same bytes as a device, the first ones giving the information
  // file's size and runs (cluster, count) and the geometry.
  if (size < 4) return 0;
  const uint8_t* p = data;
  size_t left = size;
  const int sectorSize = (Take(p, left, 1) & 1) ? 4096 : 512;
  const uint32_t sectorsPerCluster = 1u << (Take(p, left, 1) % 8);
  const uint64_t fileSize = Take(p, left, 3);
  const unsigned runCount = static_cast<unsigned>(Take(p, left, 1) % 6);
  auto* list = new CFATDataRunList();
  for (unsigned i = 0; i < runCount; ++i) {
    DataRun r;
    r.start = Take(p, left, 2);
    if (r.start == 0xFFFF) r.start = DataRun::kSparseStart;
    r.length = Take(p, left, 2) % 64;
    list->AppendMerged(r);
  }
  const uint64_t firstSector = Take(p, left, 1);
  MemoryDevice device(FuzzDiskBytes(data, size, sectorSize), sectorSize);
  auto dataNode = Node("$RABC123.docx", 10);
  auto info = Node("$IABC123.docx", fileSize);
  static_cast<CFATFileProperties*>(info->GetProperties())->SetDataRunList(list);
  RestoreRecycledName(&device, dataNode.get(), info.get(), firstSector, sectorsPerCluster);
  CheckName(dataNode->GetProperties()->GetName());

  // Odd-sized reads across the runs stay inside what the reader answers.
  CFileDataReader reader;
  if (reader.OpenAt(&device, info.get(), firstSector, static_cast<int>(sectorsPerCluster))) {
    std::vector<uint8_t> buffer(4099);
    for (uint64_t offset = 0; offset < fileSize && offset < (1u << 20); offset += 4099) {
      uint32_t got = 0;
      if (!reader.Read(offset, buffer.data(), static_cast<uint32_t>(buffer.size()), got)) break;
      if (got > buffer.size()) __builtin_trap();
      if (got == 0) break;
    }
  }
  return 0;
}
