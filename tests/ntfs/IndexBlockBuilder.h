// Builds "INDX" index blocks and $INDEX_ROOT values in memory for the index
// tests and their fuzz seeds.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "RecordBuilder.h"

namespace ntfstest {

struct IndexEntryShape {
  uint64_t parent = 77 | (uint64_t(3) << 48);  // record and sequence number
  std::u16string name = u"file.txt";
  uint16_t flags = 0;
  uint64_t allocated = 4096;
  uint64_t real = 100;
};

// Entries with $FILE_NAME keys, then the last entry (flags 2).
inline std::vector<uint8_t> IndexEntries(const std::vector<IndexEntryShape>& shapes) {
  std::vector<uint8_t> out;
  for (const IndexEntryShape& e : shapes) {
    const size_t keyLength = 66 + 2 * e.name.size();
    const size_t length = (16 + keyLength + 7) & ~size_t(7);
    std::vector<uint8_t> entry(length, 0);
    Put64(entry, 0, 1000 + out.size());  // the file's own reference
    Put16(entry, 8, static_cast<uint16_t>(length));
    Put16(entry, 10, static_cast<uint16_t>(keyLength));
    Put16(entry, 12, e.flags);
    Put64(entry, 16, e.parent);
    Put64(entry, 16 + 40, e.allocated);
    Put64(entry, 16 + 48, e.real);
    entry[16 + 64] = static_cast<uint8_t>(e.name.size());
    entry[16 + 65] = 1;
    for (size_t i = 0; i < e.name.size(); ++i) Put16(entry, 16 + 66 + 2 * i, e.name[i]);
    out.insert(out.end(), entry.begin(), entry.end());
  }
  std::vector<uint8_t> last(16, 0);
  Put16(last, 8, 16);
  Put16(last, 12, 2);
  out.insert(out.end(), last.begin(), last.end());
  return out;
}

// A 4096-byte block: update sequence at 40 with 9 entries, entries from
// 24 + 40, allocated 4072; stored form (fixups written).
inline std::vector<uint8_t> IndexBlock(const std::vector<IndexEntryShape>& shapes, uint64_t vcn = 0,
                                       uint16_t usn = 0x0005) {
  std::vector<uint8_t> b(4096, 0);
  std::memcpy(b.data(), "INDX", 4);
  Put16(b, 4, 40);
  Put16(b, 6, 9);
  Put64(b, 8, 0x5555);
  Put64(b, 16, vcn);
  const std::vector<uint8_t> entries = IndexEntries(shapes);
  Put32(b, 24, 40);
  Put32(b, 28, static_cast<uint32_t>(40 + entries.size()));
  Put32(b, 32, 4072);
  std::memcpy(&b[64], entries.data(), entries.size());
  Put16(b, 40, usn);
  for (int k = 0; k < 8; ++k) {
    const size_t end = 512 * k + 510;
    b[42 + 2 * k] = b[end];
    b[43 + 2 * k] = b[end + 1];
    Put16(b, end, usn);
  }
  return b;
}

// The value of a $INDEX_ROOT over $FILE_NAME holding `shapes`.
inline std::vector<uint8_t> IndexRootValue(const std::vector<IndexEntryShape>& shapes) {
  const std::vector<uint8_t> entries = IndexEntries(shapes);
  std::vector<uint8_t> v(32 + entries.size(), 0);
  Put32(v, 0, 0x30);
  Put32(v, 4, 1);
  Put32(v, 8, 4096);
  v[12] = 1;
  Put32(v, 16, 16);
  Put32(v, 20, static_cast<uint32_t>(16 + entries.size()));
  Put32(v, 24, static_cast<uint32_t>(16 + entries.size()));
  std::copy(entries.begin(), entries.end(), v.begin() + 32);
  return v;
}

}  // namespace ntfstest
