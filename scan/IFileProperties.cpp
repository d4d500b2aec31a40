#include "IFileProperties.h"

void IFileProperties::Release() {
  if (--m_refCount <= 0) delete this;
}

void DeleteFileProperties(IFileProperties* properties) {
  delete properties;
}
