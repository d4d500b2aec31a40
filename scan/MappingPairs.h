// The walk over NTFS mapping pairs shared by the NTFS engine and the packed
// run lists: per entry a header byte (offset width << 4 | length width), the
// run length (unsigned little-endian) and the offset from the previous
// non-sparse start (signed little-endian; none for a sparse run).
#pragma once

#include <cstdint>
#include <limits>

namespace mapping_pairs {

inline uint64_t ReadUnsigned(const uint8_t* p, int width) {
  uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

inline int64_t ReadSigned(const uint8_t* p, int width) {
  if (width <= 0) return 0;
  uint64_t value = ReadUnsigned(p, width);
  if (width < 8 && (p[width - 1] & 0x80)) value |= ~uint64_t(0) << (8 * width);
  return static_cast<int64_t>(value);
}

// One decoded entry: `vcn` is the sum of the lengths before it.
struct Entry {
  bool sparse = false;
  uint64_t lcn = 0;  // meaningless when sparse
  uint64_t vcn = 0;
  uint64_t length = 0;
};

// Hands each well-formed entry inside `length` bytes to `onEntry`. Answers
// true when a 0 header ends the pairs inside the bytes; false when the bytes
// run out first or an entry is malformed (a length field of 0 or more than 8
// bytes, an offset field of more than 8, a field past the end, a start below
// 0 or beyond the signed 64-bit range, lengths whose sum leaves that range);
// the walk stops there.
template <class OnEntry>
bool Walk(const uint8_t* pairs, int length, OnEntry onEntry) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  if (!pairs || length <= 0) return false;
  int64_t lcn = 0;
  int64_t vcn = 0;
  int64_t pos = 0;
  while (pos < length) {
    const uint8_t header = pairs[pos];
    if (header == 0) return true;
    const int lengthWidth = header & 0x0F;
    const int offsetWidth = header >> 4;
    if (lengthWidth == 0 || lengthWidth > 8 || offsetWidth > 8) return false;
    if (pos + 1 + lengthWidth + offsetWidth > length) return false;
    const uint8_t* field = pairs + pos + 1;
    const uint64_t runLength = ReadUnsigned(field, lengthWidth);
    if (runLength > static_cast<uint64_t>(kMax - vcn)) return false;
    Entry entry;
    entry.vcn = static_cast<uint64_t>(vcn);
    entry.length = runLength;
    if (offsetWidth > 0) {
      const int64_t delta = ReadSigned(field + lengthWidth, offsetWidth);
      if (delta > 0 ? lcn > kMax - delta : lcn + delta < 0) return false;
      lcn += delta;
      entry.lcn = static_cast<uint64_t>(lcn);
    } else {
      entry.sparse = true;
    }
    onEntry(entry);
    vcn += static_cast<int64_t>(runLength);
    pos += 1 + lengthWidth + offsetWidth;
  }
  return false;
}

}  // namespace mapping_pairs
