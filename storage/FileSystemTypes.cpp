#include "FileSystemTypes.h"


namespace {

// One row per file-system family: its type (FAT32 for the FAT family, Ext2
// for Ext2 and Ext3) and its number in every other scheme.
struct KindRow {
  EFileSystemType type;
  EPartitionKind partition;
  ECompleteSearchKind search;
  ETreeKind tree;
};

constexpr KindRow kRows[] = {
    {EFileSystemType::NTFS, EPartitionKind::NTFS, ECompleteSearchKind::NTFS, ETreeKind::NTFS},
    {EFileSystemType::FAT32, EPartitionKind::FAT, ECompleteSearchKind::FAT, ETreeKind::FAT},
    {EFileSystemType::Ext2, EPartitionKind::Ext2, ECompleteSearchKind::Ext2, ETreeKind::Ext2},
    {EFileSystemType::RAW, EPartitionKind::RAW, ECompleteSearchKind::RAW, ETreeKind::RAW},
    {EFileSystemType::exFAT, EPartitionKind::exFAT, ECompleteSearchKind::exFAT, ETreeKind::exFAT},
    {EFileSystemType::HFSPlus, EPartitionKind::HFSPlus, ECompleteSearchKind::HFSPlus, ETreeKind::HFSPlus},
};

EFileSystemType Family(EFileSystemType type) {
  if (IsFatFamily(type)) return EFileSystemType::FAT32;
  if (type == EFileSystemType::Ext3) return EFileSystemType::Ext2;
  return type;
}

template <class Match>
const KindRow* FindRow(Match match) {
  for (const KindRow& row : kRows)
    if (match(row)) return &row;
  return nullptr;
}

}  // namespace

EFileSystemType FatGroup(EFileSystemType type) { return IsFatFamily(type) ? EFileSystemType::FAT32 : type; }

bool ToPartitionKind(EFileSystemType type, EPartitionKind& out) {
  const KindRow* row = FindRow([&](const KindRow& r) { return r.type == Family(type); });
  if (row) out = row->partition;
  return row != nullptr;
}

bool ToFileSystemType(EPartitionKind kind, EFileSystemType& out) {
  const KindRow* row = FindRow([&](const KindRow& r) { return r.partition == kind; });
  if (row) out = row->type;
  return row != nullptr;
}

bool ToCompleteSearchKind(EPartitionKind kind, ECompleteSearchKind& out) {
  const KindRow* row = FindRow([&](const KindRow& r) { return r.partition == kind; });
  if (row) out = row->search;
  return row != nullptr;
}

bool ToPartitionKind(ECompleteSearchKind kind, EPartitionKind& out) {
  const KindRow* row = FindRow([&](const KindRow& r) { return r.search == kind; });
  if (row) out = row->partition;
  return row != nullptr;
}

bool ToTreeKind(EFileSystemType type, ETreeKind& out) {
  const KindRow* row = FindRow([&](const KindRow& r) { return r.type == Family(type); });
  if (row) out = row->tree;
  return row != nullptr;
}

bool ToTreeKind(EPartitionKind kind, ETreeKind& out) {
  const KindRow* row = FindRow([&](const KindRow& r) { return r.partition == kind; });
  if (row) out = row->tree;
  return row != nullptr;
}
