// One B-tree node from arbitrary bytes: the node test, its records and the
// readers of every key and record kind over them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "CHFSPlusAttribute.h"
#include "CHFSPlusBTNode.h"
#include "CHFSPlusCatalog.h"
#include "CHFSPlusExtents.h"
#include "HFSPlusStructs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The engine prints its failures to standard output.
  static bool quiet = [] { return std::freopen("/dev/null", "w", stdout) != nullptr; }();
  (void)quiet;
  size_t nodeSize = size / 512 * 512;
  if (nodeSize > 32768) nodeSize = 32768;
  std::vector<uint8_t> bytes(data, data + nodeSize);
  CHFSPlusBTNode node(bytes.data(), static_cast<uint32_t>(bytes.size()));
  node.TestNodeBelongToFile();
  HFSPlusCatalogKey first;
  bool haveFirst = false;
  for (uint32_t i = 0; i <= node.GetRecordCount(); ++i) {
    uint32_t len = 0;
    const uint8_t* rec = node.GetRecord(static_cast<uint16_t>(i), &len);
    if (!rec) continue;
    if (rec < bytes.data() || rec + len > bytes.data() + bytes.size()) __builtin_trap();
    HFSPlusCatalogKey ck;
    HFSPlusExtentKey ek;
    HFSPlusAttrKey ak;
    if (filpCatalogKey(&ck, rec, len)) {
      if (haveFirst) {
        CompareCatalogKeys(first, ck, 0xCF);
        CompareCatalogKeys(first, ck, 0);
      }
      first = ck;
      haveFirst = true;
    }
    filpExtentKey(&ek, rec, len);
    if (filpAttributeKey(&ak, rec, len)) CompareAttributeKeys(ak, ak);
    if (len >= 2) {
      uint32_t off = CHFSPlusBTNode::GetRecordDataOffset(rec);
      if (off < len) {
        HFSPlusCatalogRecord cr;
        HFSPlusExtentRecord er;
        HFSPlusAttrRecord ar;
        ReadCatalogRecord(&cr, rec + off, len - off);
        ReadExtentRecord(&er, rec + off, len - off);
        ReadAttributeRecord(&ar, rec + off, len - off);
      }
    }
  }
  return 0;
}
