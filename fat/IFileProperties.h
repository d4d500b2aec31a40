// Reference-counted properties of a file-tree node (name, size, attributes,
// times, data runs). Stand-in until the scan framework's file model joins
// the build: it holds the operations the FAT code uses.
#pragma once

#include <cstdint>
#include <string>

#include "FileSystemTypes.h"

class IDataRunList;

class IFileProperties {
 public:
  IFileProperties() = default;
  IFileProperties(const IFileProperties&) = delete;
  IFileProperties& operator=(const IFileProperties&) = delete;

  void AddRef() { ++m_refs; }
  // Drops one reference; the object deletes itself at the last.
  void Release() {
    if (--m_refs == 0) delete this;
  }

  virtual size_t GetNameLength() const { return m_name.size(); }
  virtual void SetName(const char* name) { m_name = name ? name : ""; }
  virtual const char* GetName() const { return m_name.c_str(); }
  virtual uint64_t GetFileSize() const = 0;
  virtual uint16_t GetAttributes() const = 0;
  // FILETIME values (100 ns since 1601), 0 when unknown.
  virtual uint64_t GetCreationTime() const = 0;
  virtual uint64_t GetModificationTime() const = 0;
  virtual uint64_t GetAccessTime() const = 0;
  virtual uint8_t IsDeleted() const { return m_deleted; }
  virtual void SetDeleted(uint8_t deleted) { m_deleted = deleted; }
  // A new list the caller deletes, or null.
  virtual IDataRunList* GetDataRunList() const = 0;
  virtual uint8_t GetStatusFlag() const { return m_status; }
  virtual void SetStatusFlag(uint8_t flag) { m_status = flag; }
  virtual EPartitionKind GetSearchKind() const = 0;

 protected:
  virtual ~IFileProperties() = default;

  std::string m_name;
  uint8_t m_deleted = 0;
  uint8_t m_status = 0;

 private:
  int m_refs = 1;
};
