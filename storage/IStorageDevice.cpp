#include "IStorageDevice.h"
