// A small Ext2 volume built in memory around fuzz input, for the targets of
// the inode, block-map, extent and directory readers: a valid superblock and
// descriptor table (1 KiB blocks, 128 blocks, 32 inodes in a two-block
// inode table at block 5), with the input laid over the inode table and the
// blocks after it. The first input byte picks the layout: bit 0 the 64bit,
// extents and flex_bg features with 64-byte descriptors and 256-byte
// inodes, bit 1 2 KiB blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ByteOrder.h"
#include "FuzzMemoryDevice.h"

struct Ext2FuzzVolume {
  static constexpr uint32_t kBlocks = 64;
  static constexpr uint32_t kInodes = 32;
  static constexpr uint32_t kInodeTable = 5;
  uint32_t blockSize = 1024;
  uint32_t inodeSize = 128;

  // Lays the volume out in `bytes` (reused from run to run: no fresh pages
  // each time); `data` without its first byte goes to the inode table and on.
  Ext2FuzzVolume(std::vector<uint8_t>& bytes, const uint8_t* data, size_t size) {
    const uint8_t layout = size ? data[0] : 0;
    const bool ext4 = layout & 1;
    blockSize = (layout & 2) ? 2048 : 1024;
    inodeSize = ext4 ? 256 : 128;
    bytes.assign(static_cast<size_t>(kBlocks) * blockSize, 0);
    uint8_t* sb = bytes.data() + 1024;
    WriteLE32(sb + 0, kInodes);
    WriteLE32(sb + 4, kBlocks);
    WriteLE32(sb + 16, 2);  // free inodes: 30 in use
    WriteLE32(sb + 20, blockSize == 1024 ? 1 : 0);
    WriteLE32(sb + 24, blockSize == 1024 ? 0 : 1);
    WriteLE32(sb + 32, 8192);
    WriteLE32(sb + 40, kInodes);
    WriteLE16(sb + 56, 0xEF53);
    WriteLE32(sb + 76, 1);
    WriteLE32(sb + 84, 11);
    WriteLE16(sb + 88, static_cast<uint16_t>(inodeSize));
    WriteLE32(sb + 96, ext4 ? 0x0002 | 0x0040 | 0x0080 | 0x0200 : 0x0002);
    if (ext4) WriteLE16(sb + 254, 64);
    // Descriptors in the block after the superblock's.
    const uint32_t descBlock = blockSize == 1024 ? 2 : 1;
    uint8_t* d = bytes.data() + static_cast<size_t>(descBlock) * blockSize;
    WriteLE32(d + 0, 3);
    WriteLE32(d + 4, 4);
    WriteLE32(d + 8, kInodeTable);
    const size_t start = static_cast<size_t>(kInodeTable) * blockSize;
    if (size > 1) std::memcpy(bytes.data() + start, data + 1, std::min(size - 1, bytes.size() - start));
  }
};

// The device the Ext2 targets read: one volume reused from run to run, laid
// out anew around each input.
inline MemoryDevice& Ext2FuzzDevice(const uint8_t* data, size_t size) {
  static MemoryDevice device(std::vector<uint8_t>{});
  Ext2FuzzVolume volume(device.Bytes(), data, size);
  device.readLog.clear();
  return device;
}
