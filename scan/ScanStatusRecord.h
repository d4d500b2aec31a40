// The status record handed to a caller's progress sink.
#pragma once

#include <array>
#include <cstdint>

// Kinds sent by the engine.
enum class EScanStatusKind : int32_t {
  ChunkTotal = 0,  // value 1: chunks a complete scan announces
  Progress = 2,    // start (value 1 = 1) or progress (value 1 total, value 2 done)
  Building = 3,    // value 1: node count, value 2: 100
  Finished = 4,    // value 1 = 1, value 2 = 1
};

struct ScanStatusRecord {
  static constexpr int kSavedSize = 2080;

  int32_t kind = 0;
  uint64_t value1 = 0;
  uint64_t value2 = 0;
  uint32_t value3 = 0;  // only the low half of its 8 bytes is written

  static ScanStatusRecord Make(EScanStatusKind kind, uint64_t v1 = 0, uint64_t v2 = 0);
  // The 2080-byte little-endian form: kind at 0, bytes 4 to 7 zero, value 1
  // at 8, value 2 at 16, value 3 at 24 (4 bytes, then 4 zero), zeros from 32.
  std::array<uint8_t, kSavedSize> ToBytes() const;
};

class IScanProgressSink;

// Sends one record when the sink is not null.
void SendScanStatus(IScanProgressSink* sink, EScanStatusKind kind, uint64_t v1 = 0, uint64_t v2 = 0);
