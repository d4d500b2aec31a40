#include "CQTAutoLock.h"

#include <QMutex>

CQTAutoLock::CQTAutoLock(QMutex* mutex) : m_mutex(mutex) {
  if (m_mutex) m_mutex->lock();
}

CQTAutoLock::~CQTAutoLock() {
  if (m_mutex) m_mutex->unlock();
}
