// A physical disk: disk number N of the platform's disk table.
#pragma once

#include <cstdint>

#include "CRawBackedDevice.h"
#include "StorageDeviceInfo.h"

class CDiskDevice : public CRawBackedDevice {
 public:
  // Opens disk `diskNumber` (0 to 19) of the disk table.
  explicit CDiskDevice(int diskNumber, bool strict = false);
  // Reads through the raw disks `opener` makes (tests inject faults here).
  CDiskDevice(int diskNumber, RawDiskOpener opener, bool strict = false);
  ~CDiskDevice() override = default;

  // (Re)opens the disk; learns its size and whether it is a dynamic disk.
  int Open() override;
  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override;
  uint64_t GetSectorCount() override;

  // The disk number, or -1 when it is not within 0 to 20.
  int GetDiskNumber() const;
  int IsDynamicDisk() const { return m_dynamicDisk; }
  // The MBR disk signature (byte 440 of sector 0); 0xFFFFFFFF when unreadable.
  uint32_t GetDiskSignature();
  // Vendor, product, revision, serial number and bus of the disk from
  // sysfs; 0 (and a cleared record) for image files and unknown nodes.
  int QueryStorageProperty(StorageDeviceInfo* info);

 private:
  int m_dynamicDisk = 0;
  int m_diskNumber = -1;
  uint64_t m_sectorCount = 0;
  int m_notReadyCount = 0;
};
