#include "CPackedDataRuns.h"

#include "CNoneResidentNTFSDataRunList.h"
#include "CResidentNTFSDataRunList.h"
#include "MappingPairs.h"
#include "ScanStreamIO.h"

int PackedValueBytes(int64_t v) {
  for (int n = 1; n < 8; ++n) {
    const int64_t half = int64_t(1) << (8 * n - 1);
    if (v >= 0 ? v < half : v >= -half) return n;
  }
  return 8;
}

void AppendPackedRun(int offsetBytes, int lengthBytes, int64_t offset, uint64_t length, std::vector<uint8_t>& out) {
  out.push_back(static_cast<uint8_t>((offsetBytes << 4) | lengthBytes));
  for (int i = 0; i < lengthBytes; ++i) out.push_back(static_cast<uint8_t>(length >> (8 * i)));
  const uint64_t bits = static_cast<uint64_t>(offset);
  for (int i = 0; i < offsetBytes; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

std::vector<uint8_t> EncodeDataRuns(const IDataRunList* list) {
  std::vector<uint8_t> out;
  if (!list || list->GetRunCount() == 0) return out;
  // The packed runs are kept with every found file: exactly their size.
  size_t bytes = 1;
  uint64_t previousStart = 0;
  for (const DataRun& run : list->Runs()) {
    bytes += 1 + PackedValueBytes(static_cast<int64_t>(run.length));
    if (run.IsSparse()) continue;
    bytes += PackedValueBytes(static_cast<int64_t>(run.start - previousStart));
    previousStart = run.start;
  }
  out.reserve(bytes);
  previousStart = 0;
  for (const DataRun& run : list->Runs()) {
    const int lengthBytes = PackedValueBytes(static_cast<int64_t>(run.length));
    if (run.IsSparse()) {
      AppendPackedRun(0, lengthBytes, 0, run.length, out);
      continue;
    }
    const int64_t offset = static_cast<int64_t>(run.start - previousStart);
    AppendPackedRun(PackedValueBytes(offset), lengthBytes, offset, run.length, out);
    previousStart = run.start;
  }
  out.push_back(0);
  return out;
}

CPackedDataRuns* PackDataRunList(const IDataRunList* list) {
  if (!list || list->GetRunCount() == 0) return nullptr;
  auto* packed = new CPackedDataRuns;
  if (list->GetKind() == EDataRunKind::NTFSResident)
    packed->residentValue = static_cast<uint16_t>(list->GetResidentValue());
  packed->bytes = EncodeDataRuns(list);
  return packed;
}

int CPackedDataRuns::GetEncodedLength() const {
  const size_t size = bytes.size();
  size_t pos = 0;
  while (pos < size) {
    const uint8_t header = bytes[pos];
    if (header == 0) return static_cast<int>(pos + 1);
    pos += 1 + (header & 0x0F) + (header >> 4);
  }
  return static_cast<int>(size);
}

IDataRunList* CPackedDataRuns::Unpack() const {
  if (bytes.empty()) return nullptr;
  const int length = GetEncodedLength();
  if (residentValue != 0) {
    DataRun first;
    bool found = false;
    mapping_pairs::Walk(bytes.data(), length, [&](const mapping_pairs::Entry& e) {
      if (found) return;
      first = {e.sparse ? DataRun::kSparseStart : e.lcn, e.length};
      found = true;
    });
    if (!found) return nullptr;
    auto* list = new CResidentNTFSDataRunList;
    list->SetRun(first.start, first.length, residentValue);
    return list;
  }
  auto* list = new CNoneResidentNTFSDataRunList;
  list->ParseMappingPairs(bytes.data(), length);
  return list;
}

bool CPackedDataRuns::Save(IScanStream* stream) const {
  if (!stream) return false;
  return StreamWriteU32(stream, static_cast<uint32_t>(bytes.size())) &&
         StreamWriteBytes(stream, bytes.data(), static_cast<uint32_t>(bytes.size())) &&
         StreamWriteU16(stream, residentValue);
}

CPackedDataRuns* LoadPackedDataRuns(IScanStream* stream) {
  uint32_t length = 0;
  if (!StreamReadU32(stream, length)) return nullptr;
  auto* packed = new CPackedDataRuns;
  if (!StreamReadBytes(stream, length, packed->bytes) || !StreamReadU16(stream, packed->residentValue)) {
    delete packed;
    return nullptr;
  }
  return packed;
}

void DeletePackedDataRuns(CPackedDataRuns* runs) {
  delete runs;
}
