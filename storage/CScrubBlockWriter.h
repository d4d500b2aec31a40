// How a scrub's changes reach the disk: the bytes it has just read (strictly,
// under the volume lock) and changed in its buffer go back as whole aligned
// blocks of the disk's physical block size, and neighbouring blocks are
// coalesced into one write of up to kMaxWriteBytes. With batching on, up to
// kBatchWrites such writes (kBatchBytes in all) wait together and go to the
// writer as one batch, in flight at once; else each goes out as soon as the
// next one starts elsewhere.
//
// Only blocks that hold a changed byte are written; the rest of such a
// block goes back as it was read. A block is written whole only when the
// region handed in covers all of it and it lies inside the write window;
// a changed sector of any other block (at a region's or the window's edge)
// is written on its own. Pending blocks go out before anything is read over
// them (BeforeRead), when the batch is full and at Flush; Discard drops them
// unwritten (after a failed read or a cancel nothing more is written).
//
// Positions are volume bytes; the volume starts at byte `volumeDiskByte` of
// the writer's disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>

class IMountDriverWriter;

class CScrubBlockWriter {
 public:
  static constexpr uint32_t kMaxWriteBytes = 1u << 20;
  static constexpr uint32_t kBatchBytes = 8u << 20;
  static constexpr uint32_t kBatchWrites = 256;

  // `sectorSize` is the volume's sector (a multiple of the writer's); the
  // window [windowBegin, windowEnd) is where writes may land. The writer is
  // borrowed.
  CScrubBlockWriter(IMountDriverWriter* writer, uint64_t volumeDiskByte, uint32_t sectorSize, uint64_t windowBegin,
                    uint64_t windowEnd);
  ~CScrubBlockWriter();
  CScrubBlockWriter(const CScrubBlockWriter&) = delete;
  CScrubBlockWriter& operator=(const CScrubBlockWriter&) = delete;

  // Lets up to kBatchWrites writes wait for one batch (nothing pending).
  void EnableBatches();

  // The size of a block written whole: the writer's block size, at least
  // 4 KiB and a multiple of the volume's sector; the sector when none fits.
  uint32_t BlockSize() const { return m_blockSize; }
  // Widens [*offset, *offset + *length) to the blocks that hold it, inside
  // the window (and never past the bytes it already spans outside it): what
  // to read so that a change in it can go back as whole blocks.
  void Widen(uint64_t* offset, uint64_t* length) const;

  // To be called before reading [offset, offset + length): pending blocks
  // over those bytes are written first. False when that write failed.
  bool BeforeRead(uint64_t offset, uint64_t length);
  // Queues the changed parts of the region at `offset` (whole sectors):
  // `changed` holds one flag per sector, `now` the bytes as they should be.
  // False when a write made on the way failed.
  bool Put(uint64_t offset, const uint8_t* now, size_t length, const uint8_t* changed);
  // The same, with the changed sectors found by comparing with `before`.
  bool PutDiff(uint64_t offset, const uint8_t* before, const uint8_t* now, size_t length);
  // Writes what is pending; false when that write failed.
  bool Flush();
  // Drops what is pending unwritten.
  void Discard() {
    m_runs.clear();
    m_staged = 0;
  }

  // The writer's error of the last failed write (644 outside the window).
  uint32_t LastError() const { return m_lastError; }
  uint64_t SectorsWritten() const { return m_sectorsWritten; }  // volume sectors
  uint64_t Writes() const { return m_writes; }
  uint64_t FailedWrites() const { return m_failedWrites; }

 private:
  // Writes `length` bytes at volume byte `offset`.
  bool Write(const uint8_t* bytes, uint64_t offset, uint64_t length);
  // Whether a write of `length` bytes at `offset` may go out (whole units,
  // inside the window); counts and logs a refusal.
  bool Allowed(uint64_t offset, uint64_t length);
  bool Stage(const uint8_t* block, uint64_t offset);

  IMountDriverWriter* m_writer;
  uint64_t m_volumeDiskByte;
  uint32_t m_sectorSize;
  uint32_t m_unit;  // the writer's sector
  uint32_t m_blockSize;
  uint64_t m_windowBegin;
  uint64_t m_windowEnd;

  struct FreeAligned {
    void operator()(uint8_t* p) const;
  };
  std::unique_ptr<uint8_t, FreeAligned> m_stage;
  // The pending writes by volume byte: their length and where their bytes
  // lie in m_stage. The last one staged ends at m_staged.
  struct Run {
    uint64_t length;
    size_t at;
  };
  std::map<uint64_t, Run> m_runs;
  uint64_t m_lastRun = 0;  // volume byte of the run staged last
  size_t m_staged = 0;
  size_t m_batchWrites = 1;
  uint64_t m_capacity = 0;  // bytes of m_stage

  uint32_t m_lastError = 0;
  uint64_t m_sectorsWritten = 0;
  uint64_t m_writes = 0;
  uint64_t m_failedWrites = 0;
};
