// The partition-table parser (MBR, extended chains, GPT) and the volume
// analysers it runs, on a disk made from the input. The first byte picks the
// disk: bit 0 makes the sectors 4096 bytes; bit 1 rewrites the CRCs of the
// GPT header at sector 1 and of the entry array it names, so the input
// reaches the entries; bits 4-7 add that many zero sectors at the end.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ByteOrder.h"
#include "CBasicPartitionDevice.h"
#include "CPartitionTableAnalyze.h"
#include "FuzzMemoryDevice.h"
#include "VolumeAnalysers.h"
#include "VolumeTypeServices.h"

namespace {

void FixGptCrcs(std::vector<unsigned char>& image, size_t ss) {
  if (image.size() < 2 * ss) return;
  unsigned char* h = image.data() + ss;
  const uint64_t arrayLba = ReadLE64(h + 72);
  const uint64_t bytes = uint64_t(ReadLE32(h + 80)) * ReadLE32(h + 84);
  if (arrayLba < image.size() / ss && bytes <= image.size() - arrayLba * ss)
    WriteLE32(h + 88, GptCrc32(image.data() + arrayLba * ss, size_t(bytes)));
  uint32_t headerSize = ReadLE32(h + 12);
  if (headerSize < 92 || headerSize > ss) return;
  WriteLE32(h + 16, 0);
  WriteLE32(h + 16, GptCrc32(h, headerSize));
}

}  // namespace

// The analysers the program registers at start.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  RegisterVolumeAnalysers();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  ++data;
  --size;
  const size_t ss = (mode & 1) ? 4096 : 512;
  std::vector<unsigned char> image(data, data + size);
  image.resize((image.size() + ss - 1) / ss * ss + size_t(mode >> 4) * ss, 0);
  if (mode & 2) FixGptCrcs(image, ss);
  MemoryDevice disk(image, int(ss));

  PartitionRecordList list;
  uint32_t problems = 0;
  AnalyzePartitionTable(&disk, list, &problems);
  std::vector<unsigned char> buffer(ss);
  for (PartitionRecord* r : list) {
    if (r->startSector >= disk.GetSectorCount() || r->sectorCount > disk.GetSectorCount() - r->startSector ||
        r->fileSystemSectors > r->sectorCount || !r->device)
      __builtin_trap();
    r->device->ReadSectors(buffer.data(), r->sectorCount - 1, 1);
  }
  DeletePartitionRecords(list);
  IsDynamicDisk(&disk);
  LdmVolumeServices s = MakeLdmVolumeServices();
  char label[100];
  s.volumeLabel(&disk, EFileSystemType::NTFS, label, sizeof label);
  return 0;
}
