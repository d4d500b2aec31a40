// What a result node knows about its file or folder. Each engine has its own
// member of the family with its own saved form. Properties are shared by a
// node and its clones, so they are reference-counted: a new object holds one
// reference and the last Release deletes it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "FileSystemTypes.h"

class IDataRunList;
class IScanStream;
class CPackedDataRuns;

constexpr uint16_t kFileAttributeDirectory = 0x10;
constexpr uint16_t kFileAttributeCompressed = 0x800;
constexpr uint16_t kFileAttributeEncrypted = 0x4000;

class IFileProperties {
 public:
  IFileProperties() = default;
  IFileProperties(const IFileProperties&) = delete;
  IFileProperties& operator=(const IFileProperties&) = delete;
  virtual ~IFileProperties() = default;

  void AddRef() { ++m_refCount; }
  // Drops one reference; deletes the object when it was the last.
  void Release();
  int64_t GetRefCount() const { return m_refCount; }

  virtual int GetNameLength() const = 0;
  virtual void SetName(const char* name) = 0;
  virtual const char* GetName() const = 0;
  virtual int64_t GetFileSize() const = 0;
  virtual uint16_t GetAttributes() const = 0;
  virtual std::string GetTimeText() const { return std::string(); }
  virtual uint64_t GetCreationTime() const = 0;
  virtual uint64_t GetModificationTime() const = 0;
  virtual uint64_t GetAccessTime() const = 0;
  virtual uint8_t IsDeleted() const = 0;
  virtual void SetDeleted(uint8_t deleted) = 0;
  // A new list (the caller deletes it) unpacked from the packed runs, or null.
  virtual IDataRunList* GetDataRunList() const = 0;
  virtual int GetSupportedFields() const = 0;
  virtual uint8_t GetStatusFlag() const = 0;
  virtual int SetStatusFlag(uint8_t value) = 0;
  virtual bool Save(IScanStream* stream) const = 0;
  virtual EPartitionKind GetSearchKind() const = 0;
  // Replaces the kept values with the saved ones and clears the status flag;
  // false (values unchanged) on a short or damaged stream.
  virtual bool Load(IScanStream* stream) = 0;
  virtual void GetRawFileType(int& typeId, std::string& typeName) const {
    (void)typeId;
    (void)typeName;
  }
  virtual void GetRawExtent(uint64_t& first, uint64_t& second) const {
    (void)first;
    (void)second;
  }

 private:
  // Not a byte: a properties object may be shared by any number of clones.
  int64_t m_refCount = 1;
};

// Deletes the object whatever its count (null allowed).
void DeleteFileProperties(IFileProperties* properties);
