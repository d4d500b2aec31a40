// Builds FILE records in memory for the record and label tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace ntfstest {

// Writes `width` little-endian bytes of `v` at `at` (ignored past the end).
inline void PutLE(std::vector<uint8_t>& b, size_t at, uint64_t v, size_t width) {
  if (at > b.size() || b.size() - at < width) return;
  uint8_t* p = b.data() + at;
  for (size_t i = 0; i < width; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  PutLE(b, at, v, 2);
}
inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  PutLE(b, at, v, 4);
}
inline void Put64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
  PutLE(b, at, v, 8);
}

// A record of `size` bytes (1024 or 4096): header at 0, update sequence at 48,
// attributes from 56 (1024) or 72 (4096). Add attributes, then Finish().
class RecordBuilder {
 public:
  explicit RecordBuilder(int size = 1024, uint32_t number = 40) : m_rec(size, 0) {
    std::memcpy(m_rec.data(), "FILE", 4);
    const int strides = size / 512;
    Put16(m_rec, 4, 48);  // update sequence offset
    Put16(m_rec, 6, static_cast<uint16_t>(strides + 1));
    Put64(m_rec, 8, 0x1234);  // LSN
    m_next = (48 + 2 * (strides + 1) + 7) & ~7u;
    Put16(m_rec, 20, static_cast<uint16_t>(m_next));
    Put16(m_rec, 22, 0x0001);  // in use
    Put32(m_rec, 28, static_cast<uint32_t>(size));
    Put32(m_rec, 44, number);
  }

  RecordBuilder& Flags(uint16_t flags) {
    Put16(m_rec, 22, flags);
    return *this;
  }

  // A resident attribute whose value starts at 24 (unnamed).
  size_t Resident(uint32_t type, const std::vector<uint8_t>& value) {
    const size_t at = m_next;
    const uint32_t len = (24 + static_cast<uint32_t>(value.size()) + 7) & ~7u;
    Put32(m_rec, at, type);
    Put32(m_rec, at + 4, len);
    Put32(m_rec, at + 16, static_cast<uint32_t>(value.size()));
    Put16(m_rec, at + 20, 24);
    std::memcpy(&m_rec[at + 24], value.data(), value.size());
    m_next += len;
    return at;
  }

  size_t StandardInformation(uint32_t dosFlags) {
    std::vector<uint8_t> v(48, 0);
    Put32(v, 32, dosFlags);
    return Resident(0x10, v);
  }

  size_t FileName(const std::u16string& name, uint64_t parent = 5, uint8_t space = 1) {
    std::vector<uint8_t> v(66 + 2 * name.size(), 0);
    Put64(v, 0, parent | (uint64_t(1) << 48));
    Put64(v, 48, 1234);
    v[64] = static_cast<uint8_t>(name.size());
    v[65] = space;
    for (size_t i = 0; i < name.size(); ++i) Put16(v, 66 + 2 * i, name[i]);
    return Resident(0x30, v);
  }

  size_t VolumeName(const std::u16string& name) {
    std::vector<uint8_t> v(2 * name.size(), 0);
    for (size_t i = 0; i < name.size(); ++i) Put16(v, 2 * i, name[i]);
    return Resident(0x60, v);
  }

  // A non-resident attribute with the given mapping pairs.
  size_t NonResident(uint32_t type, const std::vector<uint8_t>& pairs, uint64_t firstVCN, uint64_t lastVCN,
                     uint64_t dataSize, uint16_t flags = 0) {
    const size_t at = m_next;
    const uint32_t len = (64 + static_cast<uint32_t>(pairs.size()) + 7) & ~7u;
    Put32(m_rec, at, type);
    Put32(m_rec, at + 4, len);
    m_rec[at + 8] = 1;
    Put16(m_rec, at + 12, flags);
    Put64(m_rec, at + 16, firstVCN);
    Put64(m_rec, at + 24, lastVCN);
    Put16(m_rec, at + 32, 64);
    Put64(m_rec, at + 40, (lastVCN + 1) * 4096);
    Put64(m_rec, at + 48, dataSize);
    Put64(m_rec, at + 56, dataSize);
    std::memcpy(&m_rec[at + 64], pairs.data(), pairs.size());
    m_next += len;
    return at;
  }

  // Ends the attribute list, sets bytes in use and writes the fixups.
  std::vector<uint8_t> Finish(uint16_t usn = 0x0007) {
    Put32(m_rec, m_next, 0xFFFFFFFF);
    Put32(m_rec, 24, static_cast<uint32_t>(m_next + 8));
    std::vector<uint8_t> out = m_rec;
    const int strides = static_cast<int>(out.size()) / 512;
    Put16(out, 48, usn);
    for (int i = 0; i < strides; ++i) {
      const size_t end = 512 * (i + 1) - 2;
      out[48 + 2 * (i + 1)] = out[end];
      out[48 + 2 * (i + 1) + 1] = out[end + 1];
      Put16(out, end, usn);
    }
    return out;
  }

  std::vector<uint8_t>& Raw() { return m_rec; }
  size_t Next() const { return m_next; }

 private:
  std::vector<uint8_t> m_rec;
  size_t m_next;
};

// Rewrites a stored record (fixups in place) to the older header layout,
// as volumes from before XP hold it: the update sequence moves to byte 42,
// over the record number field, which that layout does not have. The
// stride ends keep the update sequence number: the record reads as before.
inline void ToOlderLayout(uint8_t* record) {
  const size_t usa = record[4] | (record[5] << 8);
  const size_t count = record[6] | (record[7] << 8);
  const std::vector<uint8_t> sequence(record + usa, record + usa + 2 * count);
  std::memset(record + 42, 0, usa + 2 * count - 42);
  std::memcpy(record + 42, sequence.data(), sequence.size());
  record[4] = 42;
  record[5] = 0;
}

// A $Volume-like record: hidden+system, "$Volume", and optionally a label.
inline std::vector<uint8_t> VolumeRecord(const std::u16string* label, uint32_t dosFlags = 0x6) {
  RecordBuilder b(1024, 3);
  b.StandardInformation(dosFlags);
  b.FileName(u"$Volume");
  if (label) b.VolumeName(*label);
  return b.Finish();
}

}  // namespace ntfstest
