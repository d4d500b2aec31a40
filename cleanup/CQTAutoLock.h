// A scoped lock: locks the mutex it is given for as long as it lives.
#pragma once

class QMutex;

class CQTAutoLock {
 public:
  explicit CQTAutoLock(QMutex* mutex);
  virtual ~CQTAutoLock();
  CQTAutoLock(const CQTAutoLock&) = delete;
  CQTAutoLock& operator=(const CQTAutoLock&) = delete;

 private:
  QMutex* m_mutex;
};
