#include "IStorageDevice.h"

#include "CSimulateStorageDevice.h"

IStorageDevice* IStorageDevice::Get512ByteDevice() {
  if (GetSectorSize() == 512) return this;
  if (!m_view512) m_view512 = new CSimulateStorageDevice(this);
  return m_view512;
}
