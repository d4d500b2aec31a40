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

// Finds the row whose `from` column holds `value` and answers its `to` column.
template <class From, class To>
bool Convert(From value, From KindRow::*from, To KindRow::*to, To& out) {
  for (const KindRow& row : kRows) {
    if (row.*from == value) {
      out = row.*to;
      return true;
    }
  }
  return false;
}

}  // namespace

EFileSystemType FatGroup(EFileSystemType type) {
  return IsFatFamily(type) ? EFileSystemType::FAT32 : type;
}

bool ToPartitionKind(EFileSystemType type, EPartitionKind& out) {
  return Convert(Family(type), &KindRow::type, &KindRow::partition, out);
}
bool ToFileSystemType(EPartitionKind kind, EFileSystemType& out) {
  return Convert(kind, &KindRow::partition, &KindRow::type, out);
}
bool ToCompleteSearchKind(EPartitionKind kind, ECompleteSearchKind& out) {
  return Convert(kind, &KindRow::partition, &KindRow::search, out);
}
bool ToPartitionKind(ECompleteSearchKind kind, EPartitionKind& out) {
  return Convert(kind, &KindRow::search, &KindRow::partition, out);
}
bool ToTreeKind(EFileSystemType type, ETreeKind& out) {
  return Convert(Family(type), &KindRow::type, &KindRow::tree, out);
}
bool ToTreeKind(EPartitionKind kind, ETreeKind& out) {
  return Convert(kind, &KindRow::partition, &KindRow::tree, out);
}
