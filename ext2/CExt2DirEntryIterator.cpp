#include "CExt2DirEntryIterator.h"

#include <cstring>

#include "CExt2DeletedNames.h"
#include "CExt2DirEntry.h"
#include "CExt2FileSystem.h"

CExt2DirEntryIterator::CExt2DirEntryIterator(const CExt2Inode* directory, uint64_t offset, CExt2DeletedNames* names)
    : m_directory(directory), m_names(names), m_offset(offset), m_blocks(directory, 0) {
  const CExt2FileSystem* fs = directory ? directory->GetFileSystem() : nullptr;
  if (!fs) {
    m_offset = 0;
    return;
  }
  m_blockSize = fs->GetSuperBlock().GetBlockSize();
  m_size = directory->GetSize();
  if (m_offset < m_size && !LoadNextBlock()) SetEnd();
}

bool CExt2DirEntryIterator::LoadNextBlock() {
  if (m_offset >= m_size || m_blockSize == 0) return false;
  if (m_blocks.GetBlockNumber() == 0) return false;
  const Ext2BlockData data = m_blocks.ReadBlock();
  if (!data.data || data.length == 0) return false;
  if (m_window.empty()) m_window.assign(2 * static_cast<size_t>(m_blockSize), 0);
  const uint64_t c = m_blocks.GetIndex();
  uint8_t* target = m_window.data() + (c == 0 ? 0 : m_blockSize);
  if (c >= 2) std::memmove(m_window.data(), m_window.data() + m_blockSize, m_blockSize);
  std::memset(target, 0, m_blockSize);
  std::memcpy(target, data.data, data.length);
  return true;
}

const uint8_t* CExt2DirEntryIterator::GetEntry(size_t* available) const {
  if (m_window.empty()) throw CExt2DirEntry::CBadDir();
  const uint64_t c = m_blocks.GetIndex();
  const uint64_t base = c <= 1 ? 0 : (c - 1) * m_blockSize;
  const uint64_t position = m_offset >= base ? m_offset - base : m_window.size();
  const size_t left = position < m_window.size() ? m_window.size() - position : 0;
  if (available) *available = left;
  return left ? m_window.data() + position : nullptr;
}

void CExt2DirEntryIterator::SetEnd() {
  m_offset = m_size;
}

bool CExt2DirEntryIterator::IsEnd() const {
  return m_offset >= m_size || m_window.empty();
}

bool CExt2DirEntryIterator::operator==(const CExt2DirEntryIterator& o) const {
  if (IsEnd() || o.IsEnd()) return IsEnd() && o.IsEnd();
  return m_directory == o.m_directory && m_offset == o.m_offset;
}

void CExt2DirEntryIterator::ScanSlack(const uint8_t* p, size_t length) {
  const uint8_t* end = p + length;
  // Entries start on 4-byte boundaries of the block (the window is aligned).
  p = m_window.data() + ((p - m_window.data() + 3) & ~size_t(3));
  while (p < end && static_cast<size_t>(end - p) >= CExt2DirEntry::kHeaderSize) {
    const size_t left = static_cast<size_t>(end - p);
    const uint32_t inode = CExt2DirEntry::Inode(p);
    const uint8_t nameLength = CExt2DirEntry::NameLength(p);
    // The whole name must lie inside the slack.
    if (CExt2DirEntry::IsValid(p, left) && nameLength > 0 && inode != 0 && inode <= m_names->GetBound()) {
      m_names->Add(inode, CExt2DirEntry::NameText(p + CExt2DirEntry::kHeaderSize, nameLength));
      p += CExt2DirEntry::NeededLength(nameLength);
    } else {
      p += 4;
    }
  }
}

CExt2DirEntryIterator& CExt2DirEntryIterator::operator++() {
  if (IsEnd()) return *this;
  size_t available = 0;
  const uint8_t* entry = GetEntry(&available);
  if (!CExt2DirEntry::IsValid(entry, available) || CExt2DirEntry::RecordLength(entry) > m_blockSize) {
    SetEnd();
    return *this;
  }
  const uint32_t recLen = CExt2DirEntry::RecordLength(entry);
  const uint32_t nameLength = CExt2DirEntry::NameLength(entry);
  if (m_names && nameLength + 16 < recLen) {
    m_names->SetBoundOnce(m_directory->GetFileSystem()->GetSuperBlock().InodesCount());
    const uint32_t slack = recLen - CExt2DirEntry::kHeaderSize - nameLength;
    // Only the directory's first block is searched.
    if (m_offset + slack < m_blockSize) {
      const size_t inWindow = available - CExt2DirEntry::kHeaderSize - nameLength;
      ScanSlack(entry + CExt2DirEntry::kHeaderSize + nameLength, slack < inWindow ? slack : inWindow);
    }
  }
  m_offset += recLen;
  if (m_offset >= m_size) {
    SetEnd();
    return *this;
  }
  const uint64_t c = m_blocks.GetIndex();
  uint64_t needed = c;
  if (m_size > m_offset + kLookAhead) needed = (m_offset + kLookAhead) / m_blockSize;
  if (needed <= c) return *this;
  ++m_blocks;
  if (m_blocks.GetIndex() >= m_directory->GetBlockCount() || !LoadNextBlock()) SetEnd();
  return *this;
}

bool CExt2DirEntryIterator::GetEntryInode(uint32_t& number, std::string& name) const {
  size_t available = 0;
  const uint8_t* entry = GetEntry(&available);
  number = entry && available >= CExt2DirEntry::kHeaderSize ? CExt2DirEntry::Inode(entry) : 0;
  name.clear();
  if (!CExt2DirEntry::IsValid(entry, available)) return false;
  name = CExt2DirEntry::NameText(entry + CExt2DirEntry::kHeaderSize, CExt2DirEntry::NameLength(entry));
  return true;
}

CExt2Inode CExt2DirEntryIterator::operator*() const {
  const CExt2FileSystem* fs = m_directory->GetFileSystem();
  uint32_t number = 0;
  std::string name;
  const bool valid = GetEntryInode(number, name);
  CExt2Inode inode(fs, nullptr, number);
  if (valid) {
    inode.Load(number);
    inode.SetName(name);
  }
  return inode;
}
