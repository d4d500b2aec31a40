#include "FATPartitionFields.h"

#include "FatBytes.h"

namespace {

void PutLe(std::vector<uint8_t>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

void FATPartitionFields::SaveFATPart(std::vector<uint8_t>& out) const {
  PutLe(out, reservedSectors, 2);
  PutLe(out, fatSize, 4);
  PutLe(out, clusterCount, 4);
  PutLe(out, rootInfo, 4);
  PutLe(out, flags, 4);
}

bool FATPartitionFields::LoadFATPart(const uint8_t* data, size_t length) {
  if (data == nullptr || length < kSavedSize) return false;
  reservedSectors = fatbytes::Le16(data);
  fatSize = fatbytes::Le32(data + 2);
  clusterCount = fatbytes::Le32(data + 6);
  rootInfo = fatbytes::Le32(data + 10);
  flags = fatbytes::Le32(data + 14);
  return true;
}
