#include "CNoneResidentNTFSDataRunList.h"

#include "MappingPairs.h"

int CNoneResidentNTFSDataRunList::ParseMappingPairs(const uint8_t* bytes, int length) {
  mapping_pairs::Walk(bytes, length, [this](const mapping_pairs::Entry& e) {
    AddRun({e.sparse ? DataRun::kSparseStart : e.lcn, e.length});
  });
  return 1;
}
