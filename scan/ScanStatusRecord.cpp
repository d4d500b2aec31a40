#include "ScanStatusRecord.h"

#include "ByteOrder.h"
#include "IScanProgressSink.h"

ScanStatusRecord ScanStatusRecord::Make(EScanStatusKind kind, uint64_t v1, uint64_t v2) {
  ScanStatusRecord r;
  r.kind = static_cast<int32_t>(kind);
  r.value1 = v1;
  r.value2 = v2;
  return r;
}

std::array<uint8_t, ScanStatusRecord::kSavedSize> ScanStatusRecord::ToBytes() const {
  std::array<uint8_t, kSavedSize> out{};
  WriteLE32(out.data(), static_cast<uint32_t>(kind));
  WriteLE64(out.data() + 8, value1);
  WriteLE64(out.data() + 16, value2);
  WriteLE32(out.data() + 24, value3);
  return out;
}

void SendScanStatus(IScanProgressSink* sink, EScanStatusKind kind, uint64_t v1, uint64_t v2) {
  if (!sink) return;
  const ScanStatusRecord r = ScanStatusRecord::Make(kind, v1, v2);
  sink->OnStatus(&r);
}
