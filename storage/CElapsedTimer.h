// Logs how long a scope took: "<name> dwElapsedTime <ms> " when it ends.
#pragma once

#include <chrono>

class CElapsedTimer {
 public:
  explicit CElapsedTimer(const char* name);
  ~CElapsedTimer();
  CElapsedTimer(const CElapsedTimer&) = delete;
  CElapsedTimer& operator=(const CElapsedTimer&) = delete;

 private:
  char m_name[256];
  std::chrono::steady_clock::time_point m_start;
};
