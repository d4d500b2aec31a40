#include "IStorageDevice.h"

IStorageDevice* IStorageDevice::Get512ByteDevice() { return GetSectorSize() == 512 ? this : nullptr; }
