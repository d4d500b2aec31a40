#include "CElapsedTimer.h"

#include <cstdio>

#include "RunLog.h"
#include "VolumeRecord.h"

CElapsedTimer::CElapsedTimer(const char* name) : m_start(std::chrono::steady_clock::now()) {
  snprintf(m_name, sizeof m_name, "%s", name ? name : "");
}

CElapsedTimer::~CElapsedTimer() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_start);
  char text[256];
  FormatString256(text, "%s dwElapsedTime %u \n", m_name, unsigned(ms.count()));
  DebugTrace("%s", text);
  m_start = std::chrono::steady_clock::now();
}
