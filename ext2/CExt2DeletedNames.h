// Names of deleted entries found in the slack of live directory entries, by
// inode number, for naming inodes no live entry reaches. One store per
// search, emptied when a search starts. Only inode numbers up to the bound
// (the file system's inode count + 256, set on first use) are taken.
#pragma once

#include <cstdint>
#include <map>
#include <string>

class CExt2DeletedNames {
 public:
  void Clear() {
    m_names.clear();
    m_bound = 0;
  }
  // Sets the bound unless it is set already.
  void SetBoundOnce(uint64_t inodesCount) {
    if (m_bound == 0) m_bound = inodesCount + 256;
  }
  uint64_t GetBound() const { return m_bound; }
  // Keeps the first name stored for an inode.
  void Add(uint32_t inode, std::string name) { m_names.emplace(inode, std::move(name)); }
  // Null when no name is stored.
  const std::string* Find(uint32_t inode) const {
    auto it = m_names.find(inode);
    return it == m_names.end() ? nullptr : &it->second;
  }
  size_t Size() const { return m_names.size(); }

 private:
  std::map<uint32_t, std::string> m_names;
  uint64_t m_bound = 0;
};
