// Reads the volume label from the $VOLUME_NAME of the $Volume record.
#pragma once

#include <cstdint>

#include "CNTFSDBR.h"

class IStorageDevice;

constexpr int kNTFSVolumeNameBytes = 80;

// Writes the $VOLUME_NAME of a valid $Volume record as UTF-8, cut at a
// character boundary and zero-terminated within 80 bytes. Writes nothing when
// the record is not $Volume, has no name, or the name leaves its attribute.
void GetVolumeNameFromRecord(const uint8_t* record, char out[kNTFSVolumeNameBytes], int length);

class CNTFSVolumeNameReader {
 public:
  // The device stays the caller's: never opened, closed or deleted here.
  explicit CNTFSVolumeNameReader(IStorageDevice* device) : m_device(device) {}

  // Reads record 3 of the MFT of the volume that starts at `partitionStart`
  // (in device sectors). True when the record was read, whether or not it held
  // a name; false when the boot sector is not usable, the record lies outside
  // the volume or the device, or the read fails.
  bool ReadVolumeName(uint64_t partitionStart, const CNTFSDBR& dbr, char out[kNTFSVolumeNameBytes]);

 private:
  IStorageDevice* m_device;
};
