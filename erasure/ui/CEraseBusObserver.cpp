#include "CEraseBusObserver.h"

#include "MsgDefine.h"

void CEraseBusObserver::Progress(int value, int count, const std::string& displayName) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_displayName = displayName;
    m_count = count;
  }
  ProgressMsgData msg;
  msg.value = value;
  SendBusMsg(MSG_ERASE_FILES_PROGRESS, msg);
  if (m_next) m_next->Progress(value, count, displayName);
}

void CEraseBusObserver::Done(int result, bool cancelled) {
  ProgressMsgData msg;
  msg.value = Count();
  msg.code = result;
  msg.flag = cancelled ? 1 : 0;
  SendBusMsg(MSG_ERASE_FILES_DONE, msg);
  if (m_next) m_next->Done(result, cancelled);
}

std::string CEraseBusObserver::DisplayName() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_displayName;
}

int CEraseBusObserver::Count() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_count;
}
