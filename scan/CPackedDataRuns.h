// The compact form in which file properties keep and save their runs: the
// runs encoded as NTFS mapping pairs, ended by a 0 byte. Unpacking always
// gives an NTFS list, whatever engine packed it.
#pragma once

#include <cstdint>
#include <vector>

class IDataRunList;
class IScanStream;

class CPackedDataRuns {
 public:
  // Resident value of a resident NTFS list; 0 for every other list.
  uint16_t residentValue = 0;
  // The encoded pairs with their 0 terminator; empty when there are none.
  std::vector<uint8_t> bytes;

  // The bytes up to and including the 0 header, stepping header to header;
  // never beyond the stored bytes (0 without bytes).
  int GetEncodedLength() const;
  // A new list the caller deletes, or null without runs: a resident list
  // when the resident value is not 0, else a non-resident NTFS list. Only
  // the stored bytes are decoded.
  IDataRunList* Unpack() const;
  // u32 length of the bytes, the bytes, u16 resident value.
  bool Save(IScanStream* stream) const;
};

// The fewest bytes (1 to 8) that hold `v` as a signed little-endian number.
int PackedValueBytes(int64_t v);
// The encoded pairs of the list, with their terminator; empty for a null or
// empty list.
std::vector<uint8_t> EncodeDataRuns(const IDataRunList* list);
// Appends one entry (header, length, offset) to `out`.
void AppendPackedRun(int offsetBytes, int lengthBytes, int64_t offset, uint64_t length, std::vector<uint8_t>& out);
// A new packed form, or null for a null list or one without runs.
CPackedDataRuns* PackDataRunList(const IDataRunList* list);
// A new packed form read from the stream, or null on a null or short stream.
CPackedDataRuns* LoadPackedDataRuns(IScanStream* stream);
void DeletePackedDataRuns(CPackedDataRuns* runs);
