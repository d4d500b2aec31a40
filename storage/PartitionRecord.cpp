#include "PartitionRecord.h"

#include "CBasicPartitionDevice.h"

void DeletePartitionRecords(PartitionRecordList& list) {
  for (PartitionRecord* r : list) {
    if (!r) continue;
    delete r->device;
    delete r;
  }
  list.clear();
}
