// Copies one file out of an NTFS volume through the engine, as the recovery
// side does: the volume is read through the disk device (disk 0 of
// VANTOREL_DISKS), the file's record is found through the $MFT runs and made
// into properties by the NTFS engine, and its contents are read through
// CFileDataReader in 4 MiB reads and written to OUT. Used by
// bench/copy-file-ntfs.sh, which times it against sleuthkit's icat.
//
//   VANTOREL_DISKS=IMAGE build/bench/copy_file_out RECORD OUT
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "CDiskDevice.h"
#include "CFileDataReader.h"
#include "CFileNode.h"
#include "CNTFSDBR.h"
#include "CNTFSExtendedFileRecord.h"
#include "DiskTable.h"
#include "NTFSAttributeList.h"
#include "NTFSFileRecordProperties.h"
#include "NTFSRecordRuns.h"

namespace {

int Fail(const char* what) {
  std::fprintf(stderr, "copy_file_out: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Fail("usage: VANTOREL_DISKS=IMAGE copy_file_out RECORD OUT");
  const uint64_t number = std::strtoull(argv[1], nullptr, 10);
  platform::RefreshDiskTable();
  CDiskDevice device(0, true);
  if (!device.IsOpen() || device.GetSectorSize() != 512) return Fail("disk 0 does not open with 512-byte sectors");

  std::vector<uint8_t> boot(512);
  CNTFSDBR dbr;
  if (!device.ReadSectors(boot.data(), 0, 1) || !dbr.SetFromSector(boot.data())) return Fail("no NTFS boot sector");
  const uint8_t spc = dbr.GetSectorsPerCluster();
  const int recordSize = dbr.GetFileRecordSize();
  const auto sectorsPerRecord = static_cast<uint8_t>(recordSize / 512);
  std::vector<uint8_t> record(static_cast<size_t>(recordSize));
  CNTFSRunList mftRuns;
  if (!device.ReadSectors(record.data(), dbr.GetMFTCluster() * spc, sectorsPerRecord) ||
      !CollectDataRunsFromBuffer(record.data(), recordSize, mftRuns, true, nullptr))
    return Fail("no $MFT runs");
  const int64_t sector = GetRecordSectorFromRunList(number, spc, 0, mftRuns, sectorsPerRecord);
  if (sector < 0 || !device.ReadSectors(record.data(), static_cast<uint64_t>(sector), sectorsPerRecord))
    return Fail("the record does not read");
  std::unique_ptr<NTFSSegmentRefList> list = BuildSegmentRefList(
      record.data(), recordSize, static_cast<uint64_t>(sector), spc, 0, &device, mftRuns, sectorsPerRecord);
  CNTFSExtendedFileRecord file(record.data(), recordSize, static_cast<uint64_t>(sector), &device, list.get());
  int64_t parent = -1;
  CNTFSFileProperties* props =
      MakeNTFSFileProperties(static_cast<uint64_t>(sector), file, dbr.GetBytesPerCluster(), &parent);
  if (!props) return Fail("no file in the record");
  CFileNode node;
  node.SetProperties(props);

  CFileDataReader reader;
  if (!reader.OpenAt(&device, &node, 0, spc)) return Fail("the reader does not open");
  const int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) return Fail("OUT does not open");
  constexpr uint32_t kChunk = 4u << 20;
  std::vector<uint8_t> buffer(kChunk);
  uint64_t offset = 0;
  uint32_t n = 0;
  while (reader.Read(offset, buffer.data(), kChunk, n) && n > 0) {
    for (uint32_t done = 0; done < n;) {
      const ssize_t w = write(out, buffer.data() + done, n - done);
      if (w <= 0) return Fail("write failed");
      done += static_cast<uint32_t>(w);
    }
    offset += n;
  }
  close(out);
  if (offset != static_cast<uint64_t>(props->GetFileSize())) return Fail("short read");
  return 0;
}
