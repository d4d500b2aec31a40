// The volume the FAT scrub targets run on: a small FAT16 volume of 512-byte
// sectors or a FAT32 volume of 4096-byte sectors, built once, whose FAT
// entries, directories and data each input rewrites. The scrub must end,
// stay inside its buffers and write only between the first directory sector
// and the end of the volume (never the boot sector or a FAT).
//
// Input: one byte choosing the cluster size (bits 0-1: 1, 2 or 4 sectors),
// then one FAT entry per data sector from cluster 2 on (2 or 4 bytes each),
// then the bytes from the first directory sector on (the FAT16 root, the
// FAT32 data area with the root in cluster 2). An input rewrites only the
// cluster-size byte, the FAT heads and the area after the FATs: a run makes
// no large allocation or copy of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "ByteOrder.h"
#include "CFATQuickScrub.h"
#include "FuzzMemoryDevice.h"
#include "IMountDriverWriter.h"
#include "RunLog.h"

class FatScrubVolume {
 public:
  explicit FatScrubVolume(bool fat32) : m_fat32(fat32) {
    RunLogSetFile("/dev/null");  // the scrub's trace lines, several per run
    // The smallest FATs the tables load: 6 KiB for FAT16, 128 KiB for FAT32.
    m_sectorSize = fat32 ? 4096 : 512;
    m_fatSize = fat32 ? 32 : 12;
    m_dataSectors = fat32 ? 32 : 128;
    const uint32_t rootSectors = fat32 ? 0 : 16;  // 256 entries
    m_firstWrite = 1 + 2 * m_fatSize;
    m_sectors = m_firstWrite + rootSectors + m_dataSectors;
    std::vector<uint8_t> bytes(static_cast<size_t>(m_sectors) * m_sectorSize, 0);
    uint8_t* boot = bytes.data();
    boot[0] = 0xEB;
    WriteLE16(boot + 11, static_cast<uint16_t>(m_sectorSize));
    boot[13] = 1;
    WriteLE16(boot + 14, 1);
    boot[16] = 2;
    if (fat32) {
      WriteLE32(boot + 32, m_sectors);
      WriteLE32(boot + 36, m_fatSize);
      WriteLE32(boot + 44, 2);  // the root's first cluster
      std::memcpy(boot + 82, "FAT32   ", 8);
    } else {
      WriteLE16(boot + 17, static_cast<uint16_t>(rootSectors * m_sectorSize / 32));
      WriteLE16(boot + 19, static_cast<uint16_t>(m_sectors));
      WriteLE16(boot + 22, static_cast<uint16_t>(m_fatSize));
      std::memcpy(boot + 54, "FAT16   ", 8);
    }
    boot[510] = 0x55;
    boot[511] = 0xAA;
    for (uint32_t copy = 0; copy < 2; ++copy) {
      uint8_t* fat = bytes.data() + FatOffset(copy);
      if (fat32) {
        WriteLE32(fat, 0x0FFFFFF8);
        WriteLE32(fat + 4, 0x0FFFFFFF);
      } else {
        WriteLE32(fat, 0xFFFFFFF8);
      }
    }
    m_device = std::make_unique<MemoryDevice>(std::move(bytes), static_cast<int>(m_sectorSize));
  }

  // Lays the input out and runs the scrub over it.
  void Run(const uint8_t* data, size_t size) {
    if (size == 0) return;
    Load(data, size);
    SetMountDriverOpener(
        [this](int, uint32_t*) -> std::unique_ptr<IMountDriverWriter> { return std::make_unique<Writer>(this); });
    CFATQuickScrub scrub;
    scrub.SetOptions(0, 0);
    scrub.SetDiskDevice(m_device.get());
    (void)scrub.QuickSearchFiles(m_device.get());
    SetMountDriverOpener(nullptr);
  }

 private:
  class Writer : public IMountDriverWriter {
   public:
    explicit Writer(FatScrubVolume* volume) : m_volume(volume) {}
    uint64_t WriteSectors(const void* buffer, uint64_t first, uint64_t count) override {
      if (first < m_volume->m_firstWrite || first + count > m_volume->m_sectors || count == 0) std::abort();
      std::memcpy(m_volume->m_device->Bytes().data() + first * m_volume->m_sectorSize, buffer,
                  count * m_volume->m_sectorSize);
      return count;
    }
    uint32_t LastError() const override { return 0; }
    int GetSectorSize() const override { return static_cast<int>(m_volume->m_sectorSize); }

   private:
    FatScrubVolume* m_volume;
  };

  size_t FatOffset(uint32_t copy) const { return (1 + static_cast<size_t>(copy) * m_fatSize) * m_sectorSize; }
  size_t EntryBytes() const { return m_fat32 ? 4 : 2; }

  void Load(const uint8_t* data, size_t size) {
    uint8_t* bytes = m_device->Bytes().data();
    bytes[13] = static_cast<uint8_t>(1u << (data[0] % 3));
    ++data;
    --size;
    const size_t fatBytes = m_dataSectors * EntryBytes();
    const size_t fromInput = size < fatBytes ? size : fatBytes;
    for (uint32_t copy = 0; copy < 2; ++copy) {
      uint8_t* entries = bytes + FatOffset(copy) + 2 * EntryBytes();
      std::memcpy(entries, data, fromInput);
      std::memset(entries + fromInput, 0, fatBytes - fromInput);
    }
    data += fromInput;
    size -= fromInput;
    const size_t room = (static_cast<size_t>(m_sectors) - m_firstWrite) * m_sectorSize;
    const size_t rest = size < room ? size : room;
    uint8_t* area = bytes + static_cast<size_t>(m_firstWrite) * m_sectorSize;
    std::memcpy(area, data, rest);
    std::memset(area + rest, 0, room - rest);
    m_device->readLog.clear();
  }

  bool m_fat32;
  uint32_t m_sectorSize = 512;
  uint32_t m_fatSize = 0;  // sectors of one FAT
  uint32_t m_dataSectors = 0;
  uint32_t m_firstWrite = 0;  // the first sector the scrub may write
  uint32_t m_sectors = 0;
  std::unique_ptr<MemoryDevice> m_device;
};
