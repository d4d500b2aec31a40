#include "CExt2InodeIterator.h"

#include <algorithm>
#include <exception>

#include "CExt2FileSystem.h"
#include "CExt2SuperBlock.h"

namespace {
// An inode table larger than this is taken as damage.
constexpr uint64_t kMaxTableBytes = 64ull << 20;
}  // namespace

CExt2InodeIterator::CExt2InodeIterator(const CExt2FileSystem* fs, uint32_t number) : m_fs(fs), m_number(number) {}

uint32_t CExt2InodeIterator::Begin(const CExt2SuperBlock& super) {
  return super.GetFirstInode();
}

uint64_t CExt2InodeIterator::End(const CExt2SuperBlock& super) {
  const uint64_t count = super.InodesCount();
  const uint64_t used = count >= super.FreeInodesCount() ? count - super.FreeInodesCount() : 0;
  return std::min(count + 1, used * 100);
}

CExt2Inode CExt2InodeIterator::GetInode() {
  if (!m_fs) return CExt2Inode();
  const CExt2SuperBlock super = m_fs->GetSuperBlock();
  const uint32_t perGroup = super.InodesPerGroup();
  const uint32_t inodeSize = super.GetInodeSize();
  const uint64_t blockSize = super.GetBlockSize();
  if (m_number == 0 || perGroup == 0 || blockSize == 0 || inodeSize < CExt2Inode::kRawSize)
    return CExt2Inode(m_fs, nullptr, m_number);
  const uint64_t group = super.GetInodeGroup(m_number);
  if (group >= super.GetGroupCount()) return CExt2Inode(m_fs, nullptr, m_number);
  if (group != m_group) {
    m_group = group;
    const uint64_t blocks = super.GetInodeTableBlocks();
    const uint64_t bytes = blocks * blockSize;
    if (bytes > kMaxTableBytes || blocks > UINT32_MAX) {
      m_table.clear();
    } else {
      m_table.assign(bytes, 0);
      try {
        m_fs->ReadBlocks(m_table.data(), m_fs->GetInodeTableBlock(group), static_cast<uint32_t>(blocks));
      } catch (const std::exception&) {
        std::fill(m_table.begin(), m_table.end(), 0);
        ++m_unreadableGroups;
      }
    }
  }
  const uint64_t offset = static_cast<uint64_t>(inodeSize) * ((m_number - 1) % perGroup);
  if (offset + CExt2Inode::kRawSize > m_table.size()) return CExt2Inode(m_fs, nullptr, m_number);
  return CExt2Inode(m_fs, m_table.data() + offset, m_number);
}
