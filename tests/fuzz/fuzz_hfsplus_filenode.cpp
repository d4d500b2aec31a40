// One catalog leaf record from arbitrary bytes turned into a file node, as
// the catalog walk and the journal's deleted records do.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "CHFSPlusFileNode.h"
#include "HFSPlusStructs.h"
#include "IFileProperties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  HFSPlusCatalogKey key;
  if (!filpCatalogKey(&key, data, size)) return 0;
  const size_t off = 2u + ((size_t(data[0]) << 8) | data[1]);
  if (off >= size) return 0;
  HFSPlusCatalogRecord record;
  if (!ReadCatalogRecord(&record, data + off, size - off)) return 0;
  auto* node = new CHFSPlusFileNode(nullptr, &key, &record, true);
  if (IFileProperties* p = node->GetProperties()) {
    IDataRunList* runs = p->GetDataRunList();
    delete runs;
    if (p->GetNameLength() < 0) __builtin_trap();
  }
  node->CheckCompression();
  DestroyFileNode(node);
  return 0;
}
